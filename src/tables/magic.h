// Magic slider attacks: the occupancy bits that matter for a square are masked
// out, multiplied by the square's constant and shifted right; the top bits of
// the product index the square's region of the attack table.
#pragma once

#include <array>
#include <cstdint>

#include "base/bit.h"

namespace magicdetail {

// Relevant-occupancy masks: the rays from the square without their far edge
// squares, whose occupancy never changes the attack set.
constexpr Bitboard rookMask(int sq) {
    Bitboard mask = 0;
    int file = sq & 7, rank = sq >> 3;
    for (int r = rank + 1; r < 7; r++) mask |= Bitboard{1} << (r * 8 + file);
    for (int r = rank - 1; r > 0; r--) mask |= Bitboard{1} << (r * 8 + file);
    for (int f = file + 1; f < 7; f++) mask |= Bitboard{1} << (rank * 8 + f);
    for (int f = file - 1; f > 0; f--) mask |= Bitboard{1} << (rank * 8 + f);
    return mask;
}

constexpr Bitboard bishopMask(int sq) {
    Bitboard mask = 0;
    int file = sq & 7, rank = sq >> 3;
    for (int f = file + 1, r = rank + 1; f < 7 && r < 7; f++, r++)
        mask |= Bitboard{1} << (r * 8 + f);
    for (int f = file - 1, r = rank + 1; f > 0 && r < 7; f--, r++)
        mask |= Bitboard{1} << (r * 8 + f);
    for (int f = file + 1, r = rank - 1; f < 7 && r > 0; f++, r--)
        mask |= Bitboard{1} << (r * 8 + f);
    for (int f = file - 1, r = rank - 1; f > 0 && r > 0; f--, r--)
        mask |= Bitboard{1} << (r * 8 + f);
    return mask;
}

template <Bitboard (*maskOf)(int)>
constexpr std::array<Bitboard, 64> masks() {
    std::array<Bitboard, 64> result{};
    for (int sq = 0; sq < 64; sq++) result[sq] = maskOf(sq);
    return result;
}

// Region starts: the regions packed one after another in square order.
constexpr std::array<uint32_t, 64> regions(const std::array<uint32_t, 64>& shifts) {
    std::array<uint32_t, 64> result{};
    uint32_t start = 0;
    for (int sq = 0; sq < 64; sq++) {
        result[sq] = start;
        start += uint32_t{1} << (64 - shifts[sq]);
    }
    return result;
}

}  // namespace magicdetail

inline constexpr std::array<Bitboard, 64> ROOK_MASK = magicdetail::masks<magicdetail::rookMask>();
inline constexpr std::array<Bitboard, 64> BISHOP_MASK =
    magicdetail::masks<magicdetail::bishopMask>();

// One more than 64 minus the mask size on a8, b8, c8 and h8: those four rook
// regions are half size, which their multipliers allow by sending occupancies
// with the same attack set to the same index.
inline constexpr std::array<uint32_t, 64> ROOK_SHIFT = {
    52, 53, 53, 53, 53, 53, 53, 52, 53, 54, 54, 54, 54, 54, 54, 53, 53, 54, 54, 54, 54, 54,
    54, 53, 53, 54, 54, 54, 54, 54, 54, 53, 53, 54, 54, 54, 54, 54, 54, 53, 53, 54, 54, 54,
    54, 54, 54, 53, 53, 54, 54, 54, 54, 54, 54, 53, 53, 54, 54, 53, 53, 53, 53, 53,
};

inline constexpr std::array<uint32_t, 64> BISHOP_SHIFT = {
    58, 59, 59, 59, 59, 59, 59, 58, 59, 59, 59, 59, 59, 59, 59, 59, 59, 59, 57, 57, 57, 57,
    59, 59, 59, 59, 57, 55, 55, 57, 59, 59, 59, 59, 57, 55, 55, 57, 59, 59, 59, 59, 57, 57,
    57, 57, 59, 59, 59, 59, 59, 59, 59, 59, 59, 59, 58, 59, 59, 59, 59, 59, 59, 58,
};

inline constexpr std::array<uint32_t, 64> ROOK_OFFSET = magicdetail::regions(ROOK_SHIFT);
inline constexpr std::array<uint32_t, 64> BISHOP_OFFSET = magicdetail::regions(BISHOP_SHIFT);

inline constexpr int MAGIC_ROOK_TABLE_SIZE = 102400;
inline constexpr int MAGIC_BISHOP_TABLE_SIZE = 5248;

static_assert(ROOK_OFFSET[63] + (1u << (64 - ROOK_SHIFT[63])) == 96256);
static_assert(BISHOP_OFFSET[63] + (1u << (64 - BISHOP_SHIFT[63])) == MAGIC_BISHOP_TABLE_SIZE);

#include "tables/magics.h"  // ROOK_MAGIC, BISHOP_MAGIC

extern Bitboard rookAttackTable[MAGIC_ROOK_TABLE_SIZE];
extern Bitboard bishopAttackTable[MAGIC_BISHOP_TABLE_SIZE];

// Exact attack sets: along each ray every square up to and including the first
// occupied one, whatever its colour.
inline Bitboard rookAttacks(int sq, Bitboard occupancy) {
    return rookAttackTable[ROOK_OFFSET[sq] +
                           (((occupancy & ROOK_MASK[sq]) * ROOK_MAGIC[sq]) >> ROOK_SHIFT[sq])];
}

inline Bitboard bishopAttacks(int sq, Bitboard occupancy) {
    return bishopAttackTable[BISHOP_OFFSET[sq] +
                             (((occupancy & BISHOP_MASK[sq]) * BISHOP_MAGIC[sq]) >>
                              BISHOP_SHIFT[sq])];
}

inline Bitboard queenAttacks(int sq, Bitboard occupancy) {
    return rookAttacks(sq, occupancy) | bishopAttacks(sq, occupancy);
}

// Fills both attack tables by walking the rays for every occupancy subset.
void magicInit();

// The occupancy made of the listed squares whose bit is set in the pattern.
Bitboard magicOccupancy(const int* squares, int count, uint64_t pattern);

// Attack sets by ray walking; used to build the tables (and to check them).
Bitboard rookRayAttacks(int sq, Bitboard occupancy);
Bitboard bishopRayAttacks(int sq, Bitboard occupancy);
