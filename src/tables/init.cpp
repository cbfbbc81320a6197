#include "tables/init.h"

#include "base/piece.h"
#include "base/square.h"
#include "tables/magic.h"

Bitboard attackKnight[64];
Bitboard attackKing[64];
Bitboard attackPawn[2][64];
Bitboard maskBishop[64];
Bitboard maskRook[64];
Bitboard maskQueen[64];
Bitboard kingSafeDistance1[64];
Bitboard kingSafeDistance2[64];
uint8_t bitsIn16bits[65536];
PvtEntry pvt[14][64];

int iteratedBitCount(uint32_t value) {
    int count = 0;
    for (; value; value >>= 1) count += value & 1;
    return count;
}

void initBitsIn16bits() {
    for (uint32_t v = 0; v < 65536; v++)
        bitsIn16bits[v] = static_cast<uint8_t>(iteratedBitCount(v));
}

void initAttack() {
    for (int sq = 0; sq < 64; sq++) {
        Bitboard b = bitOf(sq);
        attackPawn[WHITE][sq] = ((b << 7) & NOT_FILE_H) | ((b << 9) & NOT_FILE_A);
        attackPawn[BLACK][sq] = ((b >> 9) & NOT_FILE_H) | ((b >> 7) & NOT_FILE_A);
    }
    for (int sq = 0; sq < 64; sq++) {
        Bitboard b = bitOf(sq);
        attackKnight[sq] = ((b << 15) & NOT_FILE_H) | ((b << 17) & NOT_FILE_A) |
                           ((b >> 17) & NOT_FILE_H) | ((b >> 15) & NOT_FILE_A) |
                           ((b << 6) & NOT_FILE_GH) | ((b << 10) & NOT_FILE_AB) |
                           ((b >> 10) & NOT_FILE_GH) | ((b >> 6) & NOT_FILE_AB);
    }
    for (int sq = 0; sq < 64; sq++) {
        Bitboard b = bitOf(sq);
        attackKing[sq] = ((b >> 1) & NOT_FILE_H) | ((b << 1) & NOT_FILE_A) | (b << 8) | (b >> 8) |
                         ((b << 7) & NOT_FILE_H) | ((b << 9) & NOT_FILE_A) |
                         ((b >> 9) & NOT_FILE_H) | ((b >> 7) & NOT_FILE_A);
    }
    // The empty occupancy selects index 0 of each square's region.
    for (int sq = 0; sq < 64; sq++) {
        maskBishop[sq] = bishopAttackTable[BISHOP_OFFSET[sq]];
        maskRook[sq] = rookAttackTable[ROOK_OFFSET[sq]];
        maskQueen[sq] = maskBishop[sq] | maskRook[sq];
    }
    for (int sq = 0; sq < 64; sq++) {
        Bitboard k = attackKing[sq];
        kingSafeDistance1[sq] = k;
        kingSafeDistance2[sq] = k | ((k << 7) & NOT_FILE_H) | ((k << 9) & NOT_FILE_A) |
                                ((k >> 9) & NOT_FILE_H) | ((k >> 7) & NOT_FILE_A);
    }
}

namespace {

constexpr int PAWN_FILE[8] = {-3, -1, 0, 1, 1, 0, -1, -3};
constexpr int PAWN_RANK[8] = {0, 0, 0, 0, 2, 4, 8, 0};
constexpr int KNIGHT_LINE[8] = {-4, -2, 0, 1, 1, 0, -2, -4};
constexpr int KNIGHT_RANK[8] = {-2, -1, 0, 1, 2, 3, 2, 1};
constexpr int BISHOP_LINE[8] = {-3, -1, 0, 1, 1, 0, -1, -3};
constexpr int ROOK_FILE[8] = {-2, -1, 0, 1, 1, 0, -1, -2};
constexpr int QUEEN_LINE[8] = {-3, -1, 0, 1, 1, 0, -1, -3};
constexpr int KING_FILE[8] = {3, 4, 2, 0, 0, 2, 4, 3};
constexpr int KING_RANK[8] = {1, 0, -2, -3, -4, -5, -6, -7};
constexpr int KING_LINE[8] = {-3, -1, 0, 1, 1, 0, -1, -3};

constexpr int PAWN_FILE_OPENING = 5;
constexpr int PAWN_RANK_ENDGAME = 2;
constexpr int KNIGHT_CENTER_OPENING = 5;
constexpr int KNIGHT_RANK_OPENING = 5;
constexpr int KNIGHT_CENTER_ENDGAME = 5;
constexpr int KNIGHT_BACK_RANK_OPENING = 0;
constexpr int KNIGHT_TRAPPED = 100;
constexpr int BISHOP_CENTER_OPENING = 2;
constexpr int BISHOP_CENTER_ENDGAME = 3;
constexpr int BISHOP_BACK_RANK_OPENING = 10;
constexpr int BISHOP_DIAGONAL_OPENING = 4;
constexpr int ROOK_FILE_OPENING = 3;
constexpr int QUEEN_CENTER_OPENING = 0;
constexpr int QUEEN_CENTER_ENDGAME = 4;
constexpr int QUEEN_BACK_RANK_OPENING = 5;
constexpr int KING_FILE_OPENING = 10;
constexpr int KING_RANK_OPENING = 10;
constexpr int KING_CENTER_ENDGAME = 12;

}  // namespace

