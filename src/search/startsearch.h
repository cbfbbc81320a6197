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
