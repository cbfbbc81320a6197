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
extern const Attacks& attacks;

// Whether `square` is attacked by one of the board's men of `colour`.
bool isAttacked(const Board& board, int square, int colour, Bitboard occupied);
// The squares a non-pawn man on `square` attacks with the given occupancy.
Bitboard pieceAttacks(int type, int square, Bitboard occupied);

Bitboard occupancy(const Board& board);
int kingSquare(const Board& board, int colour);
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
inline int transform(int symmetry, int square) {
    if (symmetry & 4) square = (square >> 3) | ((square & 7) << 3);
    if (symmetry & 1) square ^= 7;
    if (symmetry & 2) square ^= 56;
    return square;
}

}  // namespace egbb
