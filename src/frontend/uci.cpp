#include "frontend/uci.h"

#include <cstring>
#include <string_view>

#include "bitbases/egbb.h"
#include "book/book.h"
#include "frontend/output.h"
#include "frontend/ucitext.h"
#include "moves/movedo.h"
#include "search/hash.h"
#include "search/startsearch.h"
#include "search/threadsearch.h"
#include "tables/init.h"

GRand* mrand = nullptr;
GTimer* timer = nullptr;
Position* position = nullptr;
SearchParameter searchParameter;
int ponder = 0;

namespace {

GMainLoop* loop = nullptr;
GIOChannel* uci_stdin = nullptr;
guint stdinWatch = 0;

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
        stdinWatch = 0;
        uciQuit();
        return FALSE;
    }
    bool serving = uciDispatch(line);
    g_free(line);
    if (!serving) stdinWatch = 0;
    return serving;
}

}  // namespace

double uciGetTime() { return g_timer_elapsed(timer, nullptr); }

void uciIsReady() { outPrintf(true, "readyok\n"); }

void uciDebug() { positionPrint(position); }

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

void uciStartup() {
    mrand = g_rand_new_with_seed(0);
    timer = g_timer_new();
    init(mrand);
    position = positionNew();
    uciOptionsInit();
    hashCreate();
    pawnHashCreate();
    threadsCreate();
    egbbLoadLibrary();
    bookOpen();
}

void uciRun() {
    loop = g_main_loop_new(nullptr, FALSE);
    uciStartup();

    uci_stdin = g_io_channel_unix_new(0);
    if (!uci_stdin) fatalError("Cannot create new uci GIOChannel!\n");
    // Raw bytes: protocol text is ASCII and anything else must not stop the reader.
    g_io_channel_set_encoding(uci_stdin, nullptr, nullptr);
    stdinWatch = g_io_add_watch(uci_stdin, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
                                uciReadLine, nullptr);
    if (!stdinWatch) fatalError("Cannot add watch on GIOChannel!\n");

    g_main_loop_run(loop);
    g_main_loop_unref(loop);
    loop = nullptr;
}

void uciQuit() {
    // A running search is stopped and waited for before anything is released.
    ponderSearch.store(0, std::memory_order_relaxed);
    searchStop();

    if (stdinWatch) g_source_remove(stdinWatch);
    stdinWatch = 0;
    if (uci_stdin) {
        g_io_channel_shutdown(uci_stdin, TRUE, nullptr);
        g_io_channel_unref(uci_stdin);
        uci_stdin = nullptr;
    }
    if (loop) g_main_loop_quit(loop);
    positionFree(position);
    position = nullptr;
    g_rand_free(mrand);
    mrand = nullptr;
    g_timer_destroy(timer);
    timer = nullptr;
    uciOptionsFree();
    bookClose();
    egbbClose();
    threadsDestroy();
    hashDestroy();
    pawnHashDestroy();
}
