// The position record: bitboards, board, Zobrist key, material, piece-square
// sums, phase and the stack of saved states that lets every move be taken back.
#pragma once

#include <glib.h>

#include <cstdint>

#include "base/bit.h"
#include "base/piece.h"
#include "base/square.h"
#include "board/move.h"
#include "board/zobrist.h"
#include "tables/init.h"
#include "tables/magic.h"

// Castling-rights bits; bit value 1 << i has the key zobrist.castle[i].
enum : int {
    CASTLE_WHITE_KING = 1,
    CASTLE_WHITE_QUEEN = 2,
    CASTLE_BLACK_KING = 4,
    CASTLE_BLACK_QUEEN = 8,
};

// Saved state before one move: what moveUndo copies back.
struct HistoryRecord {
    uint64_t key;
    int32_t capture;
    int32_t staticMoves;
    int32_t enPassant;
    int32_t castling;
    int32_t check;
    int32_t material[2];
    int32_t pvtOpening;
    int32_t pvtEndgame;
    int32_t extension;
    int32_t phase;
    Move move;
};

// Room for the moves of a game plus the deepest search line. The position
// command keeps only the recent records of long games (positionCompactHistory)
// and the search stops making moves before the end (POSITION_PLY_LIMIT).
inline constexpr int HISTORY_SIZE = 500;
// Highest ply at which the search still makes moves; nodes above it return their
// static evaluation.
inline constexpr int POSITION_PLY_LIMIT = HISTORY_SIZE - 4;
// The position command compacts the history once a game reaches this many plies
// and keeps the last HISTORY_KEEP records: more than the fifty-move rule can
// ever look back over.
inline constexpr int HISTORY_COMPACT_AT = 256;
inline constexpr int HISTORY_KEEP = 128;

struct Position {
    Bitboard bitboard[14];  // per piece code; [WHITE] and [BLACK] are the colour unions
    Bitboard occupied;
    int32_t board[64];
    int32_t player;
    int32_t ply;
    uint64_t key;
    int32_t capture;
    int32_t staticMoves;
    int32_t enPassant;
    int32_t castling;
    int32_t check;
    int32_t material[2];
    int32_t pvtOpening;
    int32_t pvtEndgame;
    int32_t extension;
    int32_t phase;
    HistoryRecord history[HISTORY_SIZE];
};

inline constexpr int PIECE_VALUE[14] = {0, 0, 90, 90, 300, 300, 325, 325, 500, 500, 975, 975, 0, 0};
inline constexpr int PIECE_PHASE[14] = {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 4, 4, 0, 0};
inline constexpr char PIECE_CHARS[] = "XxPpNnBbRrQqKk";

Position* positionNew();
void positionFree(Position* position);
void emptyPosition(Position* position);
void addPiece(Position* position, int piece, int sq);
void positionStartPosition(Position* position);

// Material gained by a move, read before it is made; fatal for a type that
// gains nothing by definition (none, null, unknown).
int moveMaterial(const Position* position, Move move);

// Sets the position from a FEN record. A record that is not a legal chess
// position is an input error ("Wrong char (%c)!" or "Wrong FEN (%s)!"): the
// function returns 0 and the position is left as it was. Returns 1 on success.
int positionSetFen(Position* position, const char* fen);

// Dumps the position (picture, fields, history) and flushes.
void positionPrint(const Position* position);

// Verifies the redundant fields against each other; prints the position and
// raises a fatal error at the first disagreement.
void positionIsOk(const Position* position);

// The invariants cheap enough to check after every move in debug and sanitizer
// builds: the colour sets split the occupied squares, one king a side, the ply
// inside the history stack.
inline bool positionLooksSound(const Position* p) {
    const Bitboard* bb = p->bitboard;
    return p->occupied == (bb[WHITE] | bb[BLACK]) && !(bb[WHITE] & bb[BLACK]) && bb[WHITE_KING] &&
           !(bb[WHITE_KING] & (bb[WHITE_KING] - 1)) && bb[BLACK_KING] &&
           !(bb[BLACK_KING] & (bb[BLACK_KING] - 1)) && p->ply >= 0 && p->ply < HISTORY_SIZE;
}

// Whether the square is attacked by any man of the colour `by`.
inline bool squareAttacked(const Position* p, int sq, int by) {
    const Bitboard* bb = p->bitboard;
    return (rookAttacks(sq, p->occupied) & (bb[WHITE_ROOK + by] | bb[WHITE_QUEEN + by])) ||
           (bishopAttacks(sq, p->occupied) & (bb[WHITE_BISHOP + by] | bb[WHITE_QUEEN + by])) ||
           (attackKnight[sq] & bb[WHITE_KNIGHT + by]) ||
           (attackPawn[by ^ 1][sq] & bb[WHITE_PAWN + by]) || (attackKing[sq] & bb[WHITE_KING + by]);
}

// 1 if the king of the side to move is attacked (the enemy king is not tested:
// a king never gives check in a position reached by legal moves).
inline int positionIsInCheck(const Position* p) {
    int us = p->player, them = us ^ 1;
    int k = bitFirst(p->bitboard[WHITE_KING + us]);
    const Bitboard* bb = p->bitboard;
    return (rookAttacks(k, p->occupied) & (bb[WHITE_ROOK + them] | bb[WHITE_QUEEN + them])) ||
           (bishopAttacks(k, p->occupied) & (bb[WHITE_BISHOP + them] | bb[WHITE_QUEEN + them])) ||
           (attackKnight[k] & bb[WHITE_KNIGHT + them]) ||
           (attackPawn[us][k] & bb[WHITE_PAWN + them]);
}

// Number of earlier occurrences of the position since the last irreversible
// move, same side to move only.
inline int positionRepeat(const Position* p) {
    if (p->staticMoves < 4) return 0;
    // A compacted history may hold fewer records than staticMoves counts.
    int limit = p->staticMoves < p->ply ? p->staticMoves : p->ply;
    int count = 0;
    for (int i = 4; i <= limit;) {
        if (p->history[p->ply - i].key == p->key) {
            count++;
            i += 4;
        } else {
            i += 2;
        }
    }
    return count;
}

// Drops all but the last HISTORY_KEEP history records once ply has reached
// HISTORY_COMPACT_AT, so that games of any length fit the stack.
void positionCompactHistory(Position* position);

// Copies what a search needs of a position: every field, and of the history
// only the records that repetition and the last-move tests can read. The
// records keep their indices.
void positionCopy(Position* to, const Position* from);
