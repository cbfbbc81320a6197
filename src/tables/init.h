// Tables built once at start-up by init and read-only afterwards: leaper
// attacks, empty-board slider masks, king neighbourhoods, the 16-bit bit-count
// table and the piece-square table.
#pragma once

#include <cstdint>

#include "base/bit.h"

inline constexpr Bitboard NOT_FILE_A = 0xfefefefefefefefeULL;
inline constexpr Bitboard NOT_FILE_H = 0x7f7f7f7f7f7f7f7fULL;
inline constexpr Bitboard NOT_FILE_AB = 0xfcfcfcfcfcfcfcfcULL;
inline constexpr Bitboard NOT_FILE_GH = 0x3f3f3f3f3f3f3f3fULL;

extern Bitboard attackKnight[64];
extern Bitboard attackKing[64];
extern Bitboard attackPawn[2][64];  // [colour][square]: squares a pawn there attacks
extern Bitboard maskBishop[64];     // empty-board attacks, edge squares included
extern Bitboard maskRook[64];
extern Bitboard maskQueen[64];
extern Bitboard kingSafeDistance1[64];  // king distance exactly 1
extern Bitboard kingSafeDistance2[64];  // king distance 0..2, the square itself included
extern uint8_t bitsIn16bits[65536];

// Opening and endgame members of one piece-square entry.
struct PvtEntry {
    int32_t opening;
    int32_t endgame;
};

// pvt[piece code][square]; black rows are the rank-mirrored negation of white.
extern PvtEntry pvt[14][64];

// Number of members of a set: the processor's instruction in a build for a
// processor that has one (-march=native), else four lookups in the 16-bit table.
inline int bitCount(Bitboard b) {
#ifdef __POPCNT__
    return __builtin_popcountll(b);
#else
    return bitsIn16bits[b & 0xffff] + bitsIn16bits[(b >> 16) & 0xffff] +
           bitsIn16bits[(b >> 32) & 0xffff] + bitsIn16bits[b >> 48];
#endif
}

// Builds every table in order: bit counts, magic slider tables, attack tables
// (whose slider masks are read from the magic tables), piece-square tables.
void tablesInit();
void initAttack();
void initBitsIn16bits();
void initPvt();
int iteratedBitCount(uint32_t value);
