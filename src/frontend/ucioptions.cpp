#include <cstring>

#include "frontend/output.h"
#include "frontend/uci.h"

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
