// Move lists and the two generators: dinamic moves (captures, en-passant
// captures, promotions) and static moves (quiet moves and castling). Both are
// pseudo-legal; moveDo decides legality.
#pragma once

#include <atomic>
#include <cstdint>

#include "board/move.h"
#include "board/position.h"

// More than any legal position can produce in one stage.
inline constexpr int MAX_MOVES = 256;

enum : int32_t {
    STAGE_NONE = 0,
    STAGE_STATIC = 1,
    STAGE_DINAMIC = 2,
};

struct MoveList {
    uint32_t count;
    uint32_t sortedUpTo;  // entries from current up to here are in final order
    uint32_t current;     // next entry the picker tries
    Move moves[MAX_MOVES];
    int32_t scores[MAX_MOVES];
    int32_t stage;  // which generator filled the list
};

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

// Quiet-move ordering counters, [from][to]; shared by all search threads.
extern std::atomic<int32_t> history[64][64];

// Largest bonus shift, and the value no counter may pass: the table is halved
// first, so counters stay far below INT32_MAX.
inline constexpr int HISTORY_MAX_SHIFT = 20;
inline constexpr int32_t HISTORY_LIMIT = int32_t{1} << 30;

// Clears every counter (at the start of a search).
void historyClear();

// Bonus for a quiet move that caused a cutoff: 1 << depth, with the shift
// bounded; the whole table is halved before an entry would pass its limit.
void historyAdd(int from, int to, int depth);

void dinamicMovesGenerate(const Position* position, MoveList* list);
void staticMovesGenerate(const Position* position, MoveList* list);

// Every legal move of the position in picker order; the position is unchanged.
void rootMovesGenerate(Position* position, RootMoveList* list);
