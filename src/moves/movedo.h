// Making and unmaking moves, and the legality test.
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
