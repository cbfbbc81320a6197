#include "eval/evaluator.h"

#include <array>

#include "eval/pawntable.h"
#include "tables/init.h"
#include "tables/magic.h"

namespace {

// Pawn structure weights (opening / endgame).
constexpr int DOUBLED_OPENING = 10;
constexpr int DOUBLED_ENDGAME = 20;
constexpr int ISOLATED_OPENING = 10;
constexpr int ISOLATED_OPENING_OPEN = 20;
constexpr int ISOLATED_ENDGAME = 20;
constexpr int BACKWARD_OPENING = 8;
constexpr int BACKWARD_OPENING_OPEN = 16;
constexpr int BACKWARD_ENDGAME = 10;
constexpr int CANDIDATE_OPENING_MIN = 5;
constexpr int CANDIDATE_OPENING_MAX = 55;
constexpr int CANDIDATE_ENDGAME_MIN = 10;
constexpr int CANDIDATE_ENDGAME_MAX = 110;

// Piece weights.
constexpr int KNIGHT_UNIT = 4;
constexpr int KNIGHT_MOB_OPENING = 4;
constexpr int KNIGHT_MOB_ENDGAME = 4;
constexpr int BISHOP_UNIT = 6;
constexpr int BISHOP_MOB_OPENING = 5;
constexpr int BISHOP_MOB_ENDGAME = 5;
constexpr int ROOK_UNIT = 7;
constexpr int ROOK_MOB_OPENING = 2;
constexpr int ROOK_MOB_ENDGAME = 4;
constexpr int ROOK_SEMI_OPEN_FILE_OPENING = 10;
constexpr int ROOK_SEMI_OPEN_FILE_ENDGAME = 10;
constexpr int ROOK_OPEN_FILE_OPENING = 20;
constexpr int ROOK_OPEN_FILE_ENDGAME = 20;
constexpr int ROOK_KING_FILE_OPENING = 20;
constexpr int ROOK_SEMI_KING_FILE_OPENING = 10;
constexpr int ROOK_7TH_OPENING = 20;
constexpr int ROOK_7TH_ENDGAME = 40;
constexpr int QUEEN_7TH_OPENING = 10;
constexpr int QUEEN_7TH_ENDGAME = 20;

// Pattern penalties.
constexpr int BLOCKED_CENTER_PAWN = 10;
constexpr int TRAPPED_BISHOP = 100;
constexpr int BLOCKED_BISHOP = 50;
constexpr int BLOCKED_ROOK = 50;

// King safety.
constexpr int SHELTER_OPENING = 256;  // 256 = full weight
constexpr int STORM_OPENING = 10;
constexpr int KING_ATTACK_OPENING = 20;
constexpr int KING_ATTACK_WEIGHT[16] = {0,   0,   128, 192, 224, 240, 248, 252,
                                        254, 255, 256, 256, 256, 256, 256, 256};

// Passed pawns.
constexpr int PASSED_OPENING_MIN = 10;
constexpr int PASSED_OPENING_MAX = 70;
constexpr int PASSED_ENDGAME_MIN = 20;
constexpr int PASSED_ENDGAME_MAX = 140;
constexpr int UNSTOPPABLE_PASSER = 800;
constexpr int ATTACKER_DISTANCE = 5;
constexpr int DEFENDER_DISTANCE = 20;

// King-attack units by piece code: knights and bishops 1, rooks 2, queens 4.
constexpr int KING_ATTACK_UNIT[14] = {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 4, 4, 0, 0};

constexpr Bitboard fileMask(int f) { return 0x0101010101010101ULL << f; }
constexpr Bitboard rankMask(int r) { return r < 0 || r > 7 ? 0 : 0xffULL << (8 * r); }

constexpr std::array<Bitboard, 8> FILE_MASK = [] {
    std::array<Bitboard, 8> t{};
    for (int f = 0; f < 8; f++) t[f] = fileMask(f);
    return t;
}();

constexpr std::array<Bitboard, 8> ADJACENT_FILES = [] {
    std::array<Bitboard, 8> t{};
    for (int f = 0; f < 8; f++)
        t[f] = (f > 0 ? fileMask(f - 1) : 0) | (f < 7 ? fileMask(f + 1) : 0);
    return t;
}();

// [colour][rank]: every square of the ranks in front of a pawn of that colour.
constexpr std::array<std::array<Bitboard, 8>, 2> RANKS_AHEAD = [] {
    std::array<std::array<Bitboard, 8>, 2> t{};
    for (int r = 0; r < 8; r++)
        for (int q = 0; q < 8; q++) {
            if (q > r) t[WHITE][r] |= rankMask(q);
            if (q < r) t[BLACK][r] |= rankMask(q);
        }
    return t;
}();

// Knight outposts, white's side: the centre of ranks 4 to 6.
constexpr std::array<int, 64> WHITE_OUTPOST = {
    0, 0, 0, 0,  0,  0, 0, 0,  //
    0, 0, 0, 0,  0,  0, 0, 0,  //
    0, 0, 0, 0,  0,  0, 0, 0,  //
    0, 2, 5, 10, 10, 5, 2, 0,  //
    0, 2, 5, 10, 10, 5, 2, 0,  //
    0, 0, 4, 5,  5,  4, 0, 0,  //
    0, 0, 0, 0,  0,  0, 0, 0,  //
    0, 0, 0, 0,  0,  0, 0, 0,  //
};

constexpr std::array<std::array<int, 64>, 2> KNIGHT_OUTPOST = [] {
    std::array<std::array<int, 64>, 2> t{};
    for (int sq = 0; sq < 64; sq++) {
        t[WHITE][sq] = WHITE_OUTPOST[sq];
        t[BLACK][sq] = WHITE_OUTPOST[sq ^ 56];
    }
    return t;
}();

constexpr int SEVENTH_RANK[2] = {6, 1};
constexpr int EIGHTH_RANK[2] = {7, 0};
constexpr Bitboard SEVENTH_RANK_MASK[2] = {0x00ff000000000000ULL, 0x000000000000ff00ULL};
constexpr Bitboard ENEMY_HALF[2] = {0xffffffff00000000ULL, 0x00000000ffffffffULL};

inline int absolute(int x) { return x < 0 ? -x : x; }
inline int evalBound(int s) {
    return s > EVAL_LIMIT ? EVAL_LIMIT : s < -EVAL_LIMIT ? -EVAL_LIMIT : s;
}
inline int highestSquare(Bitboard b) { return 63 - __builtin_clzll(b); }

}  // namespace

