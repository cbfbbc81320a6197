// The pawn table: the pawn-structure score and passed-pawn sets of recent pawn
// structures, one slot per key, shared by every search thread without a lock.
// A slot is valid for key K when lock ^ score ^ passed[WHITE] ^ passed[BLACK]
// == K, so a slot torn by two writers or holding another structure reads as a
// miss. Slot words are plain memory read and written through relaxed atomic
// references.
#pragma once

#include <cstdint>

#include "base/bit.h"
#include "base/sharedtable.h"
#include "board/position.h"

// score holds the opening value in its low half and the endgame value in its
// high half, both white minus black.
struct PawnHashEntry {
    uint64_t lock;
    uint64_t score;
    Bitboard passed[2];
};
static_assert(sizeof(PawnHashEntry) == 32);

struct PawnTable {
    PawnHashEntry* entries = nullptr;
    uint32_t slotCount = 0;
    uint64_t slotMask = 0;  // slotCount - 1 when it is a power of two, else 0
};

// The engine's pawn table (1 MB, made at start-up).
extern PawnTable pawnTable;

inline constexpr int PAWN_TABLE_MEGABYTES = 1;

// Allocates the table with every slot empty; pawnTableDestroy releases it.
void pawnTableCreate(int megabytes);
void pawnTableDestroy();

// The finalizer of MurmurHash3: every bit of the word reaches every bit of
// the result, and no two words give the same result.
inline uint64_t pawnMix(uint64_t h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 33;
    return h;
}

// Key of the pawn structure: the white set mixed, the black set added and
// mixed again. Every pawn, on any square, reaches every bit of the key
// (multiplying the sets let a pawn reach only the bits above its square, so
// structures differing on the seventh rank alone shared keys), structures
// with the colours exchanged get different keys, and no structure, not even
// the empty one, keys to 0.
inline uint64_t pawnKey(Bitboard white, Bitboard black) {
    return pawnMix(pawnMix(white ^ 0x9e3779b97f4a7c15ULL) ^ black);
}
inline uint64_t pawnKey(const Position* position) {
    return pawnKey(position->bitboard[WHITE_PAWN], position->bitboard[BLACK_PAWN]);
}

// Looks the pawn key up: *slot is its slot and its passed sets are copied to
// passed (also on a miss). On a hit the score (opening, endgame) is copied too
// and 1 is returned. Without a table every probe misses and *slot is null.
inline int pawnTableFind(uint64_t key, PawnHashEntry** slot, int score[2], Bitboard passed[2]) {
    if (!pawnTable.entries) {
        *slot = nullptr;
        passed[0] = passed[1] = 0;
        return 0;
    }
    PawnHashEntry* e = pawnTable.entries + slotIndex(key, pawnTable.slotCount, pawnTable.slotMask);
    *slot = e;
    uint64_t lock = sharedLoad(e->lock);
    uint64_t word = sharedLoad(e->score);
    passed[0] = sharedLoad(e->passed[0]);
    passed[1] = sharedLoad(e->passed[1]);
    if ((lock ^ word ^ passed[0] ^ passed[1]) != key) return 0;
    score[0] = static_cast<int32_t>(static_cast<uint32_t>(word));
    score[1] = static_cast<int32_t>(static_cast<uint32_t>(word >> 32));
    return 1;
}

// Overwrites the slot with the structure's score and passed sets.
inline void pawnTableWrite(uint64_t key, PawnHashEntry* slot, const int score[2],
                           const Bitboard passed[2]) {
    if (!slot) return;
    uint64_t word = static_cast<uint32_t>(score[0]) |
                    static_cast<uint64_t>(static_cast<uint32_t>(score[1])) << 32;
    sharedStore(slot->score, word);
    sharedStore(slot->passed[0], passed[0]);
    sharedStore(slot->passed[1], passed[1]);
    sharedStore(slot->lock, key ^ word ^ passed[0] ^ passed[1]);
}
