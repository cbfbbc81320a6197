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

// The protocol text of a move ("e2e4", "e7e8q"); "0" for no move.
std::string testMoveText(Move move);

// The limits of a "go depth N": one line, no book.
SearchLimits testDepth(int depth);

// The tables a search needs (a 16 MB transposition table and the pawn table),
// made and released by search test suites.
void testSearchTablesCreate();
void testSearchTablesDestroy();

// What a search printed: the move of its "bestmove" line and the last score it
// reported ("mate 3", "cp 20"; empty when it reported none).
struct TestAnswer {
    std::string best;
    std::string score;
    std::string output;
};

// Searches the position under the limits on this thread, with the protocol's
// reports captured, after clearing the stop and ponder flags and the clock.
TestAnswer testSearch(const Position* position, const SearchLimits& limits);

// Tests of the real bitbase library skip in a build without it (no Gaviota packages).
#define SKIP_WITHOUT_BITBASES() \
    if (!KORVAN_HAVE_BITBASES) GTEST_SKIP() << "built without the bitbase library"