void evalMaterial(const Position* position, EvalInfo* info) {
    const Bitboard* bb = position->bitboard;
    int wP = bitCount(bb[WHITE_PAWN]), bP = bitCount(bb[BLACK_PAWN]);
    int wN = bitCount(bb[WHITE_KNIGHT]), bN = bitCount(bb[BLACK_KNIGHT]);
    int wB = bitCount(bb[WHITE_BISHOP]), bB = bitCount(bb[BLACK_BISHOP]);
    int wR = bitCount(bb[WHITE_ROOK]), bR = bitCount(bb[BLACK_ROOK]);
    int wQ = bitCount(bb[WHITE_QUEEN]), bQ = bitCount(bb[BLACK_QUEEN]);

    int n = wN + wB + 2 * wR + 4 * wQ + bN + bB + 2 * bR + 4 * bQ;
    int missing = n < 24 ? 24 - n : 0;
    info->gamePhase = (missing * 256 + 12) / 24;

    info->kingDanger[WHITE] = bQ >= 1 && bQ + bR + bB + bN >= 2;
    info->kingDanger[BLACK] = wQ >= 1 && wQ + wR + wB + wN >= 2;

    info->pieceMaterial[WHITE] = KNIGHT_VALUE_OPENING * wN + BISHOP_VALUE_OPENING * wB +
                                 ROOK_VALUE_OPENING * wR + QUEEN_VALUE_OPENING * wQ;
    info->pieceMaterial[BLACK] = KNIGHT_VALUE_OPENING * bN + BISHOP_VALUE_OPENING * bB +
                                 ROOK_VALUE_OPENING * bR + QUEEN_VALUE_OPENING * bQ;

    info->opening =
        PAWN_VALUE_OPENING * (wP - bP) + info->pieceMaterial[WHITE] - info->pieceMaterial[BLACK];
    info->endgame =
        PAWN_VALUE_ENDGAME * (wP - bP) + info->pieceMaterial[WHITE] - info->pieceMaterial[BLACK];

    // Two bishops make a pair even when a promotion put both on one colour.
    if (wB >= 2) info->opening += BISHOP_PAIR_OPENING, info->endgame += BISHOP_PAIR_ENDGAME;
    if (bB >= 2) info->opening -= BISHOP_PAIR_OPENING, info->endgame -= BISHOP_PAIR_ENDGAME;
}

