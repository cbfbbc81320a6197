// The input of the core fuzzer: a header byte, then a position (a FEN record,
// or a board built from bytes), then one byte per ply choosing a move.
//
// Header bits:
//   bit 0     0: the position is FEN text, up to the first newline;
//             1: it is built from bytes (below) and written out as FEN text
//   bits 1-2  depth of the sampled search: 1 + value % 3
//   bit 3     built boards are repaired into accepted positions (one king a
//             side, no pawn on a back rank, the side in check to move)
//   bit 4     the sampled checks include a book probe
//   bits 5-7  which evaluation windows are tried; bit 5 also searches two lines
//
// A built board: byte 0 picks a frame (kings only, the initial position,
// castling rooks, promotion pawns, a pinned en-passant capture, a board of
// queens, a board of knights); byte 1 holds the side to move (bit 0), the
// castling letters KQkq (bits 1-4), an en-passant square (bit 5), whether the
// pawn that stepped and one that can take it are put there (bit 6) and on which
// side the taker stands (bit 7); byte 2 holds the en-passant file (bits 0-2)
// and the number of edits (bits 3-7). Each edit is two bytes: a square with a
// shape (bits 6-7: the square, its rank, its file, the 3x3 block around it)
// and what goes there (value % 13: empty, or piece codes WHITE_PAWN and up).
//
// Each move byte picks a move among the generated ones (tactical first): the
// first legal one from index (byte % count) on; the moves end when the bytes
// do or no move is left.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum : int {
    CORE_BUILT = 1,
    CORE_DEPTH_SHIFT = 1,
    CORE_REPAIR = 8,
    CORE_BOOK = 16,
    CORE_WINDOW_SHIFT = 5,
};

// Most plies an input plays from its position.
inline constexpr size_t CORE_MAX_PLIES = 160;

struct CoreInput {
    int header = 0;
    std::string fen;             // the record handed to the FEN reader
    std::vector<uint8_t> moves;  // one byte per ply
};

CoreInput coreInputDecode(const uint8_t* data, size_t size);

// Depth of the sampled search of an input with this header.
inline int coreSearchDepth(int header) { return 1 + (header >> CORE_DEPTH_SHIFT & 3) % 3; }

// The bytes of an input: the header, the FEN record and the move bytes.
std::string coreInputEncode(int header, const std::string& fen, const std::vector<uint8_t>& moves);
