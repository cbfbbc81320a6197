#include "chess.h"

namespace egbb {
namespace {

bool onBoard(int file, int rank) { return file >= 0 && file < 8 && rank >= 0 && rank < 8; }

Bitboard stepAttacks(int square, const int (*steps)[2], int count) {
    Bitboard set = 0;
    for (int i = 0; i < count; ++i) {
        int f = fileOf(square) + steps[i][0], r = rankOf(square) + steps[i][1];
        if (onBoard(f, r)) set |= bit(r * 8 + f);
    }
    return set;
}

Attacks buildAttacks() {
    static const int kingSteps[8][2] = {{1, 0}, {-1, 0}, {0, 1},  {0, -1},
                                        {1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
    static const int knightSteps[8][2] = {{1, 2},   {2, 1},   {2, -1}, {1, -2},
                                          {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}};
    static const int whitePawn[2][2] = {{1, 1}, {-1, 1}}, blackPawn[2][2] = {{1, -1}, {-1, -1}};
    Attacks a{};
    for (int s = 0; s < 64; ++s) {
        a.king[s] = stepAttacks(s, kingSteps, 8);
        a.knight[s] = stepAttacks(s, knightSteps, 8);
        a.pawn[WHITE][s] = stepAttacks(s, whitePawn, 2);
        a.pawn[BLACK][s] = stepAttacks(s, blackPawn, 2);
        for (int d = 0; d < 8; ++d) {
            const int* step = kingSteps[d];
            Bitboard between = 0;
            for (int f = fileOf(s) + step[0], r = rankOf(s) + step[1]; onBoard(f, r);
                 f += step[0], r += step[1]) {
                int t = r * 8 + f;
                a.line[s][t] = between;
                a.aligned[s][t] = 1;
                a.diagonal[s][t] = step[0] != 0 && step[1] != 0;
                a.ray[d][s] |= bit(t);
                between |= bit(t);
            }
        }
    }
    return a;
}

}  // namespace

extern const Attacks attacks = buildAttacks();

bool isLegal(const Board& board) {
    Bitboard seen = 0;
    int kings[2] = {0, 0};
    for (int i = 0; i < board.count; ++i) {
        int s = board.square[i], man = board.man[i];
        if (s > 63 || (seen & bit(s))) return false;
        seen |= bit(s);
        if (typeOf(man) == KING) ++kings[colourOf(man)];
        if (typeOf(man) == PAWN && (rankOf(s) == 0 || rankOf(s) == 7)) return false;
    }
    if (kings[WHITE] != 1 || kings[BLACK] != 1) return false;
    int wk = kingSquare(board, WHITE), bk = kingSquare(board, BLACK);
    if (attacks.king[wk] & bit(bk)) return false;
    int waiting = board.sideToMove ^ 1;
    return !isAttacked(board, waiting == WHITE ? wk : bk, board.sideToMove, seen);
}

}  // namespace egbb
