// Test set-up shared by the test programs.
#pragma once

#include <string>

#include "board/position.h"
#include "search/startsearch.h"

// Builds the engine's tables once per test program (seed 0, as at start-up).
void testInit();

// A position set from FEN; the test fails if the record is refused.
Position* testPosition(const char* fen);

// Bitboard of the named squares, for example squares("a1 b3 h8").
Bitboard squares(const char* names);

// The limits of a "go depth N": one line, no book.
SearchLimits testDepth(int depth);
