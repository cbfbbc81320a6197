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

// Whether a "bestmove" line names a legal move of the position ("bestmove
// (none)" and any other line do not).
bool testAnswersLegally(const char* fen, const std::string& line);

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

// What needs the real bitbase library and its tables skips in a build without
// them (-DKORVAN_BITBASES=OFF, or the packages missing), saying why; an
// optional reason adds what was left out. A table-driven test runs the cases
// that need no tables, counts the others and skips at its end:
//   if (skipped) SKIP_WITHOUT_BITBASES(skipped << " cases need the tables");
#define SKIP_WITHOUT_BITBASES(...)                                          \
    if (!KORVAN_HAVE_BITBASES)                                              \
    GTEST_SKIP() << "built without the bitbase library" __VA_OPT__(<< ": ") \
            __VA_OPT__(<< __VA_ARGS__)

// Time limits of the tests are multiplied by this: the sanitizer builds run
// several times slower, and a busy machine adds its own delays to theirs.
#ifdef KORVAN_SANITIZED
constexpr int TEST_TIME_FACTOR = 10;
#else
constexpr int TEST_TIME_FACTOR = 1;
#endif
