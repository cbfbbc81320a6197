#include "search/startsearch.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "frontend/output.h"
#include "frontend/uci.h"
#include "search/search.h"

std::atomic<int> stopFlag{0};
std::atomic<int> ponderSearch{0};
std::atomic<int> searchInfinite{0};
int maxDepth = 0;
uint64_t maxNodes = 0;
int searchTime = 0;

namespace {

// Milliseconds kept back from every budget for the answer to reach the
// interface (thread wake-ups, a loaded machine, the interface's own latency).
constexpr double MOVE_OVERHEAD = 50;

GThread* searchThread = nullptr;
// The stop timer is armed by the search thread and may fire on the main-loop
// thread while the search thread removes it: the id changes hands under a lock.
std::mutex timerMutex;
guint stopTimer = 0;

gboolean searchTimerFired(gpointer) {
    {
        std::lock_guard<std::mutex> lock(timerMutex);
        stopTimer = 0;  // the source ends when this callback returns false
    }
    return searchStop();
}

// The position the search thread works on: copied when the search starts, so
// that the current position may change while the search runs.
Position* searchPosition = nullptr;

gpointer searchThreadStart(gpointer data) {
    Position* p = static_cast<Position*>(data);
    if (searchTime) searchTimerStart(searchTime);
    iterativeDeepening(p, maxNodes, static_cast<uint32_t>(maxDepth));
    searchTimerStop();
    return nullptr;
}

}  // namespace

void searchTimerStart(int milliseconds) {
    std::lock_guard<std::mutex> lock(timerMutex);
    if (stopTimer) fatalError("Timer is alredy in use!\n");
    stopTimer = g_timeout_add(static_cast<guint>(milliseconds), searchTimerFired, nullptr);
}

void searchTimerStop() {
    std::lock_guard<std::mutex> lock(timerMutex);
    if (stopTimer) {
        if (!g_source_remove(stopTimer)) fatalError("Timer source can not remove!\n");
        stopTimer = 0;
    }
}

int getSearchTime(const Position* p, const SearchParameter* parameter) {
    if (parameter->movetime)
        return static_cast<int>(std::min<uint32_t>(parameter->movetime, INT32_MAX));
    uint64_t mtg = parameter->movestogo ? parameter->movestogo : 40;
    uint64_t time[2] = {parameter->wtime, parameter->btime};
    uint64_t increment[2] = {parameter->winc, parameter->binc};
    int own = p->player, opp = own ^ 1;
    auto allocation = [&](int side) {
        uint64_t share = (time[side] + increment[side] * (mtg - 1)) / mtg;
        return std::floor(1.3 * static_cast<double>(share));
    };
    double ownAlloc = allocation(own), oppAlloc = allocation(opp);
    double ownTime = static_cast<double>(time[own]);

    double t;
    if (!ponderSearch.load(std::memory_order_relaxed))
        t = oppAlloc == 0 ? 0 : std::floor(ownAlloc * (ownAlloc / oppAlloc));
    else
        t = ownAlloc;
    if (ownTime < t || mtg <= 10) t = std::floor(0.95 * ownTime / static_cast<double>(mtg));
    // Never the whole clock on one move: a budget of 0 falls back to the share
    // of the remaining moves, and no budget takes more than half of what is
    // left once the time to answer (MOVE_OVERHEAD) is set aside.
    if (t == 0) t = std::floor(0.95 * ownTime / static_cast<double>(mtg));
    if (ownTime > 0) {
        double most = std::max(1.0, std::floor((ownTime - MOVE_OVERHEAD) / 2));
        t = std::clamp(t, 1.0, most);
    }
    if (t > INT32_MAX) t = INT32_MAX;
    return static_cast<int>(t);
}

void searchParameters(const Position* p, SearchParameter* parameter) {
    maxNodes = parameter->nodes ? parameter->nodes : UINT64_MAX;
    if (parameter->movestogo == 0) parameter->movestogo = 40;
    // "infinite" runs until "stop": no clock may end it.
    searchTime = parameter->infinite ? 0 : getSearchTime(p, parameter);
    if (parameter->depth) {
        maxDepth = parameter->infinite
                       ? MAX_ITERATION_DEPTH
                       : static_cast<int>(parameter->depth < MAX_SEARCH_DEPTH ? parameter->depth
                                                                              : MAX_SEARCH_DEPTH);
    } else {
        maxDepth = searchTime || parameter->nodes || parameter->infinite ? MAX_ITERATION_DEPTH : 0;
    }
    if (maxDepth == 0) maxDepth = 1;
}

void searchStart(const Position* p, SearchParameter* parameter) {
    stopFlag.store(0, std::memory_order_relaxed);
    searchParameters(p, parameter);
    searchInfinite.store(parameter->infinite ? 1 : 0, std::memory_order_relaxed);
    g_free(searchPosition);
    searchPosition = g_new(Position, 1);
    positionCopy(searchPosition, p);
    GError* error = nullptr;
    searchThread = g_thread_try_new("search", searchThreadStart, searchPosition, &error);
    if (!searchThread)
        fatalError("Cannot create the search thread: %s\n", error ? error->message : "");
}

int searchStop() {
    stopFlag.store(1, std::memory_order_relaxed);
    if (!ponderSearch.load(std::memory_order_relaxed) && searchThread) {
        g_thread_join(searchThread);
        searchThread = nullptr;
        g_free(searchPosition);
        searchPosition = nullptr;
    }
    return FALSE;
}

void searchAwaitAnswer() {
    // In infinite and ponder mode the move is given only when it is asked for.
    while (ponderSearch.load(std::memory_order_relaxed) ||
           (searchInfinite.load(std::memory_order_relaxed) &&
            !stopFlag.load(std::memory_order_relaxed)))
        g_usleep(1000);
}
