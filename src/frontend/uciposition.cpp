#include <cstring>
#include <string_view>

#include "frontend/uci.h"
#include "moves/movedo.h"

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The next whitespace-delimited word of the text; advances the text past it.
std::string_view nextWord(const char** text) {
    const char* s = *text;
    while (*s && isBlank(*s)) s++;
    const char* start = s;
    while (*s && !isBlank(*s)) s++;
    *text = s;
    return std::string_view(start, static_cast<size_t>(s - start));
}

bool wordIs(std::string_view word, const char* keyword) {
    return word.size() == strlen(keyword) &&
           g_ascii_strncasecmp(word.data(), keyword, word.size()) == 0;
}

}  // namespace

void uciSetPosition(const char* text) {
    const char* s = text;
    std::string_view first = nextWord(&s);
    if (wordIs(first, "startpos")) {
        const char* after = s;
        std::string_view next = nextWord(&after);
        positionStartPosition(position);
        if (wordIs(next, "moves")) stringMovesDo(position, after);
    } else if (wordIs(first, "fen")) {
        // A record that is refused leaves the position as it was; its moves
        // are then not played either.
        if (!positionSetFen(position, s)) return;
        const char* moves = strstr(s, "moves");
        if (moves) stringMovesDo(position, moves + 5);
    }
}