void evalPawnStructure(const Position* position, int score[2], Bitboard passed[2]) {
    int op[2] = {0, 0}, eg[2] = {0, 0};
    for (int c = WHITE; c <= BLACK; c++) {
        const Bitboard mine = position->bitboard[WHITE_PAWN + c];
        const Bitboard theirs = position->bitboard[WHITE_PAWN + (c ^ 1)];
        const Bitboard all = mine | theirs;
        const int forward = c == WHITE ? 1 : -1;
        passed[c] = 0;
        for (Bitboard pawns = mine; pawns;) {
            int sq = bitPopFirst(pawns);
            int f = squareFile(sq), r = squareRank(sq);
            int rr = c == WHITE ? r : 7 - r;
            Bitboard adjacentFiles = ADJACENT_FILES[f];
            Bitboard adjacent = mine & adjacentFiles;
            Bitboard ahead = RANKS_AHEAD[c][r];
            Bitboard nextRank = rankMask(r + forward);

            // A lower pawn of the same colour on the file: one per extra pawn.
            bool doubled = mine & FILE_MASK[f] & (bitOf(sq) - 1);
            bool isolated = !adjacent;

            // Backward: every neighbour has gone ahead, and the pawn cannot
            // safely step up to them.
            bool backward = false;
            if (!isolated && !(adjacent & ~ahead)) {
                backward = true;
                if (adjacent & nextRank) {
                    Bitboard front = bitOf(sq + 8 * forward);
                    Bitboard attackers =
                        theirs & adjacentFiles & (nextRank | rankMask(r + 2 * forward));
                    if (!(all & front) && !attackers) backward = false;
                } else if (rr == 1 && (adjacent & rankMask(r + 2 * forward))) {
                    // From its second rank the double step can catch up with a
                    // neighbour on the fourth.
                    Bitboard path = rankMask(r + forward) | rankMask(r + 2 * forward);
                    Bitboard attackers =
                        theirs & adjacentFiles & (path | rankMask(r + 3 * forward));
                    if (!(all & FILE_MASK[f] & path) && !attackers) backward = false;
                }
            }

            bool open = !(all & FILE_MASK[f] & ahead);
            bool isPassed = open && !(theirs & adjacentFiles & ahead);
            bool candidate = false;
            if (open && !isPassed) {
                int a = bitCount(adjacent & ~ahead);
                int b = bitCount(theirs & adjacentFiles & ahead);
                int defenders = bitCount(adjacent & rankMask(r - forward));
                int attackers = bitCount(theirs & adjacentFiles & nextRank);
                candidate = a >= b && defenders >= attackers;
            }

            if (doubled) op[c] -= DOUBLED_OPENING, eg[c] -= DOUBLED_ENDGAME;
            if (isolated) {
                op[c] -= open ? ISOLATED_OPENING_OPEN : ISOLATED_OPENING;
                eg[c] -= ISOLATED_ENDGAME;
            } else if (backward) {
                op[c] -= open ? BACKWARD_OPENING_OPEN : BACKWARD_OPENING;
                eg[c] -= BACKWARD_ENDGAME;
            }
            if (candidate) {
                op[c] += quad(CANDIDATE_OPENING_MIN, CANDIDATE_OPENING_MAX, rr);
                eg[c] += quad(CANDIDATE_ENDGAME_MIN, CANDIDATE_ENDGAME_MAX, rr);
            }
            if (isPassed) passed[c] |= bitOf(sq);
        }
    }
    score[0] = op[WHITE] - op[BLACK];
    score[1] = eg[WHITE] - eg[BLACK];
}

