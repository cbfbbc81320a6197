// Zobrist keys: a random 64-bit number for each man on each square, each
// castling right, each en-passant file and black to move. A position's key is
// the XOR of the numbers of what it holds, kept up to date move by move.
#pragma once

#include <cstdint>

struct ZobristKeys {
    uint64_t square[14][64];  // [piece code][square]
    uint64_t enPassant[8];    // [file of the en-passant square]
    uint64_t castle[4];       // [bit of the castling right]
    uint64_t turn;            // black to move
};

extern ZobristKeys zobrist;

// Draws the keys from a generator seeded with 0, so that every run (and every
// tool) has the same keys.
void zobristInit();
