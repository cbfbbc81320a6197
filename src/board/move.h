// The move word: type in bits 0-3, from-square in bits 4-9, to-square in bits
// 10-15, the rest 0. The word 0 means no move.
#pragma once

#include <cstdint>

using Move = uint32_t;

enum : int {
    MOVE_NONE = 0,
    MOVE_NORMAL = 1,
    MOVE_CAPTURE = 2,
    MOVE_EN_PASSANT = 3,
    MOVE_CASTLE = 4,
    MOVE_PROMOTE_KNIGHT = 5,
    MOVE_PROMOTE_BISHOP = 7,
    MOVE_PROMOTE_ROOK = 9,
    MOVE_PROMOTE_QUEEN = 11,
    MOVE_NULL = 12,
};

inline constexpr Move moveMake(int type, int from, int to) {
    return static_cast<Move>(type | from << 4 | to << 10);
}
inline constexpr int moveType(Move m) { return m & 0xf; }
inline constexpr int moveFrom(Move m) { return (m >> 4) & 0x3f; }
inline constexpr int moveTo(Move m) { return (m >> 10) & 0x3f; }
inline constexpr bool moveIsPromotion(Move m) {
    int t = moveType(m);
    return t == MOVE_PROMOTE_KNIGHT || t == MOVE_PROMOTE_BISHOP || t == MOVE_PROMOTE_ROOK ||
           t == MOVE_PROMOTE_QUEEN;
}

inline constexpr Move MOVE_WORD_NULL = MOVE_NULL;
inline constexpr Move CASTLE_E1G1 = 0x1844;
inline constexpr Move CASTLE_E1C1 = 0x0844;
inline constexpr Move CASTLE_E8G8 = 0xFBC4;
inline constexpr Move CASTLE_E8C8 = 0xEBC4;

// Longest move text ("e7e8q") plus its terminating zero.
inline constexpr int MOVE_TEXT_SIZE = 6;

// Writes the protocol text of the move ("e2e4", "e7e8q", "null").
void moveToString(Move m, char* out);

// Prints the move text and one blank, then flushes.
void movePrint(Move m);
