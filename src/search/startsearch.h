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
    return stopFlag.load(std::memory_order_relaxed) && !ponderSearch.load(std::memory_order_relaxed);
}

#include <cstdint>

// The limits of a "go" command.
struct SearchParameter {
    uint32_t depth;      // plies, 0 = none
    uint64_t nodes;      // 0 = none
    uint32_t movestogo;  // 0 becomes 40 when the search starts
    uint32_t wtime;
    uint32_t winc;
    uint32_t btime;
    uint32_t binc;
    uint32_t movetime;  // milliseconds, 0 = none
    int32_t infinite;
    int32_t mate;  // recorded only
};
