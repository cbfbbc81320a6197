// Endgame bitbases: the outside library is loaded at run time from the bitbase
// directory, and positions with at most five men are translated into its probe
// arguments.
#pragma once

#include <cstdint>

#include "board/position.h"

// The library's answer for a position it cannot score.
inline constexpr int EGBB_NOT_AVAILABLE = 99999;
// Most men (kings included) a probe can describe.
inline constexpr int EGBB_MAX_MEN = 5;
// Name of the library file inside the bitbase directory.
inline constexpr char EGBB_LIBRARY_NAME[] = "egbbso64.so";
// Load mode handed to the library; no option changes it.
inline constexpr int EGBB_LOAD_TYPE = 2;

// The library's code of each man, indexed by our piece code; kings have argument
// places of their own and no code.
inline constexpr int EGBB_PIECE_CODE[14] = {0, 0, 6, 12, 5, 11, 4, 10, 3, 9, 2, 8, 0, 0};

// (Re)loads the library from the directory and tells it where its data is and
// how much cache (megabytes) to use. A missing library is reported with an
// "info string" line and leaves the engine without bitbases; a library without
// its entry points is a fatal error.
void egbbLoad(const char* directory, int cacheMegabytes);

// Unloads the library if one is loaded.
void egbbClose();

// 1 if a library is loaded and can be probed, else 0.
int egbbIsLoaded();

// Asks the library about the position: 1 and its score for the side to move
// (positive: win, 0: draw, negative: loss) when it knows the position, else 0.
// The score is stored in either case (99999 when unknown).
int egbbProbe(const Position* position, int* score);
