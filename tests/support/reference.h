// A slow, plainly written move walker for checking the engine's generators and
// move maker: it works on a square array, generates moves square by square by
// stepping along directions, plays them on a copy and keeps those that leave
// the mover's king unattacked. It shares no code with the engine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "board/position.h"

struct ReferenceBoard {
    int board[64];  // engine piece codes, 0 = empty
    int side;       // 0 white, 1 black
    int castling;   // engine castling bits
    int enPassant;  // square behind a pawn that has just stepped two, -1 if none
};

// The position's men, side, rights and en-passant square.
ReferenceBoard referenceFrom(const Position* position);

// Legal moves in engine text form ("e2e4", "e7e8q"), sorted.
std::vector<std::string> referenceMoves(const ReferenceBoard& b);

// Each legal move with the position it leads to. The en-passant square of a
// child is set after every double step, whether or not a pawn can take.
struct ReferenceChild {
    std::string text;
    int from, to;
    int promotion;  // 0, or 1 to 4 for a knight, bishop, rook or queen
    ReferenceBoard board;
};
std::vector<ReferenceChild> referenceChildren(const ReferenceBoard& b);

// Leaf count of the legal move tree.
uint64_t referencePerft(const ReferenceBoard& b, int depth);

// Whether the side to move is in check.
bool referenceInCheck(const ReferenceBoard& b);
