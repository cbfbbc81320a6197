// Reading protocol text: words separated by white space, keywords compared
// ignoring ASCII case. Words of any length are read without copying.
#pragma once

#include <glib.h>

#include <string_view>

inline bool uciIsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// The next word of the text (empty at its end); advances the text past it.
inline std::string_view uciNextWord(const char** text) {
    const char* s = *text;
    while (*s && uciIsBlank(*s)) s++;
    const char* start = s;
    while (*s && !uciIsBlank(*s)) s++;
    *text = s;
    return std::string_view(start, static_cast<size_t>(s - start));
}

// Whether the two texts are equal, ASCII case ignored.
inline bool uciWordIs(std::string_view word, std::string_view keyword) {
    return word.size() == keyword.size() &&
           g_ascii_strncasecmp(word.data(), keyword.data(), word.size()) == 0;
}
