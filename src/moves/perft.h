// Perft: the leaf nodes of the legal move tree, counted as the search walks it.
#pragma once

#include <cstdint>

#include "board/position.h"

// Leaf nodes of the move tree to the given depth, walked as the search walks
// it: the captures and promotions of each node, then its quiet moves, each made
// with moveDo and counted only when it stands.
uint64_t perft(Position* position, int depth);

// The same count through the picker (nextMoveDo), in picker order.
uint64_t perftPicker(Position* position, int depth);