void evalPawns(const Position* position, EvalInfo* info) {
    uint64_t key = pawnKey(position);
    PawnHashEntry* slot;
    int score[2];
    if (!pawnTableFind(key, &slot, score, info->passed)) {
        evalPawnStructure(position, score, info->passed);
        pawnTableWrite(key, slot, score, info->passed);
    }
    info->opening += score[0];
    info->endgame += score[1];
}

void evalPatterns(const Position* position, EvalInfo* info) {
    const int32_t* b = position->board;
    int op = 0, eg = 0;

    // Centre pawns stuck on their starting squares, and the bishop behind them.
    if (b[D2] == WHITE_PAWN && b[D3] != EMPTY) {
        op -= BLOCKED_CENTER_PAWN;
        if (b[C1] == WHITE_BISHOP) op -= BLOCKED_BISHOP;
    }
    if (b[E2] == WHITE_PAWN && b[E3] != EMPTY) {
        op -= BLOCKED_CENTER_PAWN;
        if (b[F1] == WHITE_BISHOP) op -= BLOCKED_BISHOP;
    }
    if (b[D7] == BLACK_PAWN && b[D6] != EMPTY) {
        op += BLOCKED_CENTER_PAWN;
        if (b[C8] == BLACK_BISHOP) op += BLOCKED_BISHOP;
    }
    if (b[E7] == BLACK_PAWN && b[E6] != EMPTY) {
        op += BLOCKED_CENTER_PAWN;
        if (b[F8] == BLACK_BISHOP) op += BLOCKED_BISHOP;
    }

    // Bishops that took a rook pawn and are shut in by the next pawn.
    if ((b[A7] == WHITE_BISHOP && b[B6] == BLACK_PAWN) ||
        (b[B8] == WHITE_BISHOP && b[C7] == BLACK_PAWN))
        op -= TRAPPED_BISHOP, eg -= TRAPPED_BISHOP;
    if ((b[H7] == WHITE_BISHOP && b[G6] == BLACK_PAWN) ||
        (b[G8] == WHITE_BISHOP && b[F7] == BLACK_PAWN))
        op -= TRAPPED_BISHOP, eg -= TRAPPED_BISHOP;
    if ((b[A2] == BLACK_BISHOP && b[B3] == WHITE_PAWN) ||
        (b[B1] == BLACK_BISHOP && b[C2] == WHITE_PAWN))
        op += TRAPPED_BISHOP, eg += TRAPPED_BISHOP;
    if ((b[H2] == BLACK_BISHOP && b[G3] == WHITE_PAWN) ||
        (b[G1] == BLACK_BISHOP && b[F2] == WHITE_PAWN))
        op += TRAPPED_BISHOP, eg += TRAPPED_BISHOP;
    if (b[A6] == WHITE_BISHOP && b[B5] == BLACK_PAWN)
        op -= TRAPPED_BISHOP / 2, eg -= TRAPPED_BISHOP / 2;
    if (b[H6] == WHITE_BISHOP && b[G5] == BLACK_PAWN)
        op -= TRAPPED_BISHOP / 2, eg -= TRAPPED_BISHOP / 2;
    if (b[A3] == BLACK_BISHOP && b[B4] == WHITE_PAWN)
        op += TRAPPED_BISHOP / 2, eg += TRAPPED_BISHOP / 2;
    if (b[H3] == BLACK_BISHOP && b[G4] == WHITE_PAWN)
        op += TRAPPED_BISHOP / 2, eg += TRAPPED_BISHOP / 2;

    // Rooks shut in by their own king, which walked over without castling.
    if ((b[C1] == WHITE_KING || b[B1] == WHITE_KING) &&
        (b[A1] == WHITE_ROOK || b[A2] == WHITE_ROOK || b[B1] == WHITE_ROOK))
        op -= BLOCKED_ROOK;
    if ((b[F1] == WHITE_KING || b[G1] == WHITE_KING) &&
        (b[H1] == WHITE_ROOK || b[H2] == WHITE_ROOK || b[G1] == WHITE_ROOK))
        op -= BLOCKED_ROOK;
    if ((b[C8] == BLACK_KING || b[B8] == BLACK_KING) &&
        (b[A8] == BLACK_ROOK || b[A7] == BLACK_ROOK || b[B8] == BLACK_ROOK))
        op += BLOCKED_ROOK;
    if ((b[F8] == BLACK_KING || b[G8] == BLACK_KING) &&
        (b[H8] == BLACK_ROOK || b[H7] == BLACK_ROOK || b[G8] == BLACK_ROOK))
        op += BLOCKED_ROOK;

    info->opening += op;
    info->endgame += eg;
}

