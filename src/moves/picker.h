// The move picker: hands out the moves of a node one at a time, best score
// first, already made on the position. Captures and promotions come first;
// quiet moves are generated only once those are used up.
#pragma once

#include "board/move.h"
#include "board/position.h"
#include "moves/movegenerator.h"

// Readies an empty list for the picker; quiet moves will be ordered by the
// given scores (generation order without).
inline void pickerStart(MoveList* list, const QuietScores* quietScores = nullptr) {
    list->stage = STAGE_NONE;
    list->quietScores = quietScores;
}

// The next legal move of the list, already made on the position, or 0 when
// none is left. nextMoveDo hands out captures and promotions first, then quiet
// moves; nextTacticalMoveDo only the former.
Move nextMoveDo(Position* position, MoveList* list);
Move nextTacticalMoveDo(Position* position, MoveList* list);

// Every legal move of the position, in picker order without quiet scores, into
// list->moves[0 .. count). The position is left as it was.
void legalMovesGenerate(Position* position, MoveList* list);