void initPvt() {
    for (auto& row : pvt)
        for (auto& entry : row) entry = {0, 0};

    for (int sq = 0; sq < 64; sq++) {
        int f = squareFile(sq), r = squareRank(sq);

        PvtEntry& pawn = pvt[WHITE_PAWN][sq];
        pawn.opening = PAWN_FILE_OPENING * PAWN_FILE[f];
        pawn.endgame = PAWN_RANK_ENDGAME * PAWN_RANK[r];

        PvtEntry& knight = pvt[WHITE_KNIGHT][sq];
        knight.opening = KNIGHT_CENTER_OPENING * (KNIGHT_LINE[f] + KNIGHT_LINE[r]) +
                         KNIGHT_RANK_OPENING * KNIGHT_RANK[r];
        knight.endgame = KNIGHT_CENTER_ENDGAME * (KNIGHT_LINE[f] + KNIGHT_LINE[r]);
        if (r == 0) knight.opening -= KNIGHT_BACK_RANK_OPENING;

        PvtEntry& bishop = pvt[WHITE_BISHOP][sq];
        bishop.opening = BISHOP_CENTER_OPENING * (BISHOP_LINE[f] + BISHOP_LINE[r]);
        bishop.endgame = BISHOP_CENTER_ENDGAME * (BISHOP_LINE[f] + BISHOP_LINE[r]);
        if (r == 0) bishop.opening -= BISHOP_BACK_RANK_OPENING;
        if (f == r || f + r == 7) bishop.opening += BISHOP_DIAGONAL_OPENING;

        pvt[WHITE_ROOK][sq].opening = ROOK_FILE_OPENING * ROOK_FILE[f];

        PvtEntry& queen = pvt[WHITE_QUEEN][sq];
        queen.opening = QUEEN_CENTER_OPENING * (QUEEN_LINE[f] + QUEEN_LINE[r]);
        queen.endgame = QUEEN_CENTER_ENDGAME * (QUEEN_LINE[f] + QUEEN_LINE[r]);
        if (r == 0) queen.opening -= QUEEN_BACK_RANK_OPENING;

        PvtEntry& king = pvt[WHITE_KING][sq];
        king.opening = KING_FILE_OPENING * KING_FILE[f] + KING_RANK_OPENING * KING_RANK[r];
        king.endgame = KING_CENTER_ENDGAME * (KING_LINE[f] + KING_LINE[r]);
    }
    pvt[WHITE_PAWN][D3].opening += 10;
    pvt[WHITE_PAWN][E3].opening += 10;
    pvt[WHITE_PAWN][D4].opening += 20;
    pvt[WHITE_PAWN][E4].opening += 20;
    pvt[WHITE_PAWN][D5].opening += 10;
    pvt[WHITE_PAWN][E5].opening += 10;
    pvt[WHITE_KNIGHT][A8].opening -= KNIGHT_TRAPPED;
    pvt[WHITE_KNIGHT][H8].opening -= KNIGHT_TRAPPED;

    for (int p = 0; p <= 12; p += 2)
        for (int sq = 0; sq < 64; sq++) {
            pvt[p + 1][sq].opening = -pvt[p][sq ^ 56].opening;
            pvt[p + 1][sq].endgame = -pvt[p][sq ^ 56].endgame;
        }
}

void tablesInit() {
    initBitsIn16bits();
    magicInit();
    initAttack();
    initPvt();
}