void evalPieces(const Position* position, EvalInfo* info) {
    const Bitboard* bb = position->bitboard;
    const Bitboard occupied = position->occupied;
    int op[2] = {0, 0}, eg[2] = {0, 0};

    for (int c = WHITE; c <= BLACK; c++) {
        const int e = c ^ 1;
        const Bitboard targets = bb[e] | ~occupied;
        const int king = bitFirst(bb[WHITE_KING + e]);
        const int kingFile = squareFile(king), kingRank = squareRank(king);
        const Bitboard zone1 = kingSafeDistance1[king];
        const Bitboard zone2 = kingSafeDistance2[king];
        const Bitboard ownPawns = bb[WHITE_PAWN + c], theirPawns = bb[WHITE_PAWN + e];
        const bool seventhTarget =
            (theirPawns & SEVENTH_RANK_MASK[c]) || kingRank == EIGHTH_RANK[c];
        int attackers = 0, units = 0;
        int o = 0, g = 0;

        int space = bitCount((bb[WHITE_KNIGHT + c] | bb[WHITE_BISHOP + c] | bb[WHITE_ROOK + c] |
                              bb[WHITE_QUEEN + c]) &
                             ENEMY_HALF[c]);

        for (Bitboard pieces = bb[WHITE_KNIGHT + c]; pieces;) {
            int sq = bitPopFirst(pieces);
            Bitboard a = attackKnight[sq];
            if (a & zone1) attackers++, units += KING_ATTACK_UNIT[WHITE_KNIGHT];
            int m = bitCount(a & targets) - KNIGHT_UNIT;
            o += KNIGHT_MOB_OPENING * m;
            g += KNIGHT_MOB_ENDGAME * m;
            // Supported from behind by pawns (the squares a pawn of the other
            // colour on sq would attack).
            if (int outpost = KNIGHT_OUTPOST[c][sq])
                o += outpost * bitCount(attackPawn[e][sq] & ownPawns);
        }

        for (Bitboard pieces = bb[WHITE_BISHOP + c]; pieces;) {
            int sq = bitPopFirst(pieces);
            Bitboard a = bishopAttacks(sq, occupied);
            if ((maskBishop[sq] & zone1) && (a & zone2))
                attackers++, units += KING_ATTACK_UNIT[WHITE_BISHOP];
            int m = bitCount(a & targets) - BISHOP_UNIT;
            o += BISHOP_MOB_OPENING * m;
            g += BISHOP_MOB_ENDGAME * m;
        }

        for (Bitboard pieces = bb[WHITE_ROOK + c]; pieces;) {
            int sq = bitPopFirst(pieces);
            int f = squareFile(sq);
            Bitboard a = rookAttacks(sq, occupied);
            if ((maskRook[sq] & zone1) && (a & zone2))
                attackers++, units += KING_ATTACK_UNIT[WHITE_ROOK];
            int m = bitCount(a & targets) - ROOK_UNIT;
            o += ROOK_MOB_OPENING * m;
            g += ROOK_MOB_ENDGAME * m;

            // Scored against a semi-open file: closed loses, open gains.
            if (ownPawns & FILE_MASK[f]) {
                o -= ROOK_SEMI_OPEN_FILE_OPENING;
                g -= ROOK_SEMI_OPEN_FILE_ENDGAME;
            } else {
                if (!(theirPawns & FILE_MASK[f])) {
                    o += ROOK_OPEN_FILE_OPENING - ROOK_SEMI_OPEN_FILE_OPENING;
                    g += ROOK_OPEN_FILE_ENDGAME - ROOK_SEMI_OPEN_FILE_ENDGAME;
                }
                if (info->kingDanger[e]) {
                    if (f == kingFile)
                        o += ROOK_KING_FILE_OPENING;
                    else if (absolute(f - kingFile) == 1)
                        o += ROOK_SEMI_KING_FILE_OPENING;
                }
            }

            if (squareRank(sq) == SEVENTH_RANK[c] && seventhTarget)
                o += ROOK_7TH_OPENING, g += ROOK_7TH_ENDGAME;
        }

        for (Bitboard pieces = bb[WHITE_QUEEN + c]; pieces;) {
            int sq = bitPopFirst(pieces);
            // The attack set is needed only when the queen's lines pass the king.
            if ((maskQueen[sq] & zone1) && (queenAttacks(sq, occupied) & zone2))
                attackers++, units += KING_ATTACK_UNIT[WHITE_QUEEN];
            int closeness =
                10 - (absolute(squareRank(sq) - kingRank) + absolute(squareFile(sq) - kingFile));
            o += closeness;
            g += closeness;
            if (squareRank(sq) == SEVENTH_RANK[c] && seventhTarget)
                o += QUEEN_7TH_OPENING, g += QUEEN_7TH_ENDGAME;
        }

        o += spaceWeight(space);
        info->kingAttackers[e] = attackers;
        info->kingAttackUnits[e] = units;
        op[c] = o;
        eg[c] = g;
    }

    info->opening += op[WHITE] - op[BLACK];
    info->endgame += eg[WHITE] - eg[BLACK];
}

