// The transposition table: single-slot, directly indexed, shared by every
// search thread without a lock. Each slot carries a verification word (the key
// XOR the slot's info word), so a slot torn by two writers or holding another
// position reads as a miss.
#pragma once

#include <atomic>
#include <cstdint>

#include "base/sharedtable.h"
#include "board/move.h"
#include "search/startsearch.h"

struct Position;

// Bound types of a stored score.
enum : int {
    HASH_EXACT = 0,
    HASH_LOWER = 1,  // the search failed high: score >= value
    HASH_UPPER = 2,  // the search failed low: score <= value
};

// One slot, valid for key K when lock ^ info == K. info packs from bit 0:
// depth (8 bits, 0 = empty), type (8), move (16), age (16) and the signed
// 16-bit value.
struct HashEntry {
    uint64_t lock;
    uint64_t info;
};
static_assert(sizeof(HashEntry) == 16);

struct TranspositionTable {
    HashEntry* entries = nullptr;
    uint32_t slotCount = 0;
    uint64_t slotMask = 0;                // slotCount - 1 for a power of two, else 0
    std::atomic<uint16_t> generation{1};  // of the running search, 1..65535
    // Slots not yet used in this generation (approximate). Every thread counts
    // into it, so it has a cache line of its own, away from the words above
    // that every probe reads.
    alignas(64) std::atomic<int32_t> freeSlots{0};
};

// The engine's transposition table, sized by "Hash".
extern TranspositionTable hashTable;

inline int hashInfoDepth(uint64_t info) { return static_cast<int>(info & 0xff); }
inline int hashInfoType(uint64_t info) { return static_cast<int>((info >> 8) & 0xff); }
inline Move hashInfoMove(uint64_t info) { return static_cast<Move>((info >> 16) & 0xffff); }
inline int hashInfoAge(uint64_t info) { return static_cast<int>((info >> 32) & 0xffff); }
// The stored value is a signed 16-bit number.
inline int hashInfoValue(uint64_t info) { return static_cast<int16_t>(info >> 48); }

inline uint64_t hashInfoMake(int depth, int value, int type, Move move, uint16_t age) {
    return static_cast<uint64_t>(depth & 0xff) | static_cast<uint64_t>(type & 0xff) << 8 |
           static_cast<uint64_t>(move & 0xffff) << 16 | static_cast<uint64_t>(age) << 32 |
           static_cast<uint64_t>(value & 0xffff) << 48;
}

// Allocates the table at `megabytes` (or the largest half that can be had,
// reported as an "info string"), every slot empty, generation 1.
void hashCreate(int megabytes);
void hashDestroy();
// Empties every slot and restarts the generations.
void hashClear();

inline HashEntry* hashSlot(uint64_t key) {
    return hashTable.entries + slotIndex(key, hashTable.slotCount, hashTable.slotMask);
}

// Looks the key up: *slot is its slot and *info the slot's info word (also on a
// miss). Returns 1 on a hit. A hit from an older generation is moved to the
// current one, which marks it used; *info keeps the word as read.
inline int hashFind(HashEntry** slot, uint64_t key, uint64_t* info) {
    HashEntry* e = hashSlot(key);
    *slot = e;
    uint64_t word = sharedLoad(e->info);
    *info = word;
    if ((sharedLoad(e->lock) ^ word) != key) return 0;
    uint16_t age = hashTable.generation.load(std::memory_order_relaxed);
    if (hashInfoAge(word) < age) {
        uint64_t young = (word & ~(uint64_t{0xffff} << 32)) | static_cast<uint64_t>(age) << 32;
        sharedStore(e->info, young);
        sharedStore(e->lock, key ^ young);
        hashTable.freeSlots.fetch_sub(1, std::memory_order_relaxed);
    }
    return 1;
}

// Reads a slot hashFind gave for the key again (after the node's own search
// filled it), without moving it to the current generation.
inline int hashFindAgain(const HashEntry* slot, uint64_t key, uint64_t* info) {
    uint64_t word = sharedLoad(slot->info);
    *info = word;
    return (sharedLoad(slot->lock) ^ word) == key;
}

// Whether results may be stored: not while the search is really ending (a stop
// it obeys, or a master abandoning its jobs), whose interrupted results mean
// nothing. A ponder search whose time has run out ignores the stop and goes on
// storing.
inline bool hashWritable() {
    return !searchStopRequested() && !parallelStopFlag.load(std::memory_order_relaxed);
}

// Stores a search result in the slot hashFind gave for the key. A deeper result
// of the current generation is kept, whatever position it belongs to; nothing
// is stored while the search is ending.
inline void hashWrite(HashEntry* slot, uint64_t key, int depth, int value, int type, Move move) {
    if (!hashWritable()) return;
    uint64_t old = sharedLoad(slot->info);
    uint16_t age = hashTable.generation.load(std::memory_order_relaxed);
    bool current = hashInfoAge(old) >= age;
    if (hashInfoDepth(old) > depth && current) return;
    uint64_t word = hashInfoMake(depth, value, type, move, age);
    sharedStore(slot->info, word);
    sharedStore(slot->lock, key ^ word);
    if (hashInfoDepth(old) == 0 || !current)
        hashTable.freeSlots.fetch_sub(1, std::memory_order_relaxed);
}

// Stores the best move of a root iteration as an exact result, replacing
// whatever the slot holds (unless the search is ending).
void hashWriteBestMove(uint64_t key, int depth, int value, Move move);

// Starts a new generation (once per search). At the last generation every age
// returns to 0 and the count starts again at 1.
void hashNewSearch();

// Per-mille of the slots used in the current generation.
int hashUsage();

// Fills pv with the line stored in the table from the position on, at most 13
// moves and a closing 0 (pv holds 14 entries). The position is left as it was.
void hashCollectPV(Position* position, Move* pv);
