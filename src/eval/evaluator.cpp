#include "eval/evaluator.h"

#include <array>

#include "eval/pawntable.h"
#include "tables/init.h"
#include "tables/magic.h"

namespace {

// Pawn structure weights (opening / endgame).
constexpr int DoubledOpening = 10;
constexpr int DoubledEndgame = 20;
constexpr int IsolatedOpening = 10;
constexpr int IsolatedOpeningOpen = 20;
constexpr int IsolatedEndgame = 20;
constexpr int BackwardOpening = 8;
constexpr int BackwardOpeningOpen = 16;
constexpr int BackwardEndgame = 10;
constexpr int CandidateOpeningMin = 5;
constexpr int CandidateOpeningMax = 55;
constexpr int CandidateEndgameMin = 10;
constexpr int CandidateEndgameMax = 110;

// Piece weights.
constexpr int KnightUnit = 4;
constexpr int KnightMobOpening = 4;
constexpr int KnightMobEndgame = 4;
constexpr int BishopUnit = 6;
constexpr int BishopMobOpening = 5;
constexpr int BishopMobEndgame = 5;
constexpr int RookUnit = 7;
constexpr int RookMobOpening = 2;
constexpr int RookMobEndgame = 4;
constexpr int RookSemiOpenFileOpening = 10;
constexpr int RookSemiOpenFileEndgame = 10;
constexpr int RookOpenFileOpening = 20;
constexpr int RookOpenFileEndgame = 20;
constexpr int RookKingFileOpening = 20;
constexpr int RookSemiKingFileOpening = 10;
constexpr int Rook7thOpening = 20;
constexpr int Rook7thEndgame = 40;
constexpr int Queen7thOpening = 10;
constexpr int Queen7thEndgame = 20;

// Pattern penalties.
constexpr int BlockedCenterPawn = 10;
constexpr int TrappedBishop = 100;
constexpr int BlockedBishop = 50;
constexpr int BlockedRook = 50;

// King safety.
constexpr int ShelterOpening = 256;  // 256 = full weight
constexpr int StormOpening = 10;
constexpr int KingAttackOpening = 20;
constexpr int KingAttackWeight[16] = {0,   0,   128, 192, 224, 240, 248, 252,
                                      254, 255, 256, 256, 256, 256, 256, 256};

// Passed pawns.
constexpr int PassedOpeningMin = 10;
constexpr int PassedOpeningMax = 70;
constexpr int PassedEndgameMin = 20;
constexpr int PassedEndgameMax = 140;
constexpr int UnstoppablePasser = 800;
constexpr int AttackerDistance = 5;
constexpr int DefenderDistance = 20;

// King-attack units by piece code: knights and bishops 1, rooks 2, queens 4.
constexpr int KingAttackUnit[14] = {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 4, 4, 0, 0};

constexpr Bitboard fileMask(int f) { return 0x0101010101010101ULL << f; }
constexpr Bitboard rankMask(int r) { return r < 0 || r > 7 ? 0 : 0xffULL << (8 * r); }

constexpr std::array<Bitboard, 8> BFILE = [] {
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

constexpr std::array<std::array<int, 64>, 2> KnightOutpostMatrix = [] {
    std::array<std::array<int, 64>, 2> t{};
    for (int sq = 0; sq < 64; sq++) {
        t[WHITE][sq] = WHITE_OUTPOST[sq];
        t[BLACK][sq] = WHITE_OUTPOST[sq ^ 56];
    }
    return t;
}();

constexpr int Get_Rank_7[2] = {6, 1};
constexpr int Get_Rank_8[2] = {7, 0};
constexpr Bitboard GET_RANK_7[2] = {0x00ff000000000000ULL, 0x000000000000ff00ULL};
constexpr Bitboard ENEMY_HALF[2] = {0xffffffff00000000ULL, 0x00000000ffffffffULL};

inline int absolute(int x) { return x < 0 ? -x : x; }
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

    info->pieceMaterial[WHITE] = KnightValueOpening * wN + BishopValueOpening * wB +
                                 RookValueOpening * wR + QueenValueOpening * wQ;
    info->pieceMaterial[BLACK] = KnightValueOpening * bN + BishopValueOpening * bB +
                                 RookValueOpening * bR + QueenValueOpening * bQ;

    info->opening =
        PawnValueOpening * (wP - bP) + info->pieceMaterial[WHITE] - info->pieceMaterial[BLACK];
    info->endgame =
        PawnValueEndgame * (wP - bP) + info->pieceMaterial[WHITE] - info->pieceMaterial[BLACK];

    // Two bishops make a pair even when a promotion put both on one colour.
    if (wB >= 2) info->opening += BishopPairOpening, info->endgame += BishopPairEndgame;
    if (bB >= 2) info->opening -= BishopPairOpening, info->endgame -= BishopPairEndgame;
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
            bool doubled = mine & BFILE[f] & (bitOf(sq) - 1);
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
                    if (!(all & BFILE[f] & path) && !attackers) backward = false;
                }
            }

            bool open = !(all & BFILE[f] & ahead);
            bool isPassed = open && !(theirs & adjacentFiles & ahead);
            bool candidate = false;
            if (open && !isPassed) {
                int a = bitCount(adjacent & ~ahead);
                int b = bitCount(theirs & adjacentFiles & ahead);
                int defenders = bitCount(adjacent & rankMask(r - forward));
                int attackers = bitCount(theirs & adjacentFiles & nextRank);
                candidate = a >= b && defenders >= attackers;
            }

            if (doubled) op[c] -= DoubledOpening, eg[c] -= DoubledEndgame;
            if (isolated) {
                op[c] -= open ? IsolatedOpeningOpen : IsolatedOpening;
                eg[c] -= IsolatedEndgame;
            } else if (backward) {
                op[c] -= open ? BackwardOpeningOpen : BackwardOpening;
                eg[c] -= BackwardEndgame;
            }
            if (candidate) {
                op[c] += quad(CandidateOpeningMin, CandidateOpeningMax, rr);
                eg[c] += quad(CandidateEndgameMin, CandidateEndgameMax, rr);
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
        op -= BlockedCenterPawn;
        if (b[C1] == WHITE_BISHOP) op -= BlockedBishop;
    }
    if (b[E2] == WHITE_PAWN && b[E3] != EMPTY) {
        op -= BlockedCenterPawn;
        if (b[F1] == WHITE_BISHOP) op -= BlockedBishop;
    }
    if (b[D7] == BLACK_PAWN && b[D6] != EMPTY) {
        op += BlockedCenterPawn;
        if (b[C8] == BLACK_BISHOP) op += BlockedBishop;
    }
    if (b[E7] == BLACK_PAWN && b[E6] != EMPTY) {
        op += BlockedCenterPawn;
        if (b[F8] == BLACK_BISHOP) op += BlockedBishop;
    }

    // Bishops that took a rook pawn and are shut in by the next pawn.
    if ((b[A7] == WHITE_BISHOP && b[B6] == BLACK_PAWN) ||
        (b[B8] == WHITE_BISHOP && b[C7] == BLACK_PAWN))
        op -= TrappedBishop, eg -= TrappedBishop;
    if ((b[H7] == WHITE_BISHOP && b[G6] == BLACK_PAWN) ||
        (b[G8] == WHITE_BISHOP && b[F7] == BLACK_PAWN))
        op -= TrappedBishop, eg -= TrappedBishop;
    if ((b[A2] == BLACK_BISHOP && b[B3] == WHITE_PAWN) ||
        (b[B1] == BLACK_BISHOP && b[C2] == WHITE_PAWN))
        op += TrappedBishop, eg += TrappedBishop;
    if ((b[H2] == BLACK_BISHOP && b[G3] == WHITE_PAWN) ||
        (b[G1] == BLACK_BISHOP && b[F2] == WHITE_PAWN))
        op += TrappedBishop, eg += TrappedBishop;
    if (b[A6] == WHITE_BISHOP && b[B5] == BLACK_PAWN)
        op -= TrappedBishop / 2, eg -= TrappedBishop / 2;
    if (b[H6] == WHITE_BISHOP && b[G5] == BLACK_PAWN)
        op -= TrappedBishop / 2, eg -= TrappedBishop / 2;
    if (b[A3] == BLACK_BISHOP && b[B4] == WHITE_PAWN)
        op += TrappedBishop / 2, eg += TrappedBishop / 2;
    if (b[H3] == BLACK_BISHOP && b[G4] == WHITE_PAWN)
        op += TrappedBishop / 2, eg += TrappedBishop / 2;

    // Rooks shut in by their own king, which walked over without castling.
    if ((b[C1] == WHITE_KING || b[B1] == WHITE_KING) &&
        (b[A1] == WHITE_ROOK || b[A2] == WHITE_ROOK || b[B1] == WHITE_ROOK))
        op -= BlockedRook;
    if ((b[F1] == WHITE_KING || b[G1] == WHITE_KING) &&
        (b[H1] == WHITE_ROOK || b[H2] == WHITE_ROOK || b[G1] == WHITE_ROOK))
        op -= BlockedRook;
    if ((b[C8] == BLACK_KING || b[B8] == BLACK_KING) &&
        (b[A8] == BLACK_ROOK || b[A7] == BLACK_ROOK || b[B8] == BLACK_ROOK))
        op += BlockedRook;
    if ((b[F8] == BLACK_KING || b[G8] == BLACK_KING) &&
        (b[H8] == BLACK_ROOK || b[H7] == BLACK_ROOK || b[G8] == BLACK_ROOK))
        op += BlockedRook;

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
        const bool seventhTarget = (theirPawns & GET_RANK_7[c]) || kingRank == Get_Rank_8[c];
        int attackers = 0, units = 0;
        int o = 0, g = 0;

        int space = bitCount((bb[WHITE_KNIGHT + c] | bb[WHITE_BISHOP + c] | bb[WHITE_ROOK + c] |
                              bb[WHITE_QUEEN + c]) &
                             ENEMY_HALF[c]);

        for (Bitboard pieces = bb[WHITE_KNIGHT + c]; pieces;) {
            int sq = bitPopFirst(pieces);
            Bitboard a = attackKnight[sq];
            if (a & zone1) attackers++, units += KingAttackUnit[WHITE_KNIGHT];
            int m = bitCount(a & targets) - KnightUnit;
            o += KnightMobOpening * m;
            g += KnightMobEndgame * m;
            // Supported from behind by pawns (the squares a pawn of the other
            // colour on sq would attack).
            if (int outpost = KnightOutpostMatrix[c][sq])
                o += outpost * bitCount(attackPawn[e][sq] & ownPawns);
        }

        for (Bitboard pieces = bb[WHITE_BISHOP + c]; pieces;) {
            int sq = bitPopFirst(pieces);
            Bitboard a = bishopAttacks(sq, occupied);
            if ((maskBishop[sq] & zone1) && (a & zone2))
                attackers++, units += KingAttackUnit[WHITE_BISHOP];
            int m = bitCount(a & targets) - BishopUnit;
            o += BishopMobOpening * m;
            g += BishopMobEndgame * m;
        }

        for (Bitboard pieces = bb[WHITE_ROOK + c]; pieces;) {
            int sq = bitPopFirst(pieces);
            int f = squareFile(sq);
            Bitboard a = rookAttacks(sq, occupied);
            if ((maskRook[sq] & zone1) && (a & zone2))
                attackers++, units += KingAttackUnit[WHITE_ROOK];
            int m = bitCount(a & targets) - RookUnit;
            o += RookMobOpening * m;
            g += RookMobEndgame * m;

            // Scored against a semi-open file: closed loses, open gains.
            if (ownPawns & BFILE[f]) {
                o -= RookSemiOpenFileOpening;
                g -= RookSemiOpenFileEndgame;
            } else {
                if (!(theirPawns & BFILE[f])) {
                    o += RookOpenFileOpening - RookSemiOpenFileOpening;
                    g += RookOpenFileEndgame - RookSemiOpenFileEndgame;
                }
                if (info->kingDanger[e]) {
                    if (f == kingFile)
                        o += RookKingFileOpening;
                    else if (absolute(f - kingFile) == 1)
                        o += RookSemiKingFileOpening;
                }
            }

            if (squareRank(sq) == Get_Rank_7[c] && seventhTarget)
                o += Rook7thOpening, g += Rook7thEndgame;
        }

        for (Bitboard pieces = bb[WHITE_QUEEN + c]; pieces;) {
            int sq = bitPopFirst(pieces);
            // The attack set is needed only when the queen's lines pass the king.
            if ((maskQueen[sq] & zone1) && (queenAttacks(sq, occupied) & zone2))
                attackers++, units += KingAttackUnit[WHITE_QUEEN];
            int closeness =
                10 - (absolute(squareRank(sq) - kingRank) + absolute(squareFile(sq) - kingFile));
            o += closeness;
            g += closeness;
            if (squareRank(sq) == Get_Rank_7[c] && seventhTarget)
                o += Queen7thOpening, g += Queen7thEndgame;
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
    Bitboard pawns = position->bitboard[WHITE_PAWN + c] & BFILE[file];
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
    Bitboard pawns = position->bitboard[WHITE_PAWN + (c ^ 1)] & BFILE[file];
    if (!pawns) return 0;
    // The most advanced enemy pawn, its rank counted from the enemy's side.
    int v = c == WHITE ? 7 - squareRank(bitFirst(pawns)) : squareRank(highestSquare(pawns));
    switch (v) {
        case 3:
            return StormOpening;
        case 4:
            return 2 * StormOpening;
        case 5:
            return 3 * StormOpening;
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
            p = (current + best) / 2 * ShelterOpening / 256;
        }
        // The storm counts whether or not the shelter does (with the shelter,
        // the king's own files count twice).
        p += stormAround(position, squareFile(k), c);

        int count = info->kingAttackers[c] < 15 ? info->kingAttackers[c] : 15;
        p += KingAttackWeight[count] * info->kingAttackUnits[c] * KingAttackOpening / 256;
        penalty[c] = p;
    }

    info->opening += penalty[BLACK] - penalty[WHITE];
}

