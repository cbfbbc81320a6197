// Endgame bitbases: the outside library is loaded at run time from the bitbase
// directory, and positions with at most five men are translated into its probe
// arguments.
#pragma once

#include <atomic>
#include <cstdint>

#include "board/position.h"
#include "tables/init.h"

// The library's answer for a position it cannot score.
inline constexpr int EGBB_NOT_AVAILABLE = 99999;
// Most men (kings included) a probe can describe.
inline constexpr int EGBB_MAX_MEN = 5;
// Search penalty per ply below the root, taken off wins and added to losses, so
// that the search prefers the shorter way into a won ending.
inline constexpr int EGBB_PLY_FACTOR = 40;
// Name of the library file inside the bitbase directory.
inline constexpr char EGBB_LIBRARY_NAME[] = "egbbso64.so";
// Load mode handed to the library; no option changes it.
inline constexpr int egbb_load_type = 2;

// The library's code of each man, indexed by our piece code; kings have argument
// places of their own and no code.
inline constexpr int egbbPieceCode[14] = {0, 0, 6, 12, 5, 11, 4, 10, 3, 9, 2, 8, 0, 0};

// "Bitbases Path": the directory of the library and its data files.
extern char bitbasesPath[256];
// "Bitbases Cache Size" in megabytes.
extern int egbbCacheSize;
// Successful probes since the search driver last reset it. Search threads
// increment it concurrently, so it has a cache line of its own.
extern std::atomic<uint64_t>& bbhits;

// (Re)loads the library from bitbasesPath and tells it where its data is and
// how much cache to use. A missing library is reported with an "info string"
// line and leaves the engine without bitbases; a library without its entry
// points is a fatal error.
void egbbLoadLibrary();

// Unloads the library if one is loaded.
void egbbClose();

// 1 if a library is loaded and can be probed, else 0.
int egbbIsLoaded();

// Asks the library about the position: 1 and its score for the side to move
// (positive: win, 0: draw, negative: loss) when it knows the position, else 0.
// The score is stored in either case (99999 when unknown).
int egbbProbe(const Position* position, int* score);

// Whether a search node `ply` plies below the root, in an iteration of depth
// `iterationDepth`, asks the bitbases. Deep in the tree every position with at
// most four men is probed (five only at the horizon ply itself, where the
// tree is widest); nearer the root only positions just entered by a capture or
// a pawn move, since those are the ones the root has not seen yet.
inline bool egbbProbeWanted(const Position* position, int ply, int iterationDepth) {
    int men = bitCount(position->occupied);
    if (men > EGBB_MAX_MEN || !egbbIsLoaded()) return false;
    int horizon = 2 * iterationDepth / 3;
    if (ply >= horizon) return men <= 4 || ply == horizon;
    if (position->ply <= 0) return false;
    Move last = position->history[position->ply - 1].move;
    int man = position->board[moveTo(last)];
    return moveType(last) == MOVE_CAPTURE || man == WHITE_PAWN || man == BLACK_PAWN;
}

// Search score of a bitbase answer at `ply`: wins lose EGBB_PLY_FACTOR per ply
// and losses gain it, and the material balance breaks ties between
// equally-scored endings. A draw scores the balance / 16 when `drawByMaterial`
// is set (the main search), else 0.
inline int egbbSearchScore(const Position* position, int score, int ply, bool drawByMaterial) {
    int us = position->player;
    int balance = position->material[us] - position->material[us ^ 1];
    if (score < 0) return score + EGBB_PLY_FACTOR * ply + balance;
    if (score > 0) return score - EGBB_PLY_FACTOR * ply + balance;
    return drawByMaterial ? balance >> 4 : 0;
}

// The whole bitbase step of a search node: 1 and the node's score in `value`
// when the node is answered by the bitbases, else 0.
inline int egbbSearchProbe(const Position* position, int ply, int iterationDepth,
                           bool drawByMaterial, int* value) {
    int score;
    if (!egbbProbeWanted(position, ply, iterationDepth) || !egbbProbe(position, &score)) return 0;
    *value = egbbSearchScore(position, score, ply, drawByMaterial);
    return 1;
}
