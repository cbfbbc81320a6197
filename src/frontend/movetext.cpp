#include "frontend/movetext.h"

#include <glib.h>

#include <cstring>

#include "base/output.h"
#include "moves/movedo.h"
#include "moves/picker.h"

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

}  // namespace

Move moveFromText(Position* position, const char* text) {
    MoveList list;
    legalMovesGenerate(position, &list);
    char moveText[MOVE_TEXT_SIZE];
    for (uint32_t i = 0; i < list.count; i++) {
        moveToString(list.moves[i], moveText);
        if (g_ascii_strcasecmp(moveText, text) == 0) return list.moves[i];
    }
    return MOVE_NONE;
}

int stringMovesDo(Position* position, const char* text) {
    const char* s = text;
    // Keeps games of any length within the history stack.
    positionCompactHistory(position);
    for (;;) {
        while (isBlank(*s)) s++;
        if (!*s) return 1;
        const char* word = s;
        while (*s && !isBlank(*s)) s++;
        const int length = static_cast<int>(s - word);

        // A text longer than any move text matches nothing, whatever its length.
        Move found = MOVE_NONE;
        if (length < MOVE_TEXT_SIZE) {
            char candidate[MOVE_TEXT_SIZE];
            memcpy(candidate, word, length);
            candidate[length] = 0;
            found = moveFromText(position, candidate);
        }
        if (!found) {
            positionPrint(position);
            inputError("Can not make move (%.*s)!\n", length, word);
            return 0;
        }
        if (!moveDo(position, found)) {
            positionPrint(position);
            fatalError("Wrong move:%.*s\n", length, word);
        }
        positionCompactHistory(position);
    }
}
