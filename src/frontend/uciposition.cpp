#include <cstring>
#include <string_view>

#include "frontend/movetext.h"
#include "frontend/uci.h"
#include "frontend/ucitext.h"

void uciSetPosition(const char* text) {
    const char* s = text;
    std::string_view first = uciNextWord(&s);
    if (uciWordIs(first, "startpos")) {
        const char* after = s;
        std::string_view next = uciNextWord(&after);
        positionStartPosition(currentPosition);
        if (uciWordIs(next, "moves")) stringMovesDo(currentPosition, after);
    } else if (uciWordIs(first, "fen")) {
        // A record that is refused leaves the position as it was; its moves
        // are then not played either.
        if (!positionSetFen(currentPosition, s)) return;
        const char* moves = strstr(s, "moves");
        if (moves) stringMovesDo(currentPosition, moves + 5);
    }
}
