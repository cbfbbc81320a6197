#include <glib.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "base/output.h"
#include "bitbases/egbb.h"
#include "book/book.h"
#include "frontend/datapath.h"
#include "frontend/uci.h"
#include "frontend/ucitext.h"
#include "search/hash.h"
#include "search/threadsearch.h"

EngineOptions options;

namespace {

enum : int {
    OPTION_SPIN = 0,
    OPTION_STRING = 1,
    OPTION_BUTTON = 2,
    OPTION_CHECK = 3,
};

// What a change of each option sets going; options without a handler are read
// when the next search starts.
void threadsChanged() {
    threadsDestroy();
    threadsCreate(options.threads);
}
void hashChanged() {
    hashDestroy();
    hashCreate(options.hashMegabytes);
}
void clearHashPressed() { hashClear(); }
void bookFileChanged() {
    bookClose();
    bookOpen(dataPath(options.bookFile).c_str());
}
void bitbasesChanged() {
    egbbLoad(dataPath(options.bitbasesPath).c_str(), options.bitbasesCacheMegabytes);
}

// One option: its protocol name and type, where its value lives in `options`,
// its default and range, and what a new value sets going.
struct UciOption {
    const char* name;
    int type;
    int* number;        // spin and check options
    char* text;         // string options
    size_t textSize;    // room in `text`, the terminating zero included
    int defaultNumber;  // spin and check options
    const char* defaultText;
    int min, max;
    void (*changed)();  // null: nothing to do beyond storing the value
};

// In the order of the "uci" answer.
const UciOption optionTable[] = {
    {"Ponder", OPTION_CHECK, &options.ponder, nullptr, 0, 0, nullptr, 0, 1, nullptr},
    {"MultiPV", OPTION_SPIN, &options.multiPv, nullptr, 0, 1, nullptr, 1, 20, nullptr},
    {"Threads", OPTION_SPIN, &options.threads, nullptr, 0, 1, nullptr, 1, MAX_SEARCH_THREADS,
     threadsChanged},
    {"Hash", OPTION_SPIN, &options.hashMegabytes, nullptr, 0, 64, nullptr, 1, 4096, hashChanged},
    {"OwnBook", OPTION_CHECK, &options.ownBook, nullptr, 0, 1, nullptr, 0, 1, nullptr},
    {"Book File", OPTION_STRING, nullptr, options.bookFile, sizeof options.bookFile, 0,
     "./performance.bin", 0, 0, bookFileChanged},
    {"Bitbases Path", OPTION_STRING, nullptr, options.bitbasesPath, sizeof options.bitbasesPath, 0,
     "./egbb", 0, 0, bitbasesChanged},
    {"Bitbases Cache Size", OPTION_SPIN, &options.bitbasesCacheMegabytes, nullptr, 0, 16, nullptr,
     1, 256, bitbasesChanged},
    {"Clear Hash", OPTION_BUTTON, nullptr, nullptr, 0, 0, nullptr, 0, 0, clearHashPressed},
    {"UCI_EngineAbout", OPTION_STRING, nullptr, options.engineAbout, sizeof options.engineAbout, 0,
     "https://korvan-chess.org", 0, 0, nullptr},
};

}  // namespace

void uciOptionsInit() {
    for (const UciOption& option : optionTable) {
        if (option.number) *option.number = option.defaultNumber;
        if (option.text) g_strlcpy(option.text, option.defaultText, option.textSize);
    }
}

void uciIdentity() {
    OutBuffer out;
    out.printf("id name %s\n", ENGINE_NAME);
    out.printf("id author %s\n", ENGINE_AUTHOR);
    for (const UciOption& option : optionTable) {
        switch (option.type) {
            case OPTION_SPIN:
                out.printf("option name %s type spin default %i min %i max %i\n", option.name,
                           option.defaultNumber, option.min, option.max);
                break;
            case OPTION_STRING:
                out.printf("option name %s type string default %s\n", option.name,
                           option.defaultText);
                break;
            case OPTION_BUTTON:
                out.printf("option name %s type button\n", option.name);
                break;
            case OPTION_CHECK:
                out.printf("option name %s type check default %s\n", option.name,
                           option.defaultNumber ? "true" : "false");
                break;
        }
    }
    out.printf("uciok\n");
    out.write(true);
}

namespace {

const UciOption* findOption(std::string_view name) {
    for (const UciOption& option : optionTable)
        if (uciWordIs(option.name, name)) return &option;
    return nullptr;
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && uciIsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && uciIsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// An interface may send "setoption" while a search runs, though the protocol
// forbids it. The search reads the hash table, the worker pool, the book and
// the bitbases, so before an option changes any of them the search is ended
// and its move printed, as for a new "go".
void endSearchBeforeChange() {
    ponderSearch.store(0, std::memory_order_relaxed);
    searchStop();
}

// Stores the value in the option; false after an input error, the option
// keeping its old value. `value` is the text after the word "value", null when
// the command has none.
bool storeValue(const UciOption& option, const char* value) {
    switch (option.type) {
        case OPTION_CHECK: {
            const char* s = value ? value : "";
            std::string word(uciNextWord(&s));
            bool on = uciWordIs(word, "true");
            if (!on && !uciWordIs(word, "false")) {
                inputError("Wrong value %s!\n", word.c_str());
                return false;
            }
            endSearchBeforeChange();
            *option.number = on ? 1 : 0;
            outPrintf(true, "info string %s set to %s\n", option.name, word.c_str());
            return true;
        }
        case OPTION_SPIN: {
            const char* s = value ? value : "";
            std::string word(uciNextWord(&s));
            char* end = nullptr;
            errno = 0;
            long long number = strtoll(word.c_str(), &end, 10);
            if (word.empty() || *end || errno == ERANGE) {
                inputError("Wrong value %s!\n", word.c_str());
                return false;
            }
            if (number < option.min || number > option.max) {
                inputError("Wrong uci option value (%s:%lld)\n", option.name, number);
                return false;
            }
            endSearchBeforeChange();
            *option.number = static_cast<int>(number);
            outPrintf(true, "info string %s set to %d\n", option.name, static_cast<int>(number));
            return true;
        }
        case OPTION_STRING: {
            if (!value) {
                inputError("Wrong value %s!\n", "");
                return false;
            }
            std::string_view text = trim(value);
            if (text.size() >= option.textSize) {
                inputError("Wrong value %.*s!\n", static_cast<int>(text.size()), text.data());
                return false;
            }
            endSearchBeforeChange();
            memcpy(option.text, text.data(), text.size());
            option.text[text.size()] = 0;
            return true;
        }
        default:
            endSearchBeforeChange();
            return true;  // a button has no value
    }
}

}  // namespace

void uciSetOption(const char* text) {
    const char* s = text;
    std::string_view word = uciNextWord(&s);
    if (!uciWordIs(word, "name")) return;
    // The name may have several words; they are joined with single blanks.
    std::string name(uciNextWord(&s));
    const char* value = nullptr;
    for (;;) {
        std::string_view next = uciNextWord(&s);
        if (next.empty()) break;
        if (uciWordIs(next, "value")) {
            value = s;
            break;
        }
        name += ' ';
        name += next;
    }
    if (name.empty()) return;

    const UciOption* option = findOption(name);
    if (!option) {
        outPrintf(false, "info wrong uci option name (%s)\n", name.c_str());
        return;
    }
    // The value is checked before anything changes: a refused "Threads" value
    // leaves the pool as it was, so a pool always exists for the next search.
    if (storeValue(*option, value) && option->changed) option->changed();
}
