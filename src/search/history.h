// The history heuristic: a counter per from- and to-square that grows each time
// a quiet move causes a cut-off, so that the picker tries such moves first in
// other positions. One table, shared by every search thread without a lock.
#pragma once

#include <atomic>
#include <cstdint>

#include "moves/movegenerator.h"

extern QuietScores quietHistory;

// Largest bonus shift, and the value no counter may pass: the table is halved
// first, so counters stay far below INT32_MAX.
inline constexpr int HISTORY_MAX_SHIFT = 20;
inline constexpr int32_t HISTORY_LIMIT = int32_t{1} << 30;

// Clears every counter (at the start of a search).
void historyClear();

// Bonus for a quiet move that caused a cutoff: 1 << depth, with the shift
// bounded; the whole table is halved before an entry would pass its limit.
void historyAdd(int from, int to, int depth);
