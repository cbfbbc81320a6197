#include "search/startsearch.h"

#include <glib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>

#include "base/output.h"
#include "board/position.h"
#include "search/root.h"

std::atomic<int> stopFlag{0};
std::atomic<int> ponderSearch{0};
// Every node of every thread reads the flag: it keeps off the cache lines that
// the search writes.
alignas(64) std::atomic<int> parallelStopFlag{0};

namespace {

// Milliseconds kept back from every budget for the answer to reach the
// interface (thread wake-ups, a loaded machine, the interface's own latency).
constexpr double MOVE_OVERHEAD = 50;

// A search in progress: what its thread was given.
struct SearchTask {
    Position position;  // a copy: the current position may change meanwhile
    SearchLimits limits;
    const SearchReport* report;
};

GThread* searchThread = nullptr;
SearchTask* searchTask = nullptr;
std::chrono::steady_clock::time_point searchStarted = std::chrono::steady_clock::now();

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

gpointer searchThreadStart(gpointer data) {
    SearchTask* task = static_cast<SearchTask*>(data);
    if (task->limits.milliseconds) searchTimerStart(task->limits.milliseconds);
    iterativeDeepening(&task->position, task->limits, *task->report);
    searchTimerStop();
    return nullptr;
}

}  // namespace

int getSearchTime(const Position* p, const SearchParameter& parameter, bool pondering) {
    if (parameter.movetime)
        return static_cast<int>(std::min<uint32_t>(parameter.movetime, INT32_MAX));
    uint64_t mtg = parameter.movestogo ? parameter.movestogo : 40;
    uint64_t time[2] = {parameter.wtime, parameter.btime};
    uint64_t increment[2] = {parameter.winc, parameter.binc};
    int own = p->player, opp = own ^ 1;
    auto allocation = [&](int side) {
        uint64_t share = (time[side] + increment[side] * (mtg - 1)) / mtg;
        return std::floor(1.3 * static_cast<double>(share));
    };
    double ownAlloc = allocation(own), oppAlloc = allocation(opp);
    double ownTime = static_cast<double>(time[own]);

    double t;
    if (!pondering)
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

SearchLimits searchLimits(const Position* p, const SearchParameter& parameter, bool pondering) {
    SearchLimits limits;
    limits.nodes = parameter.nodes ? parameter.nodes : UINT64_MAX;
    limits.infinite = parameter.infinite != 0;
    // "infinite" runs until "stop": no clock may end it.
    limits.milliseconds = parameter.infinite ? 0 : getSearchTime(p, parameter, pondering);
    if (parameter.depth) {
        limits.depth =
            parameter.infinite
                ? MAX_ITERATION_DEPTH
                : static_cast<int>(std::min<uint32_t>(parameter.depth, MAX_SEARCH_DEPTH));
    } else {
        limits.depth =
            limits.milliseconds || parameter.nodes || parameter.infinite ? MAX_ITERATION_DEPTH : 1;
    }
    return limits;
}

void searchStart(const Position* p, const SearchLimits& limits, const SearchReport* report) {
    stopFlag.store(0, std::memory_order_relaxed);
    searchClockStart();
    g_free(searchTask);
    searchTask = g_new(SearchTask, 1);
    positionCopy(&searchTask->position, p);
    searchTask->limits = limits;
    searchTask->report = report;
    GError* error = nullptr;
    searchThread = g_thread_try_new("search", searchThreadStart, searchTask, &error);
    if (!searchThread)
        fatalError("Cannot create the search thread: %s\n", error ? error->message : "");
}

int searchStop() {
    stopFlag.store(1, std::memory_order_relaxed);
    if (!ponderSearch.load(std::memory_order_relaxed) && searchThread) {
        g_thread_join(searchThread);
        searchThread = nullptr;
        g_free(searchTask);
        searchTask = nullptr;
    }
    return FALSE;
}

void searchAwaitAnswer(const SearchLimits& limits) {
    // In infinite and ponder mode the move is given only when it is asked for.
    while (ponderSearch.load(std::memory_order_relaxed) ||
           (limits.infinite && !stopFlag.load(std::memory_order_relaxed)))
        g_usleep(1000);
}

void searchClockStart() { searchStarted = std::chrono::steady_clock::now(); }

double searchElapsed() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - searchStarted).count();
}
