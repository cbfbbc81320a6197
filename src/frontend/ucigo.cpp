#include <glib.h>

#include <cstring>

#include "frontend/uci.h"
#include "search/startsearch.h"

namespace {

// The first occurrence of the keyword in the text, ASCII case ignored.
const char* findKeyword(const char* text, const char* keyword) {
    size_t n = strlen(keyword);
    for (const char* s = text; *s; s++)
        if (g_ascii_strncasecmp(s, keyword, n) == 0) return s;
    return nullptr;
}

// The number after the keyword: 0 when there is none or it is negative (some
// interfaces send a clock that has run below zero), the largest value when it
// does not fit.
uint64_t readNumber(const char* text, const char* keyword, uint64_t largest) {
    const char* s = findKeyword(text, keyword);
    if (!s) return 0;
    s += strlen(keyword);
    while (*s == ' ' || *s == '\t') s++;
    if (*s == '-') return 0;
    if (*s == '+') s++;
    uint64_t value = 0;
    for (; *s >= '0' && *s <= '9'; s++) {
        uint64_t digit = static_cast<uint64_t>(*s - '0');
        if (value > (largest - digit) / 10) return largest;
        value = value * 10 + digit;
    }
    return value;
}

uint32_t readNumber32(const char* text, const char* keyword) {
    return static_cast<uint32_t>(readNumber(text, keyword, UINT32_MAX));
}

}  // namespace

bool uciParseGo(const char* text, SearchParameter* parameter) {
    *parameter = SearchParameter{};
    parameter->depth = readNumber32(text, "depth");
    parameter->movetime = readNumber32(text, "movetime");
    parameter->nodes = readNumber(text, "nodes", UINT64_MAX);
    parameter->wtime = readNumber32(text, "wtime");
    parameter->btime = readNumber32(text, "btime");
    parameter->winc = readNumber32(text, "winc");
    parameter->binc = readNumber32(text, "binc");
    parameter->movestogo = readNumber32(text, "movestogo");
    parameter->infinite = findKeyword(text, "infinite") != nullptr;
    parameter->mate = findKeyword(text, "mate") != nullptr;
    return findKeyword(text, "ponder") != nullptr;
}

void uciGo(const char* text) {
    SearchParameter parameter;
    bool pondering = uciParseGo(text, &parameter);

    // Stop the running search and wait for its move before the new one starts.
    ponderSearch.store(0, std::memory_order_relaxed);
    searchStop();
    ponderSearch.store(pondering, std::memory_order_relaxed);

    SearchLimits limits = searchLimits(currentPosition, parameter, pondering);
    limits.lines = options.multiPv;
    limits.useBook = options.ownBook != 0;
    searchStart(currentPosition, limits, &uciReport);
}
