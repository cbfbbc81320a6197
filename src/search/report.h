// How a search tells the world what it does: the search calls these, the
// front end fills them in (with the protocol's "info" and "bestmove" lines),
// and the tools fill them in with whatever they need.
#pragma once

#include <cstdint>

#include "board/move.h"

struct Position;
struct RootMoveList;

struct SearchReport {
    // An iteration of the given depth begins.
    void (*depthStarted)(int depth);
    // The root move at `index` of the list is being searched.
    void (*moveStarted)(int depth, int index, const RootMoveList& list);
    // The first `lines` entries of the list have new results.
    void (*linesUpdated)(const Position& root, int depth, int lines, const RootMoveList& list);
    // The iteration of the given depth has ended.
    void (*depthFinished)(int depth, uint64_t nodes);
    // The root position has no move to play (mate, stalemate or a draw).
    void (*noMove)();
    // The answer: the best move (0 when there is none) and the expected reply.
    void (*bestMove)(Move best, Move ponder);
};
