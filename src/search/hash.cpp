#include "search/hash.h"

#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "board/position.h"
#include "frontend/output.h"
#include "moves/movedo.h"

int hashSize = 64;
int pawnHashSize = 1;

HashEntry* data = nullptr;
uint32_t hSize = 0;
namespace {
struct alignas(64) UsageCounter {
    std::atomic<int32_t> free{0};
};
UsageCounter usageCounter;
}  // namespace
std::atomic<int32_t>& hFree = usageCounter.free;
std::atomic<uint16_t> hOld{1};
PawnHashEntry* pawnData = nullptr;
uint32_t phSize = 0;

uint64_t hashAllocationLimit = std::numeric_limits<uint64_t>::max();

namespace hashdetail {
uint64_t slotMask = 0;
uint64_t pawnSlotMask = 0;
}  // namespace hashdetail

namespace {

constexpr uint64_t MEGABYTE = uint64_t{1} << 20;

uint64_t maskFor(uint64_t count) { return count && (count & (count - 1)) == 0 ? count - 1 : 0; }

// Writes a size in the largest whole unit that fits ("64 MB", "512 kB").
void sizeText(uint64_t bytes, char* out, size_t size) {
    if (bytes >= MEGABYTE)
        snprintf(out, size, "%" PRIu64 " MB", bytes / MEGABYTE);
    else
        snprintf(out, size, "%" PRIu64 " kB", bytes / 1024);
}

// A zeroed block of `slots` entries of `size` bytes, or, when that cannot be
// had, of the largest half of it that can; *got receives the count. calloc
// hands large blocks out as fresh pages from the kernel without touching them,
// so a big table costs neither time nor resident memory until it is used.
void* tableAllocate(uint64_t slots, size_t size, const char* name, uint64_t* got) {
    for (uint64_t n = slots; n >= 1; n /= 2) {
        void* block = n * size <= hashAllocationLimit ? calloc(n, size) : nullptr;
        if (!block) continue;
        if (n != slots) {
            char wanted[32], obtained[32];
            sizeText(slots * size, wanted, sizeof wanted);
            sizeText(n * size, obtained, sizeof obtained);
            outPrintf(true, "info string not enough memory for %s of %s, using %s\n", name, wanted,
                      obtained);
        }
        *got = n;
        return block;
    }
    fatalError("Can not allocate %s!\n", name);
}

void hashAllocate(uint64_t slots) {
    free(data);
    uint64_t got;
    data = static_cast<HashEntry*>(tableAllocate(slots, sizeof(HashEntry), "the hash table", &got));
    hSize = static_cast<uint32_t>(got);
    hashdetail::slotMask = maskFor(got);
    hFree.store(static_cast<int32_t>(hSize), std::memory_order_relaxed);
    hOld.store(1, std::memory_order_relaxed);
}

}  // namespace

void hashCreate() {
    // 64-bit arithmetic: 4096 MB is 2^32 bytes.
    uint64_t megabytes = hashSize > 0 ? static_cast<uint64_t>(hashSize) : 1;
    hashAllocate(megabytes * MEGABYTE / sizeof(HashEntry));
}

void hashDestroy() {
    free(data);
    data = nullptr;
    hSize = 0;
    hashdetail::slotMask = 0;
}

void hashReset() {
    // A fresh block is as empty as a cleared one and leaves the pages untouched.
    if (data) hashAllocate(hSize);
}

void hashWriteBestMove(uint64_t key, int depth, int value, Move move) {
    if (!hashWritable()) return;
    HashEntry* slot = hashSlot(key);
    if (hashInfoDepth(hashdetail::load(slot->info)) == 0)
        hFree.fetch_sub(1, std::memory_order_relaxed);
    uint64_t word =
        hashInfoMake(depth, value, HASH_EXACT, move, hOld.load(std::memory_order_relaxed));
    hashdetail::store(slot->info, word);
    hashdetail::store(slot->lock, key ^ word);
}

void hashIncrement() {
    uint16_t age = hOld.load(std::memory_order_relaxed);
    if (age < 65535) {
        hOld.store(age + 1, std::memory_order_relaxed);
    } else {
        // Out of generations: every slot goes back to age 0, its lock changed
        // along so that whatever verified before still verifies.
        const uint64_t ageBits = uint64_t{0xffff} << 32;
        for (uint32_t i = 0; i < hSize; i++) {
            uint64_t info = hashdetail::load(data[i].info);
            if (!(info & ageBits)) continue;
            uint64_t lock = hashdetail::load(data[i].lock);
            uint64_t young = info & ~ageBits;
            hashdetail::store(data[i].info, young);
            hashdetail::store(data[i].lock, lock ^ info ^ young);
        }
        hOld.store(1, std::memory_order_relaxed);
    }
    hFree.store(static_cast<int32_t>(hSize), std::memory_order_relaxed);
}

int hashUsage() {
    if (hSize == 0) return 0;
    // The free count is kept without synchronisation and may drift past 0.
    double used = static_cast<double>(hSize) - hFree.load(std::memory_order_relaxed);
    int permille = static_cast<int>(used * 1000.0 / hSize);
    return permille < 0 ? 0 : permille > 1000 ? 1000 : permille;
}

namespace {

// Whether the generators produce the move in the position: a stored move is
// made only then, so even a slot of another position with the same key cannot
// hand moveDo a move that does not fit the board.
bool moveGenerated(const Position* position, Move move) {
    MoveList list;
    dinamicMovesGenerate(position, &list);
    for (uint32_t i = 0; i < list.count; i++)
        if (list.moves[i] == move) return true;
    staticMovesGenerate(position, &list);
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

void pawnHashCreate() {
    free(pawnData);
    uint64_t megabytes = pawnHashSize > 0 ? static_cast<uint64_t>(pawnHashSize) : 1;
    uint64_t got;
    pawnData =
        static_cast<PawnHashEntry*>(tableAllocate(megabytes * MEGABYTE / sizeof(PawnHashEntry),
                                                  sizeof(PawnHashEntry), "the pawn table", &got));
    phSize = static_cast<uint32_t>(got);
    hashdetail::pawnSlotMask = maskFor(got);
}

void pawnHashDestroy() {
    free(pawnData);
    pawnData = nullptr;
    phSize = 0;
    hashdetail::pawnSlotMask = 0;
}
