// Moves and moves taken back on the tables' boards, for the generator: moves
// forward are counted, or handed over when they capture or promote (a
// conversion, which leads into another table); a move taken back hands over
// the board before it.
#pragma once

#include "chess.h"

namespace egbb {

inline void removeMan(Board& board, int i) {
    for (int j = i; j + 1 < board.count; ++j) {
        board.man[j] = board.man[j + 1];
        board.square[j] = board.square[j + 1];
    }
    --board.count;
}

inline int manAt(const Board& board, int square) {
    for (int i = 0; i < board.count; ++i)
        if (board.square[i] == square) return i;
    return -1;
}

// The generator's forward pass over the legal moves of the side to move: the
// moves that neither capture nor promote are only counted, the others handed
// over as the boards after them. A man that is not pinned, with its king not
// in check, moves legally, so most moves need no test.
template <class Visit>
int countQuietMoves(const Board& board, Visit&& visitConversion) {
    const int side = board.sideToMove, enemy = side ^ 1;
    const Bitboard occupied = occupancy(board);
    Bitboard own = 0;
    for (int i = 0; i < board.count; ++i)
        if (colourOf(board.man[i]) == side) own |= bit(board.square[i]);
    const int king = kingSquare(board, side);
    const bool checked = isAttacked(board, king, enemy, occupied);
    Bitboard pinned = 0;
    for (int i = 0; i < board.count && !checked; ++i) {
        int man = board.man[i], from = board.square[i], type = typeOf(man);
        if (colourOf(man) != enemy || type < BISHOP || type > QUEEN) continue;
        if (!attacks.aligned[king][from]) continue;
        bool diagonal = attacks.diagonal[king][from];
        if ((type == BISHOP && !diagonal) || (type == ROOK && diagonal)) continue;
        Bitboard between = attacks.line[king][from] & occupied;
        if (between && !(between & (between - 1)) && (between & own)) pinned |= between;
    }
    int quiet = 0;
    // `sure`: the move cannot leave the king attacked.
    auto play = [&](int i, int to, int newType, bool sure) {
        int victim = manAt(board, to);
        bool conversion = victim >= 0 || newType != 0;
        if (sure && !conversion) {
            ++quiet;
            return;
        }
        Board child = board;
        child.square[i] = uint8_t(to);
        if (newType) child.man[i] = uint8_t(newType | side << 3);
        if (victim >= 0) removeMan(child, victim);
        child.sideToMove = enemy;
        if (!sure && isAttacked(child, kingSquare(child, side), enemy, occupancy(child))) return;
        if (conversion)
            visitConversion(child);
        else
            ++quiet;
    };
    for (int i = 0; i < board.count; ++i) {
        int man = board.man[i], from = board.square[i];
        if (colourOf(man) != side) continue;
        const bool sure = typeOf(man) != KING && !checked && !(pinned & bit(from));
        if (typeOf(man) != PAWN) {
            Bitboard targets = pieceAttacks(typeOf(man), from, occupied) & ~own;
            if (sure) {
                quiet += __builtin_popcountll(targets & ~occupied);
                targets &= occupied;
            }
            for (; targets; targets &= targets - 1) play(i, __builtin_ctzll(targets), 0, sure);
            continue;
        }
        int forward = side == WHITE ? 8 : -8, last = side == WHITE ? 7 : 0;
        Bitboard targets = attacks.pawn[side][from] & occupied & ~own;
        int one = from + forward;
        if (!(occupied & bit(one))) {
            targets |= bit(one);
            int two = one + forward;
            if (rankOf(from) == (side == WHITE ? 1 : 6) && !(occupied & bit(two)))
                play(i, two, 0, sure);
        }
        for (; targets; targets &= targets - 1) {
            int to = __builtin_ctzll(targets);
            if (rankOf(to) != last) {
                play(i, to, 0, sure);
                continue;
            }
            for (int type = QUEEN; type >= KNIGHT; --type) play(i, to, type, sure);
        }
    }
    return quiet;
}

// Every legal board from which the side that just moved (not the side to
// move) reached this one by a move that neither captured nor promoted.
template <class Visit>
void forEachMoveBack(const Board& board, Visit&& visit) {
    const int mover = board.sideToMove ^ 1;
    const Bitboard occupied = occupancy(board);
    auto take = [&](int i, int from) {
        Board before = board;
        before.square[i] = uint8_t(from);
        before.sideToMove = mover;
        if (isAttacked(before, kingSquare(before, mover ^ 1), mover,
                       occupied ^ bit(board.square[i]) ^ bit(from)))
            return;
        visit(before);
    };
    for (int i = 0; i < board.count; ++i) {
        int man = board.man[i], to = board.square[i];
        if (colourOf(man) != mover) continue;
        if (typeOf(man) != PAWN) {
            for (Bitboard f = pieceAttacks(typeOf(man), to, occupied) & ~occupied; f; f &= f - 1)
                take(i, __builtin_ctzll(f));
            continue;
        }
        int back = mover == WHITE ? -8 : 8;
        int rank = mover == WHITE ? rankOf(to) : 7 - rankOf(to);  // from the mover's side
        if (rank < 2 || (occupied & bit(to + back))) continue;
        take(i, to + back);
        if (rank == 3 && !(occupied & bit(to + 2 * back))) take(i, to + 2 * back);
    }
}

}  // namespace egbb
