#include "tables/magic.h"

Bitboard rookAttackTable[MAGIC_ROOK_TABLE_SIZE];
Bitboard bishopAttackTable[MAGIC_BISHOP_TABLE_SIZE];

Bitboard magicOccupancy(const int* squares, int count, uint64_t pattern) {
    Bitboard occupancy = 0;
    for (int i = 0; i < count; i++)
        if (pattern & (uint64_t{1} << i)) occupancy |= bitOf(squares[i]);
    return occupancy;
}

Bitboard rookRayAttacks(int sq, Bitboard occupancy) {
    Bitboard result = 0;
    Bitboard origin = bitOf(sq);
    Bitboard rank = Bitboard{0xff} << (8 * (sq / 8));
    // North and south: the bit falls off the board (becomes 0) at the edge.
    for (Bitboard bit = origin << 8; bit; bit <<= 8) {
        result |= bit;
        if (bit & occupancy) break;
    }
    for (Bitboard bit = origin >> 8; bit; bit >>= 8) {
        result |= bit;
        if (bit & occupancy) break;
    }
    // East and west: stop as soon as the bit leaves the origin's rank.
    for (Bitboard bit = origin << 1; bit & rank; bit <<= 1) {
        result |= bit;
        if (bit & occupancy) break;
    }
    for (Bitboard bit = origin >> 1; bit & rank; bit >>= 1) {
        result |= bit;
        if (bit & occupancy) break;
    }
    return result;
}

namespace {

// One diagonal: the companion bit walks the origin's rank one file per step,
// so the walk ends when the diagonal would wrap around the board edge.
Bitboard bishopRay(Bitboard origin, Bitboard rank, int step, bool east, Bitboard occupancy) {
    Bitboard result = 0;
    Bitboard bit = origin, companion = origin;
    for (;;) {
        bit = step > 0 ? bit << step : bit >> -step;
        companion = east ? companion << 1 : companion >> 1;
        if (!(companion & rank)) break;
        if (!bit) break;
        result |= bit;
        if (bit & occupancy) break;
    }
    return result;
}

template <Bitboard (*walk)(int, Bitboard)>
void fillRegions(Bitboard* table, const std::array<Bitboard, 64>& masks,
                 const std::array<uint64_t, 64>& magics, const std::array<uint32_t, 64>& shifts,
                 const std::array<uint32_t, 64>& regions) {
    for (int sq = 0; sq < 64; sq++) {
        int squares[64];
        int n = 0;
        for (Bitboard m = masks[sq]; m;) squares[n++] = bitPopFirst(m);
        for (uint64_t pattern = 0; pattern < (uint64_t{1} << n); pattern++) {
            Bitboard occupancy = magicOccupancy(squares, n, pattern);
            table[regions[sq] + ((occupancy * magics[sq]) >> shifts[sq])] = walk(sq, occupancy);
        }
    }
}

}  // namespace

Bitboard bishopRayAttacks(int sq, Bitboard occupancy) {
    Bitboard origin = bitOf(sq);
    Bitboard rank = Bitboard{0xff} << (8 * (sq / 8));
    return bishopRay(origin, rank, 9, true, occupancy) |
           bishopRay(origin, rank, 7, false, occupancy) |
           bishopRay(origin, rank, -7, true, occupancy) |
           bishopRay(origin, rank, -9, false, occupancy);
}

void magicInit() {
    fillRegions<bishopRayAttacks>(bishopAttackTable, BISHOP_MASK, BISHOP_MAGIC, BISHOP_SHIFT,
                                  BISHOP_OFFSET);
    fillRegions<rookRayAttacks>(rookAttackTable, ROOK_MASK, ROOK_MAGIC, ROOK_SHIFT, ROOK_OFFSET);
}
