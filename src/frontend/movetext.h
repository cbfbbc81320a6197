// Moves in the protocol's text form ("e2e4", "e7e8q") read against a position.
#pragma once

#include "board/move.h"
#include "board/position.h"

// The legal move whose protocol text ("e2e4", "e7e8q") is this one, case
// ignored, or 0 when there is none.
Move moveFromText(Position* position, const char* text);

// Plays the move texts of the protocol ("e2e4 e7e8q"), case ignored, one by
// one. Returns 1 when all were made; at a text that matches no legal move it
// prints the position, reports "Can not make move (%s)!" and returns 0 with the
// moves before it made. The history is compacted after every move (and before
// the first), so games of any length fit and repetitions are still found.
int stringMovesDo(Position* position, const char* text);
