// Move lists and the two generators: tactical moves (captures, en-passant
// captures, promotions) and quiet moves (the other moves, castling included).
// Both are pseudo-legal; moveDo decides legality.
#pragma once

#include <atomic>
#include <cstdint>

#include "board/move.h"
#include "board/position.h"

// More than any legal position can produce in one stage.
inline constexpr int MAX_MOVES = 256;

enum : int32_t {
    STAGE_NONE = 0,
    STAGE_QUIET = 1,
    STAGE_TACTICAL = 2,
};

// Scores that order quiet moves, by from- and to-square: the search's history
// counters, which its threads update while others read them.
using QuietScores = std::atomic<int32_t>[64][64];

struct MoveList {
    uint32_t count;
    uint32_t sortedUpTo;  // entries from current up to here are in final order
    uint32_t current;     // next entry the picker tries
    Move moves[MAX_MOVES];
    int32_t scores[MAX_MOVES];
    int32_t stage;                   // which generator filled the list
    const QuietScores* quietScores;  // what the picker orders quiet moves by (see pickerStart)
};

// Captures are scored by the victim's value less the attacker's, promotions by
// the new man's value (plus the victim's).
void tacticalMovesGenerate(const Position* position, MoveList* list);
// Quiet moves are scored by the given table (all 0 without one).
void quietMovesGenerate(const Position* position, MoveList* list,
                        const QuietScores* scores = nullptr);
