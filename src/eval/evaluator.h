// Static evaluation, tapered between opening and endgame by the game phase.
// Every term adds to an opening and an endgame accumulator, white minus black;
// evaluate blends them and returns the score for the side to move.
#pragma once

#include <cstdint>

#include "base/bit.h"
#include "board/position.h"

// The record of one evaluation, shared by the term functions.
struct EvalInfo {
    int32_t kingDanger[2];     // [king colour]: the other side has a queen and one more piece
    int32_t pieceMaterial[2];  // [colour]: knights, bishops, rooks and queens
    int32_t gamePhase;         // 0 (every piece on the board) .. 256 (none)
    int32_t opening;
    int32_t endgame;
    Bitboard passed[2];          // [colour]: passed pawns, from evalPawns
    int32_t kingAttackers[2];    // [king colour]: enemy pieces reaching the king zone
    int32_t kingAttackUnits[2];  // [king colour]: their summed attack units
};

// Score units: a pawn is 70 in the opening and 90 in the endgame.
inline constexpr int PAWN_VALUE_OPENING = 70;
inline constexpr int PAWN_VALUE_ENDGAME = 90;
inline constexpr int KNIGHT_VALUE_OPENING = 325;
inline constexpr int KNIGHT_VALUE_ENDGAME = 325;
inline constexpr int BISHOP_VALUE_OPENING = 325;
inline constexpr int BISHOP_VALUE_ENDGAME = 325;
inline constexpr int ROOK_VALUE_OPENING = 500;
inline constexpr int ROOK_VALUE_ENDGAME = 500;
inline constexpr int QUEEN_VALUE_OPENING = 975;
inline constexpr int QUEEN_VALUE_ENDGAME = 975;
inline constexpr int BISHOP_PAIR_OPENING = 50;
inline constexpr int BISHOP_PAIR_ENDGAME = 50;

inline constexpr int LAZY_EVAL_MARGIN = 200;
// Bound of every score evaluate returns. A record may hold material no game
// reaches (thirty queens): its score is cut to this bound, which lies below
// the search's mate scores and fits a table entry's 16 bits. No position of a
// game comes near it.
inline constexpr int EVAL_LIMIT = 20000;
inline constexpr int TEMPO_OPENING = 20;
inline constexpr int TEMPO_ENDGAME = 10;

// Weight of a pawn's advance by relative rank, 256 standing for full weight.
inline constexpr int RANK_BONUS[8] = {0, 0, 0, 26, 77, 154, 256, 0};

// Interpolates from min (relative ranks up to 3) to max (relative rank 7)
// along RANK_BONUS, rounding to nearest.
inline constexpr int quad(int min, int max, int rr) {
    return min + ((max - min) * RANK_BONUS[rr] + 128) / 256;
}

// Blends the accumulators by the phase; the division truncates toward zero, so
// a position and its colour-flipped mirror get exactly opposite scores.
inline constexpr int taper(const EvalInfo& info) {
    return ((256 - info.gamePhase) * info.opening + info.gamePhase * info.endgame) / 256;
}

// Space bonus for the number of pieces in the enemy half. Promotions can put
// sixteen or more there; every count from 15 on earns the last entry.
inline constexpr int SPACE_WEIGHT[16] = {0,  0,  15, 30, 60, 90, 90, 90,
                                         90, 90, 90, 90, 90, 90, 90, 90};
inline constexpr int spaceWeight(int pieces) { return SPACE_WEIGHT[pieces < 15 ? pieces : 15]; }

// The score of the position for the side to move. pv = 0 allows a cheap score
// when it already lies more than LAZY_EVAL_MARGIN outside (alpha, beta).
int evaluate(const Position* position, int alpha, int beta, int pv);

// Material, bishop pair, phase and king-danger flags; overwrites the fields it
// fills. The terms below add to opening and endgame.
void evalMaterial(const Position* position, EvalInfo* info);
void evalPawns(const Position* position, EvalInfo* info);
void evalPatterns(const Position* position, EvalInfo* info);
void evalPieces(const Position* position, EvalInfo* info);
void evalKing(const Position* position, EvalInfo* info);
void evalPasser(const Position* position, EvalInfo* info);

// The pawn structure computed without the pawn table: the score (opening,
// endgame) and the passed sets. evalPawns stores it under pawnKey.
void evalPawnStructure(const Position* position, int score[2], Bitboard passed[2]);

// King safety helpers for a king of colour c.
// Shelter of file f for a king on rank r: 0 (pawn at home) .. 36 (none in front).
int shelterFile(const Position* position, int file, int rank, int c);
// Storm on file f: 10, 20 or 30 for an enemy pawn on its fourth, fifth or sixth rank.
int stormFile(const Position* position, int file, int c);
// Shelter and storm for the king standing on the square.
int shelterSquare(const Position* position, int sq, int c);

// Passed-pawn helpers for a pawn of colour c on sq.
// 1 when the enemy king cannot catch it (rule of the square).
int unstoppablePasser(const Position* position, int sq, int c);
// 1 when the own king escorts it to promotion.
int kingPasser(const Position* position, int sq, int c);

inline int squareDistance(int a, int b) {
    int df = squareFile(a) - squareFile(b), dr = squareRank(a) - squareRank(b);
    df = df < 0 ? -df : df;
    dr = dr < 0 ? -dr : dr;
    return df > dr ? df : dr;
}
// King distance from the square in front of the pawn; the first for the own
// king, the second for the enemy king.
inline int pawnAttDist(int sq, int kingSq, int c) {
    return squareDistance(c == WHITE ? sq + 8 : sq - 8, kingSq);
}
inline int pawnDefDist(int sq, int kingSq, int c) {
    return squareDistance(c == WHITE ? sq + 8 : sq - 8, kingSq);
}
