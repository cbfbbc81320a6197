#include "fuzz/harness.h"

#include <glib.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "base/output.h"
#include "bitbases/egbb.h"
#include "book/book.h"
#include "frontend/engine.h"
#include "frontend/movetext.h"
#include "frontend/uci.h"
#include "moves/movedo.h"
#include "moves/picker.h"
#include "search/hash.h"
#include "search/search.h"
#include "search/startsearch.h"
#include "search/threadsearch.h"
#include "support/boardcheck.h"

namespace {

FuzzSettings settings;
std::string output;
size_t answersSeen = 0;

// The option values every session starts from.
EngineOptions baseline;

[[noreturn]] void fail(const char* format, ...) __attribute__((format(printf, 1, 2)));

void fail(const char* format, ...) {
    std::string text = outCaptureEnd();
    fprintf(stderr, "\n==== protocol output of the session ====\n%s\n", text.c_str());
    fprintf(stderr, "==== invariant broken ====\n");
    va_list args;
    va_start(args, format);
    vfprintf(stderr, format, args);
    va_end(args);
    fputc('\n', stderr);
    abort();
}

void dropWarning(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

bool isCommand(std::string_view word, const char* command) {
    return word.size() == strlen(command) &&
           g_ascii_strncasecmp(word.data(), command, word.size()) == 0;
}

void setOption(const std::string& text) { uciSetOption(text.c_str()); }

void restoreOptions() {
    // Only what changed is set again: rebuilding the workers or reloading the
    // bitbases for every input would cost more than the session itself.
    const EngineOptions& now = options;
    const EngineOptions& base = baseline;
    if (now.ponder != base.ponder)
        setOption("name Ponder value " + std::string(base.ponder ? "true" : "false"));
    if (now.multiPv != base.multiPv)
        setOption("name MultiPV value " + std::to_string(base.multiPv));
    if (now.threads != base.threads)
        setOption("name Threads value " + std::to_string(base.threads));
    if (now.hashMegabytes != base.hashMegabytes)
        setOption("name Hash value " + std::to_string(base.hashMegabytes));
    else
        hashClear();
    if (now.ownBook != base.ownBook)
        setOption("name OwnBook value " + std::string(base.ownBook ? "true" : "false"));
    if (strcmp(now.bookFile, base.bookFile) != 0)
        setOption("name Book File value " + std::string(base.bookFile) + "\n");
    if (strcmp(now.bitbasesPath, base.bitbasesPath) != 0 ||
        now.bitbasesCacheMegabytes != base.bitbasesCacheMegabytes) {
        setOption("name Bitbases Cache Size value " + std::to_string(base.bitbasesCacheMegabytes));
        setOption("name Bitbases Path value " + std::string(base.bitbasesPath) + "\n");
    }
    if (strcmp(now.engineAbout, base.engineAbout) != 0)
        setOption("name UCI_EngineAbout value " + std::string(base.engineAbout) + "\n");
}

// Stops the running search (a ponder search too) and waits for its move.
void stopSearch() {
    ponderSearch.store(0, std::memory_order_relaxed);
    searchStop();
}

// Moves what the engine printed since the last call to the session's output,
// counting the "bestmove" lines (every write holds whole lines).
void takeOutput() {
    std::string chunk = outCaptureTake();
    for (size_t at = 0; at < chunk.size();) {
        if (chunk.compare(at, 9, "bestmove ") == 0) answersSeen++;
        size_t end = chunk.find('\n', at);
        if (end == std::string::npos) break;
        at = end + 1;
    }
    output += chunk;
}

// Lets the search started by the last "go" run until it has answered, used
// its node budget or stopped counting nodes (it waits for "stop" or
// "ponderhit", or answers from the book), serving the main loop meanwhile so
// that its stop timer fires.
void awaitSearch(size_t answers) {
    gint64 start = g_get_monotonic_time();
    gint64 until = start + static_cast<gint64>(settings.waitMs) * 1000;
    gint64 lastProgress = start;
    uint64_t lastNodes = 0;
    for (;;) {
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        takeOutput();
        if (answersSeen >= answers) return;
        uint64_t nodes = searchNodes();
        if (nodes >= settings.nodesPerGo) return;
        gint64 now = g_get_monotonic_time();
        if (nodes != lastNodes) {
            lastNodes = nodes;
            lastProgress = now;
        }
        if (now > until || now - lastProgress > settings.idleMs * 1000) return;
        g_usleep(100);
    }
}

// The position's incremental fields against its board, and the rules every
// position the engine accepts keeps.
void checkPosition(const Position* p) {
    positionIsOk(p);
    for (int sq = 0; sq < 64; sq++)
        if (p->board[sq] != EMPTY && (p->board[sq] < WHITE_PAWN || p->board[sq] > BLACK_KING))
            fail("square %d holds piece code %d", sq, p->board[sq]);
    std::string wrong = boardSumsMismatch(p);
    if (!wrong.empty()) fail("the position's %s differs from its board", wrong.c_str());
    if (bitCount(p->bitboard[WHITE_KING]) != 1 || bitCount(p->bitboard[BLACK_KING]) != 1)
        fail("not one king a side");
    if ((p->bitboard[WHITE_PAWN] | p->bitboard[BLACK_PAWN]) & 0xff000000000000ffULL)
        fail("a pawn on a back rank");
    int them = p->player ^ 1;
    if (squareAttacked(p, bitFirst(p->bitboard[WHITE_KING + them]), p->player))
        fail("the side not to move is in check");
    if (p->check != positionIsInCheck(p)) fail("the check flag is wrong");
    if (p->ply < 0 || p->ply >= HISTORY_SIZE) fail("ply %d is outside the history", p->ply);
    if (p->castling & ~15) fail("castling bits %d", p->castling);
    if (p->enPassant && squareRank(p->enPassant) != (p->player == WHITE ? 5 : 2))
        fail("en-passant square %d on the wrong rank", p->enPassant);
}

// The legal move of the position with this text, or 0.
Move legalMove(Position* p, const std::string& text) { return moveFromText(p, text.c_str()); }

// Each answer must be a legal move of the position its "go" was given (the
// ponder move one of the position after it), or "(none)" exactly where the
// engine has no move to make: none is legal, or the game is already drawn.
void checkAnswers(std::vector<Position>& asked) {
    std::vector<std::string> answers;
    for (size_t at = 0; at < output.size();) {
        size_t end = output.find('\n', at);
        if (end == std::string::npos) end = output.size();
        if (output.compare(at, 9, "bestmove ") == 0) answers.push_back(output.substr(at, end - at));
        at = end + 1;
    }
    if (answers.size() != asked.size())
        fail("%zu \"go\" commands got %zu \"bestmove\" answers", asked.size(), answers.size());
    for (size_t i = 0; i < answers.size(); i++) {
        Position* p = &asked[i];
        std::vector<std::string> words;
        const char* s = answers[i].c_str();
        while (*s) {
            while (*s == ' ') s++;
            const char* start = s;
            while (*s && *s != ' ') s++;
            if (s > start) words.emplace_back(start, s);
        }
        MoveList list;
        legalMovesGenerate(p, &list);
        bool finished = list.count == 0 || positionRepeat(p) >= 2 || p->staticMoves > 99;
        if (words.size() == 2 && words[1] == "(none)") {
            if (!finished) fail("answer %zu is \"(none)\" in a position with moves", i + 1);
            continue;
        }
        if (finished)
            fail("answer %zu moves in a finished position: %s", i + 1, answers[i].c_str());
        if (words.size() != 2 && !(words.size() == 4 && words[2] == "ponder"))
            fail("answer %zu is malformed: %s", i + 1, answers[i].c_str());
        Move best = legalMove(p, words[1]);
        if (!best) fail("answer %zu is not a legal move: %s", i + 1, answers[i].c_str());
        if (words.size() == 4) {
            moveDo(p, best);
            if (!legalMove(p, words[3]))
                fail("answer %zu has an illegal ponder move: %s", i + 1, answers[i].c_str());
            moveUndo(p);
        }
    }
}

}  // namespace

void fuzzStartup(const FuzzSettings& chosen, bool verbose) {
    settings = chosen;
    if (!verbose)
        g_log_set_handler(nullptr,
                          static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE |
                                                      G_LOG_LEVEL_INFO | G_LOG_LEVEL_DEBUG),
                          dropWarning, nullptr);
    // A hash table of at most 256 MB: larger sizes take the engine's fallback
    // to the largest table it can get, and the fuzzer's memory stays bounded.
    allocationLimit = uint64_t{256} << 20;
    outCaptureBegin();
    engineStart();
    uciSetOption("name Hash value 4");
    uciSetOption("name Book File value " KORVAN_BUILD_DIR "/performance.bin\n");
    uciSetOption("name Bitbases Path value " KORVAN_BUILD_DIR "/egbb\n");
    baseline = options;
    outCaptureTake();
}

