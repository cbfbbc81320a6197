#include "search/history.h"

QuietScores quietHistory;

void historyClear() {
    for (auto& row : quietHistory)
        for (auto& entry : row) entry.store(0, std::memory_order_relaxed);
}

void historyAdd(int from, int to, int depth) {
    int shift = depth < 0 ? 0 : depth > HISTORY_MAX_SHIFT ? HISTORY_MAX_SHIFT : depth;
    int32_t bonus = int32_t{1} << shift;
    std::atomic<int32_t>& entry = quietHistory[from][to];
    // Concurrent adders can each pass this test once, which leaves far more
    // room than the few threads need below INT32_MAX.
    if (entry.load(std::memory_order_relaxed) > HISTORY_LIMIT - bonus) {
        for (auto& row : quietHistory)
            for (auto& e : row)
                e.store(e.load(std::memory_order_relaxed) / 2, std::memory_order_relaxed);
    }
    entry.store(entry.load(std::memory_order_relaxed) + bonus, std::memory_order_relaxed);
}