int shelterFile(const Position* position, int file, int rank, int c) {
    Bitboard pawns = position->bitboard[WHITE_PAWN + c] & FILE_MASK[file];
    int d = 0;
    if (c == WHITE) {
        pawns &= ~Bitboard{0} << (8 * rank);  // level with the king or in front
        if (pawns) d = 7 - squareRank(bitFirst(pawns));
    } else {
        pawns &= rank == 7 ? ~Bitboard{0} : (Bitboard{1} << (8 * (rank + 1))) - 1;
        if (pawns) d = squareRank(highestSquare(pawns));
    }
    return 36 - d * d;
}

int stormFile(const Position* position, int file, int c) {
    Bitboard pawns = position->bitboard[WHITE_PAWN + (c ^ 1)] & FILE_MASK[file];
    if (!pawns) return 0;
    // The most advanced enemy pawn, its rank counted from the enemy's side.
    int v = c == WHITE ? 7 - squareRank(bitFirst(pawns)) : squareRank(highestSquare(pawns));
    switch (v) {
        case 3:
            return STORM_OPENING;
        case 4:
            return 2 * STORM_OPENING;
        case 5:
            return 3 * STORM_OPENING;
        default:
            return 0;
    }
}

namespace {

int stormAround(const Position* position, int file, int c) {
    int s = stormFile(position, file, c);
    if (file > 0) s += stormFile(position, file - 1, c);
    if (file < 7) s += stormFile(position, file + 1, c);
    return s;
}

}  // namespace

