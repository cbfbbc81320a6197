#include "search/hash.h"

#include <cstdlib>

#include "base/output.h"
#include "board/position.h"
#include "moves/movedo.h"
#include "moves/movegenerator.h"

TranspositionTable hashTable;

namespace {

constexpr uint64_t MEGABYTE = uint64_t{1} << 20;

void hashAllocate(uint64_t slots) {
    free(hashTable.entries);
    uint64_t got;
    hashTable.entries =
        static_cast<HashEntry*>(allocateTable(slots, sizeof(HashEntry), "the hash table", &got));
    hashTable.slotCount = static_cast<uint32_t>(got);
    hashTable.slotMask = slotMaskFor(got);
    hashTable.freeSlots.store(static_cast<int32_t>(got), std::memory_order_relaxed);
    hashTable.generation.store(1, std::memory_order_relaxed);
}

}  // namespace

void hashCreate(int megabytes) {
    // 64-bit arithmetic: 4096 MB is 2^32 bytes.
    uint64_t bytes = static_cast<uint64_t>(megabytes > 0 ? megabytes : 1) * MEGABYTE;
    hashAllocate(bytes / sizeof(HashEntry));
}

void hashDestroy() {
    free(hashTable.entries);
    hashTable.entries = nullptr;
    hashTable.slotCount = 0;
    hashTable.slotMask = 0;
}

void hashClear() {
    // A fresh block is as empty as a cleared one and leaves the pages untouched.
    if (hashTable.entries) hashAllocate(hashTable.slotCount);
}

void hashWriteBestMove(uint64_t key, int depth, int value, Move move) {
    if (!hashWritable()) return;
    HashEntry* slot = hashSlot(key);
    if (hashInfoDepth(sharedLoad(slot->info)) == 0)
        hashTable.freeSlots.fetch_sub(1, std::memory_order_relaxed);
    uint64_t word = hashInfoMake(depth, value, HASH_EXACT, move,
                                 hashTable.generation.load(std::memory_order_relaxed));
    sharedStore(slot->info, word);
    sharedStore(slot->lock, key ^ word);
}

void hashNewSearch() {
    uint16_t age = hashTable.generation.load(std::memory_order_relaxed);
    if (age < 65535) {
        hashTable.generation.store(age + 1, std::memory_order_relaxed);
    } else {
        // Out of generations: every slot goes back to age 0, its lock changed
        // along so that whatever verified before still verifies.
        const uint64_t ageBits = uint64_t{0xffff} << 32;
        for (uint32_t i = 0; i < hashTable.slotCount; i++) {
            HashEntry& e = hashTable.entries[i];
            uint64_t info = sharedLoad(e.info);
            if (!(info & ageBits)) continue;
            uint64_t lock = sharedLoad(e.lock);
            uint64_t young = info & ~ageBits;
            sharedStore(e.info, young);
            sharedStore(e.lock, lock ^ info ^ young);
        }
        hashTable.generation.store(1, std::memory_order_relaxed);
    }
    hashTable.freeSlots.store(static_cast<int32_t>(hashTable.slotCount), std::memory_order_relaxed);
}

int hashUsage() {
    if (hashTable.slotCount == 0) return 0;
    // The free count is kept without synchronisation and may drift past 0.
    double used = static_cast<double>(hashTable.slotCount) -
                  hashTable.freeSlots.load(std::memory_order_relaxed);
    int permille = static_cast<int>(used * 1000.0 / hashTable.slotCount);
    return permille < 0 ? 0 : permille > 1000 ? 1000 : permille;
}

namespace {

// Whether the generators produce the move in the position: a stored move is
// made only then, so even a slot of another position with the same key cannot
// hand moveDo a move that does not fit the board.
bool moveGenerated(const Position* position, Move move) {
    MoveList list;
    tacticalMovesGenerate(position, &list);
    for (uint32_t i = 0; i < list.count; i++)
        if (list.moves[i] == move) return true;
    quietMovesGenerate(position, &list);
    for (uint32_t i = 0; i < list.count; i++)
        if (list.moves[i] == move) return true;
    return false;
}

}  // namespace

void hashCollectPV(Position* position, Move* pv) {
    int n = 0;
    for (;;) {
        HashEntry* slot;
        uint64_t info;
        if (!hashFind(&slot, position->key, &info)) break;
        Move move = hashInfoMove(info);
        // At most 13 moves: a line that runs in a cycle ends there.
        if (n > 12 || move == 0) break;
        if (position->ply >= POSITION_PLY_LIMIT || !moveGenerated(position, move)) break;
        if (!moveDo(position, move)) break;
        pv[n++] = move;
    }
    pv[n] = 0;
    while (n-- > 0) moveUndo(position);
}
