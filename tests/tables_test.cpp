#include <gtest/gtest.h>

#include "support/engine.h"
#include "tables/init.h"
#include "tables/magic.h"

namespace {

class Tables : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { testInit(); }
};

// Every subset of every square's mask must give the ray-walking result,
// the four reduced-shift rook squares included.
TEST_F(Tables, MagicLookupsMatchRayWalkingForEveryOccupancy) {
    for (int sq = 0; sq < 64; sq++) {
        for (int rook = 0; rook < 2; rook++) {
            Bitboard mask = rook ? ROOK_MASK[sq] : BISHOP_MASK[sq];
            int list[64], n = 0;
            for (Bitboard m = mask; m;) list[n++] = bitPopFirst(m);
            for (uint64_t pattern = 0; pattern < (uint64_t{1} << n); pattern++) {
                Bitboard occupancy = magicOccupancy(list, n, pattern);
                // Squares outside the mask must not change the answer.
                Bitboard noise = ~mask & 0x8100000000000081ULL & ~bitOf(sq);
                if (rook) {
                    ASSERT_EQ(rookAttacks(sq, occupancy | noise), rookRayAttacks(sq, occupancy))
                        << "rook square " << sq << " pattern " << pattern;
                } else {
                    ASSERT_EQ(bishopAttacks(sq, occupancy | noise), bishopRayAttacks(sq, occupancy))
                        << "bishop square " << sq << " pattern " << pattern;
                }
            }
        }
    }
}

TEST_F(Tables, ShiftsFollowMaskSizesExceptTheFourReducedRookSquares) {
    for (int sq = 0; sq < 64; sq++) {
        EXPECT_EQ(BISHOP_SHIFT[sq], 64u - bitCount(BISHOP_MASK[sq])) << sq;
        bool reduced = sq == A8 || sq == B8 || sq == C8 || sq == H8;
        EXPECT_EQ(ROOK_SHIFT[sq], 64u - bitCount(ROOK_MASK[sq]) + reduced) << sq;
    }
    EXPECT_EQ(bitCount(ROOK_MASK[A1]), 12);
    EXPECT_EQ(bitCount(ROOK_MASK[D4]), 10);
    EXPECT_EQ(bitCount(BISHOP_MASK[A1]), 6);
    EXPECT_EQ(bitCount(BISHOP_MASK[D4]), 9);
    EXPECT_EQ(ROOK_MAGIC[A8], 0x00fffcddfced714aULL);
    EXPECT_EQ(ROOK_MAGIC[H8], 0x0001fffaabfad1a2ULL);
}

TEST_F(Tables, SliderSpotChecks) {
    const Bitboard full = ~Bitboard{0};
    struct {
        Bitboard actual, expected;
    } cases[] = {
        {rookAttacks(A1, 0), squares("b1 c1 d1 e1 f1 g1 h1 a2 a3 a4 a5 a6 a7 a8")},
        {bishopAttacks(A1, 0), squares("b2 c3 d4 e5 f6 g7 h8")},
        {rookAttacks(A1, squares("b1 a2")), squares("b1 a2")},
        {rookAttacks(D4, full), squares("d3 d5 c4 e4")},
        {bishopAttacks(D4, full), squares("c3 e3 c5 e5")},
        {rookAttacks(A1, squares("h1 a8 e5")), rookAttacks(A1, 0)},
        {queenAttacks(D4, full), squares("d3 d5 c4 e4 c3 e3 c5 e5")},
    };
    for (const auto& c : cases) EXPECT_EQ(c.actual, c.expected);
}

