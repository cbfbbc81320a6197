// Making and unmaking moves, the legality test and the move picker.
#pragma once

#include "board/move.h"
#include "board/position.h"
#include "moves/movegenerator.h"

// Plays a pseudo-legal move. Returns 1 when it stands; 0 when it leaves the
// mover's king attacked (or a castling king crosses an attacked square), in
// which case the position is exactly as before.
int moveDo(Position* position, Move move);

// Takes back the last move made by moveDo.
void moveUndo(Position* position);

// After a move: 1 if the side that moved did not leave its king attacked.
int positionGood(const Position* position);

// The picker: the next legal move of the list, already made on the position,
// or 0 when none is left. nextMoveDo hands out captures and promotions first,
// then quiet moves; nextDinamicMoveDo only the former.
Move nextMoveDo(Position* position, MoveList* list);
Move nextDinamicMoveDo(Position* position, MoveList* list);

// The legal move whose protocol text ("e2e4", "e7e8q") is this one, case
// ignored, or 0 when there is none.
Move moveFromText(Position* position, const char* text);

// Plays the move texts of the protocol ("e2e4 e7e8q"), case ignored, one by
// one. Returns 1 when all were made; at a text that matches no legal move it
// prints the position, reports "Can not make move (%s)!" and returns 0 with the
// moves before it made. The history is compacted after every move (and before
// the first), so games of any length fit and repetitions are still found.
int stringMovesDo(Position* position, const char* text);

// Leaf nodes of the move tree to the given depth, walked as the search walks
// it: the captures and promotions of each node, then its quiet moves, each made
// with moveDo and counted only when it stands.
uint64_t perft(Position* position, int depth);

// The same count through the picker (nextMoveDo), in picker order.
uint64_t perftPicker(Position* position, int depth);
