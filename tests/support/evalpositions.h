// Positions for evaluation tests: FEN writing, colour-flipped mirrors and
// random legal placements.
#pragma once

#include <glib.h>

#include <string>
#include <vector>

#include "board/position.h"

// The FEN record of the position (move counters "0 1").
std::string testFen(const Position* position);

// The FEN record of the colour-flipped mirror: ranks mirrored, colours, side to
// move, castling rights and en-passant square exchanged.
std::string testMirroredFen(const Position* position);

// A random legal position: one king a side, not adjacent, no pawn on a back
// rank, the side not to move not in check. Men are often put on their home
// squares so that castling, shelter and pattern terms come up.
std::string testRandomFen(GRand* generator);

// Positions along a random legal playout from the record: after every legal
// move chosen at random, up to `plies` moves or the end of the game, every
// `every`-th position is kept.
std::vector<std::string> testPlayoutFens(GRand* generator, const std::string& fen, int plies,
                                         int every);

// Positions from real games and well-known test suites.
const std::vector<std::string>& testGamePositions();

// The FEN records of a file, one a line; blank lines and lines starting with
// '#' are skipped.
std::vector<std::string> testReadFens(const std::string& path);