void fuzzSession(const uint8_t* data, size_t size) {
    restoreOptions();
    positionStartPosition(currentPosition);
    outCaptureTake();
    output.clear();
    answersSeen = 0;

    std::vector<Position> asked;
    const char* text = reinterpret_cast<const char*>(data);
    std::string line;
    for (size_t at = 0; at < size;) {
        // A line with its terminator, as the command loop reads it.
        const void* newline = memchr(text + at, '\n', size - at);
        size_t end =
            newline ? static_cast<size_t>(static_cast<const char*>(newline) - text) + 1 : size;
        line.assign(text + at, end - at);
        at = end;

        const char* rest;
        std::string_view word = uciCommandWord(line.c_str(), &rest);
        if (isCommand(word, "quit")) {
            // "quit" would release the engine: stop the search as it does.
            stopSearch();
        } else if (isCommand(word, "go")) {
            asked.push_back(*currentPosition);
            searchStatsReset();
            uciDispatch(line.c_str());
            awaitSearch(asked.size());
        } else {
            uciDispatch(line.c_str());
        }
        takeOutput();
    }
    stopSearch();
    takeOutput();
    checkAnswers(asked);

    uciDispatch("isready\n");
    std::string ready = outCaptureTake();
    output += ready;
    if (ready != "readyok\n") fail("\"isready\" was answered with \"%s\"", ready.c_str());
    checkPosition(currentPosition);
}

void fuzzShutdown() {
    stopSearch();
    uciQuit();
    outCaptureEnd();
}

const std::string& fuzzLastOutput() { return output; }
