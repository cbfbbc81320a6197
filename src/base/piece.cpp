#include "base/piece.h"

#include "base/output.h"

int charToPiece(char c) {
    switch (c) {
        case 'P':
            return WHITE_PAWN;
        case 'p':
            return BLACK_PAWN;
        case 'N':
            return WHITE_KNIGHT;
        case 'n':
            return BLACK_KNIGHT;
        case 'B':
            return WHITE_BISHOP;
        case 'b':
            return BLACK_BISHOP;
        case 'R':
            return WHITE_ROOK;
        case 'r':
            return BLACK_ROOK;
        case 'Q':
            return WHITE_QUEEN;
        case 'q':
            return BLACK_QUEEN;
        case 'K':
            return WHITE_KING;
        case 'k':
            return BLACK_KING;
        default:
            inputError("Wrong char (%c)!\n", c);
            return -1;
    }
}
