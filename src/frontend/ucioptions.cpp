#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "bitbases/egbb.h"
#include "book/book.h"
#include "frontend/output.h"
#include "frontend/uci.h"
#include "frontend/ucitext.h"
#include "search/hash.h"
#include "search/search.h"
#include "search/threadsearch.h"

char uciAbout[ABOUT_TEXT_SIZE] = "https://korvan-chess.org";

namespace {

GList* uciOption = nullptr;

UciOption* optionNew(const char* name, int type, void* target) {
    UciOption* option = g_new0(UciOption, 1);
    g_strlcpy(option->name, name, sizeof option->name);
    option->type = type;
    option->target = target;
    uciOption = g_list_append(uciOption, option);
    return option;
}

}  // namespace

void uciAddSpinOption(const char* name, int min, int max, int* target) {
    UciOption* option = optionNew(name, OPTION_SPIN, target);
    option->value = *target;
    option->min = min;
    option->max = max;
}

void uciAddCheckOption(const char* name, int defaultValue, int* target) {
    UciOption* option = optionNew(name, OPTION_CHECK, target);
    option->value = defaultValue;
    *target = defaultValue;
}

void uciAddStringOption(const char* name, const char* defaultText, char* target, int size) {
    UciOption* option = optionNew(name, OPTION_STRING, target);
    g_strlcpy(option->text, defaultText, sizeof option->text);
    if (target != defaultText) g_strlcpy(target, defaultText, static_cast<gsize>(size));
}

void uciAddButtonOption(const char* name) { optionNew(name, OPTION_BUTTON, nullptr); }

void uciOptionsInit() {
    uciAddCheckOption("Ponder", ponder, &ponder);
    uciAddSpinOption("MultiPV", 1, 20, &searchMultipv);
    searchThreads = 1;
    uciAddSpinOption("Threads", 1, MAX_SEARCH_THREADS, &searchThreads);
    uciAddSpinOption("Hash", 1, 4096, &hashSize);
    uciAddCheckOption("OwnBook", ownBook, &ownBook);
    uciAddStringOption("Book File", bookPath, bookPath, sizeof bookPath);
    uciAddStringOption("Bitbases Path", bitbasesPath, bitbasesPath, sizeof bitbasesPath);
    uciAddSpinOption("Bitbases Cache Size", 1, 256, &egbbCacheSize);
    uciAddButtonOption("Clear Hash");
    uciAddStringOption("UCI_EngineAbout", uciAbout, uciAbout, sizeof uciAbout);
}

void uciOptionsFree() {
    g_list_free_full(uciOption, g_free);
    uciOption = nullptr;
}

void uciIdentity() {
    OutBuffer out;
    out.printf("id name %s\n", ENGINE_NAME);
    out.printf("id author %s\n", ENGINE_AUTHOR);
    for (GList* cell = uciOption; cell; cell = cell->next) {
        const UciOption* option = static_cast<const UciOption*>(cell->data);
        switch (option->type) {
            case OPTION_SPIN:
                out.printf("option name %s type spin default %i min %i max %i\n", option->name,
                           option->value, option->min, option->max);
                break;
            case OPTION_STRING:
                out.printf("option name %s type string default %s\n", option->name, option->text);
                break;
            case OPTION_BUTTON:
                out.printf("option name %s type button\n", option->name);
                break;
            case OPTION_CHECK:
                out.printf("option name %s type check default %s\n", option->name,
                           option->value ? "true" : "false");
                break;
        }
    }
    out.printf("uciok\n");
    out.write(true);
}

namespace {

UciOption* findOption(std::string_view name) {
    for (GList* cell = uciOption; cell; cell = cell->next) {
        UciOption* option = static_cast<UciOption*>(cell->data);
        if (uciWordIs(option->name, name)) return option;
    }
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

// Applies the value to the option; false after an input error, the option
// keeping its old value. `value` is the text after the word "value", null when
// the command has none.
bool applyValue(UciOption* option, const char* value) {
    switch (option->type) {
        case OPTION_CHECK: {
            const char* s = value ? value : "";
            std::string word(uciNextWord(&s));
            bool on = uciWordIs(word, "true");
            if (!on && !uciWordIs(word, "false")) {
                inputError("Wrong value %s!\n", word.c_str());
                return false;
            }
            endSearchBeforeChange();
            *static_cast<int*>(option->target) = on ? 1 : 0;
            outPrintf(true, "info string %s set to %s\n", option->name, word.c_str());
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
            if (number < option->min || number > option->max) {
                inputError("Wrong uci option value (%s:%lld)\n", option->name, number);
                return false;
            }
            endSearchBeforeChange();
            // The worker pool is rebuilt only once the new count is known to be good.
            bool threads = option->target == &searchThreads;
            if (threads) threadsDestroy();
            *static_cast<int*>(option->target) = static_cast<int>(number);
            if (threads) threadsCreate();
            outPrintf(true, "info string %s set to %d\n", option->name, static_cast<int>(number));
            return true;
        }
        case OPTION_STRING: {
            if (!value) {
                inputError("Wrong value %s!\n", "");
                return false;
            }
            std::string_view text = trim(value);
            int size = option->target == uciAbout ? ABOUT_TEXT_SIZE : OPTION_TEXT_SIZE;
            if (text.size() >= static_cast<size_t>(size)) {
                inputError("Wrong value %.*s!\n", static_cast<int>(text.size()), text.data());
                return false;
            }
            endSearchBeforeChange();
            char* target = static_cast<char*>(option->target);
            memcpy(target, text.data(), text.size());
            target[text.size()] = 0;
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

    UciOption* option = findOption(name);
    if (!option) {
        outPrintf(false, "info wrong uci option name (%s)\n", name.c_str());
        return;
    }
    if (!applyValue(option, value)) return;

    if (uciWordIs(name, "Clear Hash")) {
        hashReset();
    } else if (uciWordIs(name, "Hash")) {
        hashDestroy();
        hashCreate();
    } else if (uciWordIs(name, "Book File")) {
        bookClose();
        bookOpen();
    } else if (uciWordIs(name, "Bitbases Path") || uciWordIs(name, "Bitbases Cache Size")) {
        egbbLoadLibrary();
    }
}
