// Search control: the stop and ponder flags, the limits derived from "go",
// the search thread and its stop timer.
#pragma once

#include <atomic>

// 1 asks the running search to stop; cleared when a search starts.
extern std::atomic<int> stopFlag;
// 1 while the running search ponders; it then ignores stopFlag.
extern std::atomic<int> ponderSearch;

// Whether the search must return now because of a stop request.
inline bool searchStopRequested() {
    return stopFlag.load(std::memory_order_relaxed) &&
           !ponderSearch.load(std::memory_order_relaxed);
}

#include <cstdint>

// The limits of a "go" command.
struct SearchParameter {
    uint32_t depth = 0;      // plies, 0 = none
    uint64_t nodes = 0;      // 0 = none
    uint32_t movestogo = 0;  // 0 becomes 40 when the search starts
    uint32_t wtime = 0;
    uint32_t winc = 0;
    uint32_t btime = 0;
    uint32_t binc = 0;
    uint32_t movetime = 0;  // milliseconds, 0 = none
    int32_t infinite = 0;
    int32_t mate = 0;  // recorded only
};

struct Position;

// 1 while the running search was started with "infinite".
extern std::atomic<int> searchInfinite;
extern int maxDepth;       // depth limit of the running search
extern uint64_t maxNodes;  // node limit; all bits set = none
extern int searchTime;     // time budget in milliseconds, 0 = no timer

// Time budget of a search in milliseconds (0 = no limit).
int getSearchTime(const Position* position, const SearchParameter* parameter);
// Derives the node, depth and time limits of a search.
void searchParameters(const Position* position, SearchParameter* parameter);
// Clears the stop flag, derives the limits and starts the search thread on a
// copy of the position.
void searchStart(const Position* position, SearchParameter* parameter);
// Asks the search to stop and, unless it ponders, waits for its thread (which
// prints the best move). Also the stop timer's callback: returns false.
int searchStop();
void searchTimerStart(int milliseconds);
void searchTimerStop();
// Waits on the search thread until its answer may be printed.
void searchAwaitAnswer();
