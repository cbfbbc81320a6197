// The two entry points every bitbase library offers the engine (C linkage).
#pragma once

#define EGBB_EXPORT __attribute__((visibility("default")))

extern "C" {

// Opens the tables in `path` (a directory ending in '/') with a cache of
// `cacheBytes`; `loadType` is the engine's load mode (2).
EGBB_EXPORT void load_egbb_5men(const char* path, int cacheBytes, int loadType);

// Score of the position for the side to move (`player` 0 white, 1 black):
// 20000 - 40 d for a win that mates in d plies, its negation for a loss mated
// in d plies, 0 for a draw, 99999 when unknown or not a legal position.
// Men besides the kings come as (code, square) pairs, code 0 for none: queen 2,
// rook 3, bishop 4, knight 5, pawn 6, and 6 more for black men.
EGBB_EXPORT int probe_egbb_5men(int player, int whiteKing, int blackKing, int piece1, int square1,
                                int piece2, int square2, int piece3, int square3);
}
