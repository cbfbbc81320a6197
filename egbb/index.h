// Indexing: every position of a material gets a number, for each side to move.
// The kings come first: without pawns the white king is moved into the
// a1-d1-d4 triangle by one of the eight symmetries (two of them when it lands
// on the diagonal, and then the smaller number wins); with pawns only the
// left-right mirror is used and the white king stands on files a-d. Identical
// men share one group numbered as a combination, so each set is counted once.
// Numbers of illegal placements (two men on a square, kings side by side, the
// side not to move in check, the second number of a symmetric pair) exist but
// are never asked for.
#pragma once

#include <cstdint>

#include "chess.h"
#include "material.h"

namespace egbb {

struct Layout {
    Material material;
    bool pawns = false;
    int groups = 0;
    uint8_t groupMan[MAX_MEN] = {};    // the man of each group
    uint8_t groupCount[MAX_MEN] = {};  // how many of it
    uint64_t groupSize[MAX_MEN] = {};
    int8_t groupOf[16] = {};             // the group of each man (-1 for kings)
    uint64_t groupStride[MAX_MEN] = {};  // what a step of each group's number is worth
    uint64_t kingStride = 0;             // and of the black king's square
    uint64_t size = 0;                   // numbers for one side to move
};

Layout layoutOf(const Material& material);

// The number of a legal board whose material is the layout's (in its
// colouring); the side to move is not part of it.
uint64_t indexOf(const Layout& layout, const Board& board);
// The board of a number (side to move left as it was); false when the number
// is not the canonical number of a legal placement.
bool boardAt(const Layout& layout, uint64_t index, Board& board);
// The men of a number known to be a legal position, without the checks.
void placeMen(const Layout& layout, uint64_t index, Board& board);
// The number of `next`, which differs from `board` (a legal board of number
// `index`, as boardAt gives it) only by the square of its man `moved`. The
// symmetry that brings it into place stays the same unless the white king
// moves or stands on the diagonal, so the number usually follows from the
// moved man's part alone.
uint64_t indexOfMoved(const Layout& layout, uint64_t index, const Board& board, int moved,
                      const Board& next);
// Whether a board (pawnless) is its own mirror image across a diagonal: every
// man on it, or identical men on mirror squares.
bool isSelfSymmetric(const Layout& layout, const Board& board);

}  // namespace egbb
