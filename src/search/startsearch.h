// Search control: the signals every search node polls, the limits of a search
// derived from "go", the search thread with its stop timer, and its clock.
#pragma once

#include <atomic>
#include <cstdint>

struct Position;
struct SearchReport;

// 1 asks the running search to stop; cleared when a search starts.
extern std::atomic<int> stopFlag;
// 1 while the running search ponders; it then ignores stopFlag.
extern std::atomic<int> ponderSearch;
// 1 while a master abandons its outstanding jobs: every worker node returns at
// once and nothing is stored in the table.
extern std::atomic<int> parallelStopFlag;

// Whether the search must return now because of a stop request.
inline bool searchStopRequested() {
    return stopFlag.load(std::memory_order_relaxed) &&
           !ponderSearch.load(std::memory_order_relaxed);
}

// The numbers of a "go" command.
struct SearchParameter {
    uint32_t depth = 0;      // plies, 0 = none
    uint64_t nodes = 0;      // 0 = none
    uint32_t movestogo = 0;  // 0 counts as 40
    uint32_t wtime = 0;
    uint32_t winc = 0;
    uint32_t btime = 0;
    uint32_t binc = 0;
    uint32_t movetime = 0;  // milliseconds, 0 = none
    int32_t infinite = 0;
    int32_t mate = 0;  // recorded only
};

// The deepest iteration a search runs without an explicit depth.
inline constexpr int MAX_ITERATION_DEPTH = 40;
// An explicit "go depth" is bounded so that depths fit the table's 8-bit field.
inline constexpr int MAX_SEARCH_DEPTH = 127;

// What one search is given: its limits, derived from "go", and the two options
// it reads. The search thread keeps its own copy.
struct SearchLimits {
    uint64_t nodes = UINT64_MAX;  // node limit
    int depth = 1;                // deepest iteration
    int milliseconds = 0;         // time budget, 0 = no stop timer
    bool infinite = false;        // "go infinite": analysis, the answer waits for "stop"
    int lines = 1;                // "MultiPV": principal variations searched
    bool useBook = false;         // "OwnBook": a playing search asks the book when one is open
};

// Time budget of a search in milliseconds (0 = no limit); a pondering search
// plans with its own share only.
int getSearchTime(const Position* position, const SearchParameter& parameter, bool pondering);
// The node, depth and time limits of a "go" (the options are left at their
// defaults for the caller to fill in).
SearchLimits searchLimits(const Position* position, const SearchParameter& parameter,
                          bool pondering);

// Clears the stop flag, restarts the clock and starts the search thread on a
// copy of the position. The thread reports through `report` (which must
// outlive it) and prints nothing itself.
void searchStart(const Position* position, const SearchLimits& limits, const SearchReport* report);
// Asks the search to stop and, unless it ponders, waits for its thread (which
// reports the best move). Also the stop timer's callback: returns false.
int searchStop();
// Waits, on the search thread, until its answer may be given: a pondering
// search or an infinite one waits to be told.
void searchAwaitAnswer(const SearchLimits& limits);

// Seconds since the last search started (since start-up before the first).
double searchElapsed();
// Restarts the clock (searchStart does it; tools that call the search directly
// do it themselves).
void searchClockStart();
