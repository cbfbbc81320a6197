// The little chess the endgame tables need: squares, men, attacks and the eight
// symmetries of the board. It stands apart from the engine so that the library
// and its generator carry no engine code.
#pragma once

#include <cstdint>

namespace egbb {

using Bitboard = uint64_t;

// Piece types; a man is type | colour << 3 (white 0, black 1).
enum : int { PAWN = 1, KNIGHT = 2, BISHOP = 3, ROOK = 4, QUEEN = 5, KING = 6 };
constexpr int WHITE = 0, BLACK = 1;
constexpr int MAX_MEN = 5;

inline int fileOf(int square) { return square & 7; }
inline int rankOf(int square) { return square >> 3; }
inline Bitboard bit(int square) { return Bitboard{1} << square; }
inline int typeOf(int man) { return man & 7; }
inline int colourOf(int man) { return man >> 3; }

// A position as the tables see it: the men (kings included) on their squares
// and the side to move; no castling, no en passant, no move counters.
struct Board {
    int count = 0;
    uint8_t man[MAX_MEN] = {};
    uint8_t square[MAX_MEN] = {};
    int sideToMove = WHITE;
};

struct Attacks {
    Bitboard king[64], knight[64], pawn[2][64];
    Bitboard line[64][64];     // the squares strictly between two aligned squares
    Bitboard aligned[64][64];  // non-zero when a slider could go from one to the other
    uint8_t diagonal[64][64];  // 1 when the two squares share a diagonal
    Bitboard ray[8][64];       // from a square to the edge, one of eight directions
};
extern const Attacks attacks;

// The squares a non-pawn man on `square` attacks with the given occupancy.
inline Bitboard pieceAttacks(int type, int square, Bitboard occupied) {
    if (type == KING) return attacks.king[square];
    if (type == KNIGHT) return attacks.knight[square];
    // Directions 0-3 go along files and ranks (upward first), 4-7 along
    // diagonals; a ray stops at its first man, found from the end nearest the
    // square.
    Bitboard set = 0;
    for (int d = type == BISHOP ? 4 : 0; d < (type == ROOK ? 4 : 8); ++d) {
        Bitboard ray = attacks.ray[d][square], blockers = ray & occupied;
        if (blockers) {
            int first = d % 2 == 0 ? __builtin_ctzll(blockers) : 63 - __builtin_clzll(blockers);
            ray ^= attacks.ray[d][first];
        }
        set |= ray;
    }
    return set;
}

// Whether a slider of `type` on `from` reaches `to` past `occupied`.
inline bool sliderReaches(int type, int from, int to, Bitboard occupied) {
    if (!attacks.aligned[from][to]) return false;
    bool diagonal = attacks.diagonal[from][to];
    if ((type == BISHOP && !diagonal) || (type == ROOK && diagonal)) return false;
    return (attacks.line[from][to] & occupied) == 0;
}

// Whether `square` is attacked by one of the board's men of `colour`.
inline bool isAttacked(const Board& board, int square, int colour, Bitboard occupied) {
    for (int i = 0; i < board.count; ++i) {
        int man = board.man[i], from = board.square[i];
        if (colourOf(man) != colour || from == square) continue;
        switch (typeOf(man)) {
            case KING:
                if (attacks.king[from] & bit(square)) return true;
                break;
            case KNIGHT:
                if (attacks.knight[from] & bit(square)) return true;
                break;
            case PAWN:
                if (attacks.pawn[colour][from] & bit(square)) return true;
                break;
            default:
                if (sliderReaches(typeOf(man), from, square, occupied)) return true;
        }
    }
    return false;
}

inline Bitboard occupancy(const Board& board) {
    Bitboard set = 0;
    for (int i = 0; i < board.count; ++i) set |= bit(board.square[i]);
    return set;
}

inline int kingSquare(const Board& board, int colour) {
    for (int i = 0; i < board.count; ++i)
        if (board.man[i] == (KING | colour << 3)) return board.square[i];
    return -1;
}

inline bool inCheck(const Board& board, int colour) {
    return isAttacked(board, kingSquare(board, colour), colour ^ 1, occupancy(board));
}
// Both kings present and apart, no two men on a square, no pawn on its first or
// last rank, and the side that is not to move not in check.
bool isLegal(const Board& board);

// The same position with the colours exchanged (and the board turned over).
inline Board flipColours(const Board& board) {
    Board flipped = board;
    for (int i = 0; i < board.count; ++i) {
        flipped.man[i] = uint8_t(board.man[i] ^ 8);
        flipped.square[i] = uint8_t(board.square[i] ^ 56);
    }
    flipped.sideToMove = board.sideToMove ^ 1;
    return flipped;
}

// The eight symmetries: bit 2 swaps files and ranks (the a1-h8 diagonal), then
// bit 0 mirrors the files and bit 1 the ranks.
constexpr int transform(int symmetry, int square) {
    if (symmetry & 4) square = (square >> 3) | ((square & 7) << 3);
    if (symmetry & 1) square ^= 7;
    if (symmetry & 2) square ^= 56;
    return square;
}

}  // namespace egbb