int shelterSquare(const Position* position, int sq, int c) {
    int f = squareFile(sq), r = squareRank(sq);
    int s = 2 * shelterFile(position, f, r, c);
    if (f > 0) s += shelterFile(position, f - 1, r, c);
    if (f < 7) s += shelterFile(position, f + 1, r, c);
    // A shelter with every pawn at home still costs a little.
    if (s == 0) s = 11;
    return s + stormAround(position, f, c);
}

void evalKing(const Position* position, EvalInfo* info) {
    const Bitboard* bb = position->bitboard;
    const int32_t* b = position->board;

    // Well-known castled formations need no shelter term.
    if (info->kingDanger[WHITE]) {
        int k = bitFirst(bb[WHITE_KING]);
        if (k == G1 || k == H1) {
            if ((b[G2] == WHITE_PAWN && (b[H2] == WHITE_PAWN || b[H3] == WHITE_PAWN)) ||
                (b[F2] == WHITE_PAWN && b[G3] == WHITE_PAWN && b[H2] == WHITE_PAWN))
                info->kingDanger[WHITE] = 0;
        } else if (k == B1 || k == A1) {
            if ((b[B2] == WHITE_PAWN && (b[A2] == WHITE_PAWN || b[A3] == WHITE_PAWN)) ||
                (b[C2] == WHITE_PAWN && b[B3] == WHITE_PAWN && b[A2] == WHITE_PAWN))
                info->kingDanger[WHITE] = 0;
        }
    }
    if (info->kingDanger[BLACK]) {
        int k = bitFirst(bb[BLACK_KING]);
        if (k == G8 || k == H8) {
            if ((b[G7] == BLACK_PAWN && (b[H7] == BLACK_PAWN || b[H6] == BLACK_PAWN)) ||
                (b[F7] == BLACK_PAWN && b[G6] == BLACK_PAWN && b[H7] == BLACK_PAWN))
                info->kingDanger[BLACK] = 0;
        } else if (k == B8 || k == A8) {
            if ((b[B7] == BLACK_PAWN && (b[A7] == BLACK_PAWN || b[A6] == BLACK_PAWN)) ||
                (b[C7] == BLACK_PAWN && b[B6] == BLACK_PAWN && b[A7] == BLACK_PAWN))
                info->kingDanger[BLACK] = 0;
        }
    }

    int penalty[2];
    for (int c = WHITE; c <= BLACK; c++) {
        int k = bitFirst(bb[WHITE_KING + c]);
        int p = 0;
        if (info->kingDanger[c] && bb[WHITE_QUEEN + (c ^ 1)]) {
            // The shelter now, and the better of now and the castled squares.
            int current = shelterSquare(position, k, c);
            int best = current;
            int kingSide = c == WHITE ? CASTLE_WHITE_KING : CASTLE_BLACK_KING;
            int queenSide = c == WHITE ? CASTLE_WHITE_QUEEN : CASTLE_BLACK_QUEEN;
            if (position->castling & kingSide) {
                int s = shelterSquare(position, c == WHITE ? G1 : G8, c);
                if (s < best) best = s;
            }
            if (position->castling & queenSide) {
                int s = shelterSquare(position, c == WHITE ? B1 : B8, c);
                if (s < best) best = s;
            }
            p = (current + best) / 2 * SHELTER_OPENING / 256;
        }
        // The storm counts whether or not the shelter does (with the shelter,
        // the king's own files count twice).
        p += stormAround(position, squareFile(k), c);

        int count = info->kingAttackers[c] < 15 ? info->kingAttackers[c] : 15;
        p += KING_ATTACK_WEIGHT[count] * info->kingAttackUnits[c] * KING_ATTACK_OPENING / 256;
        penalty[c] = p;
    }

    info->opening += penalty[BLACK] - penalty[WHITE];
}

