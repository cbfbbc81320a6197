#include "frontend/uci.h"

#include <cstring>
#include <string_view>

#include <glib.h>

#include "base/output.h"
#include "frontend/engine.h"
#include "frontend/ucitext.h"

Position* currentPosition = nullptr;

namespace {

// The main loop and its watch on standard input.
struct InputLoop {
    GMainLoop* loop = nullptr;
    GIOChannel* channel = nullptr;
    guint watch = 0;
};
InputLoop input;

gboolean uciReadLine(GIOChannel* channel, GIOCondition, gpointer) {
    gchar* line = nullptr;
    gsize length = 0;
    GError* error = nullptr;
    GIOStatus status = g_io_channel_read_line(channel, &line, &length, nullptr, &error);
    if (status == G_IO_STATUS_AGAIN) return TRUE;
    if (status != G_IO_STATUS_NORMAL || !line) {
        // End of input or a read failure acts as "quit".
        if (error) g_error_free(error);
        g_free(line);
        input.watch = 0;
        uciQuit();
        return FALSE;
    }
    bool serving = uciDispatch(line);
    g_free(line);
    if (!serving) input.watch = 0;
    return serving;
}

}  // namespace

void uciIsReady() { outPrintf(true, "readyok\n"); }

void uciDebug() { positionPrint(currentPosition); }

std::string_view uciCommandWord(const char* line, const char** rest) {
    const char* start = line;
    while (*start && uciIsBlank(*start)) start++;
    const char* end = start;
    while (*end && !uciIsBlank(*end)) end++;
    *rest = end;
    return std::string_view(start, static_cast<size_t>(end - start));
}

bool uciDispatch(const char* line) {
    const char* rest;
    std::string_view word = uciCommandWord(line, &rest);
    if (word.empty()) return true;  // blank lines are ignored

    if (uciWordIs(word, "stop")) {
        ponderSearch.store(0, std::memory_order_relaxed);
        searchStop();
    } else if (uciWordIs(word, "ponderhit")) {
        ponderSearch.store(0, std::memory_order_relaxed);
    } else if (uciWordIs(word, "go")) {
        uciGo(rest);
    } else if (uciWordIs(word, "position")) {
        uciSetPosition(rest);
    } else if (uciWordIs(word, "setoption")) {
        uciSetOption(rest);
    } else if (uciWordIs(word, "ucinewgame")) {
        // Nothing: the tables and the position stay as they are.
    } else if (uciWordIs(word, "isready")) {
        uciIsReady();
    } else if (uciWordIs(word, "quit")) {
        uciQuit();
        return false;
    } else if (uciWordIs(word, "uci")) {
        uciIdentity();
    } else if (uciWordIs(word, "debug")) {
        uciDebug();
    } else {
        outPrintf(true, "Unknown uci command:%.*s\n", static_cast<int>(word.size()), word.data());
    }
    return true;
}

void uciRun() {
    input.loop = g_main_loop_new(nullptr, FALSE);
    engineStart();

    input.channel = g_io_channel_unix_new(0);
    if (!input.channel) fatalError("Cannot create new uci GIOChannel!\n");
    // Raw bytes: protocol text is ASCII and anything else must not stop the reader.
    g_io_channel_set_encoding(input.channel, nullptr, nullptr);
    input.watch =
        g_io_add_watch(input.channel, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
                       uciReadLine, nullptr);
    if (!input.watch) fatalError("Cannot add watch on GIOChannel!\n");

    g_main_loop_run(input.loop);
    g_main_loop_unref(input.loop);
    input.loop = nullptr;
}

void uciQuit() {
    if (input.watch) g_source_remove(input.watch);
    input.watch = 0;
    if (input.channel) {
        g_io_channel_shutdown(input.channel, TRUE, nullptr);
        g_io_channel_unref(input.channel);
        input.channel = nullptr;
    }
    if (input.loop) g_main_loop_quit(input.loop);
    engineStop();
}
