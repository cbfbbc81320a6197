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
        maskBishop[sq] = magicmovesbdb[magicmoves_b_indices[sq]];
        maskRook[sq] = magicmovesrdb[magicmoves_r_indices[sq]];
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

constexpr int Pawn_File[8] = {-3, -1, 0, 1, 1, 0, -1, -3};
constexpr int Pawn_Rank[8] = {0, 0, 0, 0, 2, 4, 8, 0};
constexpr int Knight_Line[8] = {-4, -2, 0, 1, 1, 0, -2, -4};
constexpr int Knight_Rank[8] = {-2, -1, 0, 1, 2, 3, 2, 1};
constexpr int Bishop_Line[8] = {-3, -1, 0, 1, 1, 0, -1, -3};
constexpr int Rook_File[8] = {-2, -1, 0, 1, 1, 0, -1, -2};
constexpr int Queen_Line[8] = {-3, -1, 0, 1, 1, 0, -1, -3};
constexpr int King_File[8] = {3, 4, 2, 0, 0, 2, 4, 3};
constexpr int King_Rank[8] = {1, 0, -2, -3, -4, -5, -6, -7};
constexpr int King_Line[8] = {-3, -1, 0, 1, 1, 0, -1, -3};

constexpr int Pawn_File_Opening = 5;
constexpr int Pawn_Rank_Endgame = 2;
constexpr int Knight_Center_Opening = 5;
constexpr int Knight_Rank_Opening = 5;
constexpr int Knight_Center_Endgame = 5;
constexpr int Knight_Back_Rank_Opening = 0;
constexpr int Knight_Trapped = 100;
constexpr int Bishop_Center_Opening = 2;
constexpr int Bishop_Center_Endgame = 3;
constexpr int Bishop_Back_Rank_Opening = 10;
constexpr int Bishop_Diagonal_Opening = 4;
constexpr int Rook_File_Opening = 3;
constexpr int Queen_Center_Opening = 0;
constexpr int Queen_Center_Endgame = 4;
constexpr int Queen_Back_Rank_Opening = 5;
constexpr int King_File_Opening = 10;
constexpr int King_Rank_Opening = 10;
constexpr int King_Center_Endgame = 12;

}  // namespace

void initPvt() {
    for (auto& row : pvt)
        for (auto& entry : row) entry = {0, 0};

    for (int sq = 0; sq < 64; sq++) {
        int f = squareFile(sq), r = squareRank(sq);

        PvtEntry& pawn = pvt[WHITE_PAWN][sq];
        pawn.opening = Pawn_File_Opening * Pawn_File[f];
        pawn.endgame = Pawn_Rank_Endgame * Pawn_Rank[r];

        PvtEntry& knight = pvt[WHITE_KNIGHT][sq];
        knight.opening = Knight_Center_Opening * (Knight_Line[f] + Knight_Line[r]) +
                         Knight_Rank_Opening * Knight_Rank[r];
        knight.endgame = Knight_Center_Endgame * (Knight_Line[f] + Knight_Line[r]);
        if (r == 0) knight.opening -= Knight_Back_Rank_Opening;

        PvtEntry& bishop = pvt[WHITE_BISHOP][sq];
        bishop.opening = Bishop_Center_Opening * (Bishop_Line[f] + Bishop_Line[r]);
        bishop.endgame = Bishop_Center_Endgame * (Bishop_Line[f] + Bishop_Line[r]);
        if (r == 0) bishop.opening -= Bishop_Back_Rank_Opening;
        if (f == r || f + r == 7) bishop.opening += Bishop_Diagonal_Opening;

        pvt[WHITE_ROOK][sq].opening = Rook_File_Opening * Rook_File[f];

        PvtEntry& queen = pvt[WHITE_QUEEN][sq];
        queen.opening = Queen_Center_Opening * (Queen_Line[f] + Queen_Line[r]);
        queen.endgame = Queen_Center_Endgame * (Queen_Line[f] + Queen_Line[r]);
        if (r == 0) queen.opening -= Queen_Back_Rank_Opening;

        PvtEntry& king = pvt[WHITE_KING][sq];
        king.opening = King_File_Opening * King_File[f] + King_Rank_Opening * King_Rank[r];
        king.endgame = King_Center_Endgame * (King_Line[f] + King_Line[r]);
    }
    pvt[WHITE_PAWN][D3].opening += 10;
    pvt[WHITE_PAWN][E3].opening += 10;
    pvt[WHITE_PAWN][D4].opening += 20;
    pvt[WHITE_PAWN][E4].opening += 20;
    pvt[WHITE_PAWN][D5].opening += 10;
    pvt[WHITE_PAWN][E5].opening += 10;
    pvt[WHITE_KNIGHT][A8].opening -= Knight_Trapped;
    pvt[WHITE_KNIGHT][H8].opening -= Knight_Trapped;

    for (int p = 0; p <= 12; p += 2)
        for (int sq = 0; sq < 64; sq++) {
            pvt[p + 1][sq].opening = -pvt[p][sq ^ 56].opening;
            pvt[p + 1][sq].endgame = -pvt[p][sq ^ 56].endgame;
        }
}

void tablesInit() {
    initBitsIn16bits();
    initmagicmoves();
    initAttack();
    initPvt();
}