int unstoppablePasser(const Position* position, int sq, int c) {
    int f = squareFile(sq), r = squareRank(sq);
    // Any own man in front blocks the pawn.
    if (position->bitboard[c] & FILE_MASK[f] & RANKS_AHEAD[c][r]) return 0;
    // From its second rank the pawn gets a double step.
    if (c == WHITE && r == 1) r = 2;
    if (c == BLACK && r == 6) r = 5;
    int moves = c == WHITE ? 7 - r : r;
    int promotion = squareMake(f, c == WHITE ? 7 : 0);
    int d = squareDistance(bitFirst(position->bitboard[WHITE_KING + (c ^ 1)]), promotion);
    if (position->player != c) d--;
    return moves < d;
}

int kingPasser(const Position* position, int sq, int c) {
    int k = bitFirst(position->bitboard[WHITE_KING + c]);
    int kr = squareRank(k);
    if (c == WHITE ? kr < 6 : kr > 1) return 0;
    if (squareDistance(k, sq) != 1) return 0;
    // A rook pawn with its own king in front on the file cannot be escorted.
    int f = squareFile(sq);
    if (squareFile(k) == f && (f == 0 || f == 7)) return 0;
    return 1;
}

void evalPasser(const Position* position, EvalInfo* info) {
    int op[2] = {0, 0}, eg[2] = {0, 0};
    for (int c = WHITE; c <= BLACK; c++) {
        const int e = c ^ 1;
        const int ownKing = bitFirst(position->bitboard[WHITE_KING + c]);
        const int enemyKing = bitFirst(position->bitboard[WHITE_KING + e]);
        for (Bitboard pawns = info->passed[c]; pawns;) {
            int sq = bitPopFirst(pawns);
            int rr = c == WHITE ? squareRank(sq) : 7 - squareRank(sq);
            int bonus = RANK_BONUS[rr];
            op[c] += quad(PASSED_OPENING_MIN, PASSED_OPENING_MAX, rr);
            eg[c] += PASSED_ENDGAME_MIN;
            // Below the fourth rank the scaled part is 0 whatever the kings do.
            if (!bonus) continue;
            int delta = PASSED_ENDGAME_MAX - PASSED_ENDGAME_MIN;
            if (info->pieceMaterial[e] == 0 &&
                (unstoppablePasser(position, sq, c) || kingPasser(position, sq, c)))
                delta += UNSTOPPABLE_PASSER;
            delta -= ATTACKER_DISTANCE * pawnAttDist(sq, ownKing, c);
            delta += DEFENDER_DISTANCE * pawnDefDist(sq, enemyKing, c);
            if (delta > 0) eg[c] += (delta * bonus + 128) / 256;
        }
    }
    info->opening += op[WHITE] - op[BLACK];
    info->endgame += eg[WHITE] - eg[BLACK];
}

int evaluate(const Position* position, int alpha, int beta, int pv) {
    EvalInfo info;
    evalMaterial(position, &info);
    info.opening += position->pvtOpening;
    info.endgame += position->pvtEndgame;
    evalPawns(position, &info);
    if (position->player == WHITE)
        info.opening += TEMPO_OPENING, info.endgame += TEMPO_ENDGAME;
    else
        info.opening -= TEMPO_OPENING, info.endgame -= TEMPO_ENDGAME;
    evalPatterns(position, &info);

    // Lazy evaluation: once a piece has gone, a cheap score far outside the
    // window is good enough.
    if (info.gamePhase > 6 && !pv) {
        int s = taper(info);
        if (position->player == BLACK) s = -s;
        if (s - LAZY_EVAL_MARGIN >= beta || s + LAZY_EVAL_MARGIN <= alpha) return evalBound(s);
    }

    // evalKing reads the attack counts of evalPieces; evalPasser the passed
    // sets of evalPawns.
    evalPieces(position, &info);
    evalKing(position, &info);
    evalPasser(position, &info);

    int s = taper(info);
    return evalBound(position->player == BLACK ? -s : s);
}
