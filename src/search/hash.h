// The transposition table and the pawn table: single-slot, directly indexed,
// shared by every search thread without a lock. Each slot carries a
// verification word (the key XOR the slot's other words), so a slot torn by two
// writers or holding another position reads as a miss. Slot words are plain
// memory read and written through relaxed atomic references.
#pragma once

#include <atomic>
#include <cstdint>

#include "board/bit.h"
#include "board/move.h"
#include "search/startsearch.h"
#include "search/threadsearch.h"

struct Position;

// Bound types of a stored score.
enum : int {
    HASH_EXACT = 0,
    HASH_LOWER = 1,  // the search failed high: score >= value
    HASH_UPPER = 2,  // the search failed low: score <= value
};

// One transposition slot, valid for key K when lock ^ info == K. info packs
// from bit 0: depth (8 bits, 0 = empty), type (8), move (16), age (16) and the
// signed 16-bit value.
struct HashEntry {
    uint64_t lock;
    uint64_t info;
};
static_assert(sizeof(HashEntry) == 16);

// One pawn-structure slot, valid for key K when
// lock ^ score ^ passed[WHITE] ^ passed[BLACK] == K. score holds the opening
// value in its low half and the endgame value in its high half, both white
// minus black.
struct PawnHashEntry {
    uint64_t lock;
    uint64_t score;
    Bitboard passed[2];
};
static_assert(sizeof(PawnHashEntry) == 32);

// Table sizes in megabytes: "Hash" sets the first; the pawn table is fixed.
extern int hashSize;
extern int pawnHashSize;

extern HashEntry* data;
extern uint32_t hSize;  // transposition slots
// Slots not yet used in this generation (approximate). Every thread counts
// into it, so it lives on a cache line of its own, away from the table
// descriptors that every probe reads.
extern std::atomic<int32_t>& hFree;
extern std::atomic<uint16_t> hOld;  // current generation, 1..65535
extern PawnHashEntry* pawnData;
extern uint32_t phSize;  // pawn slots

// Tests: allocations above this many bytes are treated as failing, so the
// fallback to smaller tables can be exercised.
extern uint64_t hashAllocationLimit;

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

namespace hashdetail {

extern uint64_t slotMask;      // hSize - 1 when hSize is a power of two, else 0
extern uint64_t pawnSlotMask;  // the same for phSize

inline uint64_t load(const uint64_t& word) {
    return std::atomic_ref<uint64_t>(const_cast<uint64_t&>(word)).load(std::memory_order_relaxed);
}
inline void store(uint64_t& word, uint64_t value) {
    std::atomic_ref<uint64_t>(word).store(value, std::memory_order_relaxed);
}

// Key modulo the slot count; a mask gives the same result for powers of two.
inline uint64_t slotOf(uint64_t key, uint64_t count, uint64_t mask) {
    return mask ? key & mask : key % count;
}

}  // namespace hashdetail

// Transposition table.

// Allocates hashSize megabytes (or the largest half that can be had, reported
// as an "info string"), all slots empty, generation 1.
void hashCreate();
void hashDestroy();
// Empties every slot and restarts the generations.
void hashReset();

inline HashEntry* hashSlot(uint64_t key) {
    return data + hashdetail::slotOf(key, hSize, hashdetail::slotMask);
}

// Looks the key up: *slot is its slot and *info the slot's info word (also on a
// miss). Returns 1 on a hit. A hit from an older generation is moved to the
// current one, which marks it used; *info keeps the word as read.
inline int hashFind(HashEntry** slot, uint64_t key, uint64_t* info) {
    HashEntry* e = hashSlot(key);
    *slot = e;
    uint64_t word = hashdetail::load(e->info);
    *info = word;
    if ((hashdetail::load(e->lock) ^ word) != key) return 0;
    uint16_t age = hOld.load(std::memory_order_relaxed);
    if (hashInfoAge(word) < age) {
        uint64_t young = (word & ~(uint64_t{0xffff} << 32)) | static_cast<uint64_t>(age) << 32;
        hashdetail::store(e->info, young);
        hashdetail::store(e->lock, key ^ young);
        hFree.fetch_sub(1, std::memory_order_relaxed);
    }
    return 1;
}

// Reads the given slot again for the key, without rejuvenating it.
inline int hashFind2(const HashEntry* slot, uint64_t key, uint64_t* info) {
    uint64_t word = hashdetail::load(slot->info);
    *info = word;
    return (hashdetail::load(slot->lock) ^ word) == key;
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
    uint64_t old = hashdetail::load(slot->info);
    uint16_t age = hOld.load(std::memory_order_relaxed);
    bool current = hashInfoAge(old) >= age;
    if (hashInfoDepth(old) > depth && current) return;
    uint64_t word = hashInfoMake(depth, value, type, move, age);
    hashdetail::store(slot->info, word);
    hashdetail::store(slot->lock, key ^ word);
    if (hashInfoDepth(old) == 0 || !current) hFree.fetch_sub(1, std::memory_order_relaxed);
}

// Stores the best move of a root iteration as an exact result, replacing
// whatever the slot holds (unless a stop is under way).
void hashWriteBestMove(uint64_t key, int depth, int value, Move move);

// Starts a new generation (once per search). At the last generation every age
// returns to 0 and the count starts again at 1.
void hashIncrement();

// Per-mille of the slots used in the current generation.
int hashUsage();

// Fills pv with the line stored in the table from the position on, at most 13
// moves and a closing 0 (pv holds 14 entries). The position is left as it was.
void hashCollectPV(Position* position, Move* pv);

// Pawn table.

// Allocates pawnHashSize megabytes of empty slots.
void pawnHashCreate();
void pawnHashDestroy();

// Looks the pawn key up: *slot is its slot and its passed sets are copied to
// passed (also on a miss). On a hit the score (opening, endgame) is copied too
// and 1 is returned. Without a table every probe misses and *slot is null.
inline int pawnHashFind(uint64_t key, PawnHashEntry** slot, int score[2], Bitboard passed[2]) {
    if (!pawnData) {
        *slot = nullptr;
        passed[0] = passed[1] = 0;
        return 0;
    }
    PawnHashEntry* e = pawnData + hashdetail::slotOf(key, phSize, hashdetail::pawnSlotMask);
    *slot = e;
    uint64_t lock = hashdetail::load(e->lock);
    uint64_t word = hashdetail::load(e->score);
    passed[0] = hashdetail::load(e->passed[0]);
    passed[1] = hashdetail::load(e->passed[1]);
    if ((lock ^ word ^ passed[0] ^ passed[1]) != key) return 0;
    score[0] = static_cast<int32_t>(static_cast<uint32_t>(word));
    score[1] = static_cast<int32_t>(static_cast<uint32_t>(word >> 32));
    return 1;
}

// Overwrites the slot with the structure's score and passed sets.
inline void pawnHashWrite(uint64_t key, PawnHashEntry* slot, const int score[2],
                          const Bitboard passed[2]) {
    if (!slot) return;
    uint64_t word = static_cast<uint32_t>(score[0]) |
                    static_cast<uint64_t>(static_cast<uint32_t>(score[1])) << 32;
    hashdetail::store(slot->score, word);
    hashdetail::store(slot->passed[0], passed[0]);
    hashdetail::store(slot->passed[1], passed[1]);
    hashdetail::store(slot->lock, key ^ word ^ passed[0] ^ passed[1]);
}
