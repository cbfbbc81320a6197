// Iterative deepening and the root search: the moves of the root position are
// searched at increasing depths, the best `lines` of them with full windows
// (multi-PV), and the best move is reported when a limit ends the search.
#pragma once

#include <cstdint>

#include "board/position.h"
#include "moves/movegenerator.h"
#include "search/report.h"
#include "search/startsearch.h"

struct RootMove {
    Move move;
    int32_t score;   // last result from the root side's view
    uint32_t depth;  // iteration depth of that result, 0 = not searched yet
    int32_t selDepth;
    uint32_t nps;
    int32_t time;  // milliseconds
    uint64_t nodes;
    Move pv[15];  // variation after the move, ended by 0
};

struct RootMoveList {
    uint32_t count;
    RootMove moves[MAX_MOVES];
};

// Every legal move of the position in picker order (quiet moves ordered by the
// history counters); the position is unchanged.
void rootMovesGenerate(Position* position, RootMoveList* list);

// Searches a copy of the position under the limits and reports the best move
// (waiting first in infinite and ponder mode until the answer is asked for).
void iterativeDeepening(const Position* position, const SearchLimits& limits,
                        const SearchReport& report);

// One iteration over the root moves; the first `lines` entries are searched as
// principal-variation lines.
void rootSearch(Position* position, RootMoveList* list, int depth, int lines,
                const SearchReport& report);

// Records a root move's result and moves it up to its place; returns its new index.
int updateMultipv(RootMoveList* list, int index, int score, int depth);
