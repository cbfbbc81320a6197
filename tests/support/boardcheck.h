// The fields of a position that the move maker keeps up to date move by move,
// computed again from the board alone, for checking them. Needs no test
// framework (the fuzzers use it too).
#pragma once

#include <cstdint>
#include <string>

#include "board/position.h"

struct BoardSums {
    Bitboard bitboard[14];  // per piece code; [WHITE] and [BLACK] the colour unions
    Bitboard occupied;
    uint64_t key;  // the men, the side to move, the castling rights and en passant
    int32_t material[2];
    int32_t phase;
    int32_t pvtOpening;
    int32_t pvtEndgame;
};

// Every sum of the position's board, side, rights and en-passant square.
BoardSums boardSums(const Position* position);

// The first field in which the position disagrees with the sums of its board
// ("key", "material", ...), or an empty text when every one agrees.
std::string boardSumsMismatch(const Position* position);
