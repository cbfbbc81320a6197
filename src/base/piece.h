// Piece codes: 0 and 1 name the colours (and index the colour-union bitboards);
// 2..13 are the men, white even and black odd. On the board 0 means empty.
#pragma once

enum : int {
    WHITE = 0,
    BLACK = 1,
    EMPTY = 0,
    WHITE_PAWN = 2,
    BLACK_PAWN = 3,
    WHITE_KNIGHT = 4,
    BLACK_KNIGHT = 5,
    WHITE_BISHOP = 6,
    BLACK_BISHOP = 7,
    WHITE_ROOK = 8,
    BLACK_ROOK = 9,
    WHITE_QUEEN = 10,
    BLACK_QUEEN = 11,
    WHITE_KING = 12,
    BLACK_KING = 13,
};

inline constexpr int pieceColour(int piece) { return piece & 1; }

// Piece code of a FEN letter, or -1 after the input error "Wrong char (%c)!".
int charToPiece(char c);
