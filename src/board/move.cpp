#include "board/move.h"

#include "base/output.h"
#include "base/square.h"

void moveToString(Move m, char* out) {
    squareToString(moveFrom(m), out);
    squareToString(moveTo(m), out + 2);
    switch (moveType(m)) {
        case MOVE_PROMOTE_KNIGHT:
            out[4] = 'n';
            break;
        case MOVE_PROMOTE_BISHOP:
            out[4] = 'b';
            break;
        case MOVE_PROMOTE_ROOK:
            out[4] = 'r';
            break;
        case MOVE_PROMOTE_QUEEN:
            out[4] = 'q';
            break;
        case MOVE_NULL:
            out[0] = 'n', out[1] = 'u', out[2] = 'l', out[3] = 'l', out[4] = 0;
            return;
        default:
            out[4] = 0;
            return;
    }
    out[5] = 0;
}

void movePrint(Move m) {
    char text[MOVE_TEXT_SIZE];
    moveToString(m, text);
    outPrintf(true, "%s ", text);
}
