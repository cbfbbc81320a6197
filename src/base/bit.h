// Bitboards: one bit per square, bit n = square n (a1 = 0, h8 = 63).
#pragma once

#include <cstdint>

#include "base/debug.h"

using Bitboard = uint64_t;

// Lowest square of a non-empty set.
inline int bitFirst(Bitboard b) {
    KORVAN_ASSERT(b != 0);
    return __builtin_ctzll(b);
}

// Removes and returns the lowest square of a non-empty set.
inline int bitPopFirst(Bitboard& b) {
    KORVAN_ASSERT(b != 0);
    int sq = __builtin_ctzll(b);
    b &= b - 1;
    return sq;
}

inline constexpr Bitboard bitOf(int sq) { return Bitboard{1} << sq; }

// Prints the set as an 8 x 8 picture of '0' and '1', rank 8 first.
void chessBitPrint(Bitboard b);