TEST_F(Tables, LeaperAndMaskSpotChecks) {
    struct {
        Bitboard actual, expected;
    } cases[] = {
        {attackKnight[A1], squares("b3 c2")},
        {attackKnight[H8], squares("f7 g6")},
        {attackKing[A1], squares("b1 a2 b2")},
        {kingSafeDistance1[A1], squares("b1 a2 b2")},
        {kingSafeDistance2[A1], squares("a1 b1 c1 a2 b2 c2 a3 b3 c3")},
        {attackPawn[WHITE][A2], squares("b3")},
        {attackPawn[BLACK][A7], squares("b6")},
        {attackPawn[WHITE][H4], squares("g5")},
        {attackPawn[BLACK][E4], squares("d3 f3")},
    };
    for (const auto& c : cases) EXPECT_EQ(c.actual, c.expected);
    EXPECT_EQ(bitCount(kingSafeDistance2[D4]), 25);
    EXPECT_TRUE(kingSafeDistance2[D4] & bitOf(B2) && kingSafeDistance2[D4] & bitOf(F6));
    for (int file = 0; file < 8; file++) {
        EXPECT_EQ(attackPawn[WHITE][squareMake(file, 7)], 0u);
        EXPECT_EQ(attackPawn[BLACK][squareMake(file, 0)], 0u);
    }
    EXPECT_EQ(bitCount(maskRook[A1]), 14);
    EXPECT_EQ(bitCount(maskBishop[D4]), 13);
    EXPECT_EQ(bitCount(maskQueen[D4]), 27);
}

// The king tables against their definition by king distance.
TEST_F(Tables, KingNeighbourhoodsFollowKingDistance) {
    for (int a = 0; a < 64; a++)
        for (int b = 0; b < 64; b++) {
            int d = std::max(std::abs(squareFile(a) - squareFile(b)),
                             std::abs(squareRank(a) - squareRank(b)));
            EXPECT_EQ((kingSafeDistance1[a] >> b) & 1, d == 1 ? 1u : 0u);
            EXPECT_EQ((kingSafeDistance2[a] >> b) & 1, d <= 2 ? 1u : 0u);
        }
}

TEST_F(Tables, BitCounting) {
    EXPECT_EQ(bitsIn16bits[0], 0);
    EXPECT_EQ(bitsIn16bits[0xffff], 16);
    EXPECT_EQ(bitCount(0), 0);
    EXPECT_EQ(bitCount(1), 1);
    EXPECT_EQ(bitCount(~Bitboard{0}), 64);
    EXPECT_EQ(bitCount(0x8000000000000001ULL), 2);
    EXPECT_EQ(iteratedBitCount(0xf0f0f0f0u), 16);
}

TEST_F(Tables, PieceSquareExamples) {
    struct {
        int piece, square, opening, endgame;
    } cases[] = {
        {WHITE_KNIGHT, D4, 15, 10},    {WHITE_KNIGHT, A1, -50, -40}, {WHITE_KNIGHT, A8, -135, -40},
        {WHITE_KNIGHT, H8, -135, -40}, {WHITE_PAWN, E4, 25, 0},      {WHITE_PAWN, A7, -15, 16},
        {WHITE_PAWN, H5, -15, 4},      {WHITE_BISHOP, A1, -18, -18}, {WHITE_BISHOP, D4, 8, 6},
        {WHITE_BISHOP, B2, 0, -6},     {WHITE_ROOK, A4, -6, 0},      {WHITE_ROOK, D7, 3, 0},
        {WHITE_QUEEN, D1, -5, -8},     {WHITE_QUEEN, D4, 0, 8},      {WHITE_KING, G1, 50, -48},
        {WHITE_KING, D4, -30, 24},     {BLACK_KNIGHT, A1, 135, 40},  {BLACK_KING, G8, -50, 48},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(pvt[c.piece][c.square].opening, c.opening) << c.piece << " " << c.square;
        EXPECT_EQ(pvt[c.piece][c.square].endgame, c.endgame) << c.piece << " " << c.square;
    }
    EXPECT_EQ(pvt[WHITE_KING][E1].opening, 10);
    EXPECT_EQ(pvt[WHITE_KING][A8].opening, -40);
    for (int p = 0; p < 14; p += 2)
        for (int sq = 0; sq < 64; sq++) {
            EXPECT_EQ(pvt[p + 1][sq].opening, -pvt[p][sq ^ 56].opening);
            EXPECT_EQ(pvt[p + 1][sq].endgame, -pvt[p][sq ^ 56].endgame);
        }
}

}  // namespace