int unstoppablePasser(const Position* position, int sq, int c) {
    int f = squareFile(sq), r = squareRank(sq);
    // Any own man in front blocks the pawn.
    if (position->bitboard[c] & BFILE[f] & RANKS_AHEAD[c][r]) return 0;
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
            int bonus = Bonus[rr];
            op[c] += quad(PassedOpeningMin, PassedOpeningMax, rr);
            eg[c] += PassedEndgameMin;
            // Below the fourth rank the scaled part is 0 whatever the kings do.
            if (!bonus) continue;
            int delta = PassedEndgameMax - PassedEndgameMin;
            if (info->pieceMaterial[e] == 0 &&
                (unstoppablePasser(position, sq, c) || kingPasser(position, sq, c)))
                delta += UnstoppablePasser;
            delta -= AttackerDistance * pawnAttDist(sq, ownKing, c);
            delta += DefenderDistance * pawnDefDist(sq, enemyKing, c);
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
        info.opening += TempoOpening, info.endgame += TempoEndgame;
    else
        info.opening -= TempoOpening, info.endgame -= TempoEndgame;
    evalPatterns(position, &info);

    // Lazy evaluation: once a piece has gone, a cheap score far outside the
    // window is good enough.
    if (info.gamePhase > 6 && !pv) {
        int s = taper(info);
        if (position->player == BLACK) s = -s;
        if (s - lazyEvalMargin >= beta || s + lazyEvalMargin <= alpha) return s;
    }

    // evalKing reads the attack counts of evalPieces; evalPasser the passed
    // sets of evalPawns.
    evalPieces(position, &info);
    evalKing(position, &info);
    evalPasser(position, &info);

    int s = taper(info);
    return position->player == BLACK ? -s : s;
}
