#include "base/bit.h"

#include "base/output.h"

void chessBitPrint(Bitboard b) {
    char picture[8 * 9 + 1];
    int n = 0;
    for (int rank = 7; rank >= 0; rank--) {
        for (int file = 0; file < 8; file++)
            picture[n++] = (b >> (rank * 8 + file)) & 1 ? '1' : '0';
        if (rank > 0) picture[n++] = '\n';
    }
    picture[n] = 0;
    outPrintf(true, "%s\n\n", picture);
}
