#include "moves/movedo.h"

#include <glib.h>

#include <cstddef>
#include <cstring>

#include "base/output.h"

namespace {

// The fields a move saves, key to phase, lie in the position in the order of
// the history record: saving and restoring are one block copy each. The copy
// in both directions also lets the processor forward the restored values
// straight to the next save, which field-by-field stores would not.
constexpr size_t SAVED_BYTES = offsetof(HistoryRecord, move);
static_assert(offsetof(Position, phase) + sizeof(int32_t) - offsetof(Position, key) == SAVED_BYTES);
static_assert(offsetof(Position, capture) - offsetof(Position, key) ==
              offsetof(HistoryRecord, capture));
static_assert(offsetof(Position, staticMoves) - offsetof(Position, key) ==
              offsetof(HistoryRecord, staticMoves));
static_assert(offsetof(Position, enPassant) - offsetof(Position, key) ==
              offsetof(HistoryRecord, enPassant));
static_assert(offsetof(Position, castling) - offsetof(Position, key) ==
              offsetof(HistoryRecord, castling));
static_assert(offsetof(Position, check) - offsetof(Position, key) ==
              offsetof(HistoryRecord, check));
static_assert(offsetof(Position, material) - offsetof(Position, key) ==
              offsetof(HistoryRecord, material));
static_assert(offsetof(Position, pvtOpening) - offsetof(Position, key) ==
              offsetof(HistoryRecord, pvtOpening));
static_assert(offsetof(Position, pvtEndgame) - offsetof(Position, key) ==
              offsetof(HistoryRecord, pvtEndgame));
static_assert(offsetof(Position, extension) - offsetof(Position, key) ==
              offsetof(HistoryRecord, extension));
static_assert(offsetof(Position, phase) - offsetof(Position, key) ==
              offsetof(HistoryRecord, phase));

// Castling rights a move of the given colour gives up by leaving a square
// (its king or rook starts there), and the rights of the other colour a
// capture takes away by landing on a rook's home square.
constexpr int castlingLostFrom(int colour, int sq) {
    if (colour == WHITE)
        return sq == E1   ? CASTLE_WHITE_KING | CASTLE_WHITE_QUEEN
               : sq == H1 ? CASTLE_WHITE_KING
               : sq == A1 ? CASTLE_WHITE_QUEEN
                          : 0;
    return sq == E8   ? CASTLE_BLACK_KING | CASTLE_BLACK_QUEEN
           : sq == H8 ? CASTLE_BLACK_KING
           : sq == A8 ? CASTLE_BLACK_QUEEN
                      : 0;
}

constexpr int castlingLostTo(int colour, int sq) {
    if (colour == WHITE) return sq == H8 ? CASTLE_BLACK_KING : sq == A8 ? CASTLE_BLACK_QUEEN : 0;
    return sq == H1 ? CASTLE_WHITE_KING : sq == A1 ? CASTLE_WHITE_QUEEN : 0;
}

struct CastlingTables {
    uint8_t from[2][64];
    uint8_t to[2][64];
};

constexpr CastlingTables makeCastlingTables() {
    CastlingTables t{};
    for (int colour = 0; colour < 2; colour++)
        for (int sq = 0; sq < 64; sq++) {
            t.from[colour][sq] = static_cast<uint8_t>(castlingLostFrom(colour, sq));
            t.to[colour][sq] = static_cast<uint8_t>(castlingLostTo(colour, sq));
        }
    return t;
}

constexpr CastlingTables CASTLING_LOST = makeCastlingTables();

// Clears the rights among `lost` that are still held, with their keys.
inline void castlingClear(Position* p, int lost) {
    lost &= p->castling;
    if (!lost) return;
    p->castling ^= lost;
    while (lost) {
        p->key ^= zobrist.castle[__builtin_ctz(lost)];
        lost &= lost - 1;
    }
}

// Moves a man: bitboards (not `occupied`), board, key and piece-square sums.
inline void pieceMove(Position* p, int piece, int from, int to) {
    Bitboard fromTo = bitOf(from) | bitOf(to);
    p->bitboard[piece & 1] ^= fromTo;
    p->bitboard[piece] ^= fromTo;
    p->key ^= zobrist.square[piece][from] ^ zobrist.square[piece][to];
    p->board[from] = EMPTY;
    p->board[to] = piece;
    p->pvtOpening += pvt[piece][to].opening - pvt[piece][from].opening;
    p->pvtEndgame += pvt[piece][to].endgame - pvt[piece][from].endgame;
}

// Takes a man off: bitboards (not `occupied`), key, sums and material; the
// board square is left to the caller.
inline void pieceRemove(Position* p, int piece, int sq) {
    Bitboard b = bitOf(sq);
    p->bitboard[piece & 1] ^= b;
    p->bitboard[piece] ^= b;
    p->key ^= zobrist.square[piece][sq];
    p->pvtOpening -= pvt[piece][sq].opening;
    p->pvtEndgame -= pvt[piece][sq].endgame;
    p->material[piece & 1] -= PIECE_VALUE[piece];
}

// Whether the king of `colour` is attacked. The same tests as squareAttacked,
// each slider lookup skipped when no enemy slider stands on the king's lines.
inline bool kingAttacked(const Position* p, int colour) {
    const Bitboard* bb = p->bitboard;
    const int them = colour ^ 1;
    const int k = bitFirst(bb[WHITE_KING + colour]);
    const Bitboard queens = bb[WHITE_QUEEN + them];
    const Bitboard rooks = (bb[WHITE_ROOK + them] | queens) & maskRook[k];
    const Bitboard bishops = (bb[WHITE_BISHOP + them] | queens) & maskBishop[k];
    return (rooks && (rookAttacks(k, p->occupied) & rooks)) ||
           (bishops && (bishopAttacks(k, p->occupied) & bishops)) ||
           (attackKnight[k] & bb[WHITE_KNIGHT + them]) ||
           (attackPawn[colour][k] & bb[WHITE_PAWN + them]) ||
           (attackKing[k] & bb[WHITE_KING + them]);
}

// positionIsInCheck without the lookups that cannot hit (a king never gives check).
inline int sideToMoveInCheck(const Position* p) {
    const Bitboard* bb = p->bitboard;
    const int us = p->player, them = us ^ 1;
    const int k = bitFirst(bb[WHITE_KING + us]);
    const Bitboard queens = bb[WHITE_QUEEN + them];
    const Bitboard rooks = (bb[WHITE_ROOK + them] | queens) & maskRook[k];
    const Bitboard bishops = (bb[WHITE_BISHOP + them] | queens) & maskBishop[k];
    return (rooks && (rookAttacks(k, p->occupied) & rooks)) ||
           (bishops && (bishopAttacks(k, p->occupied) & bishops)) ||
           (attackKnight[k] & bb[WHITE_KNIGHT + them]) ||
           (attackPawn[us][k] & bb[WHITE_PAWN + them]);
}

inline void normalMoveDo(Position* p, Move move) {
    const int from = moveFrom(move), to = moveTo(move);
    const int piece = p->board[from];
    const int us = piece & 1;
    pieceMove(p, piece, from, to);
    p->occupied ^= bitOf(from) | bitOf(to);
    if (piece <= BLACK_PAWN) {
        p->staticMoves = 0;
        if (piece == WHITE_PAWN) {
            if (to - from == 16) {
                // Record the square only when a black pawn stands beside the
                // stepped pawn, ready to take it.
                Bitboard beside = ((bitOf(to) >> 1) & NOT_FILE_H) | ((bitOf(to) << 1) & NOT_FILE_A);
                if (beside & p->bitboard[BLACK_PAWN]) {
                    p->enPassant = to - 8;
                    p->key ^= zobrist.enPassant[(to - 8) & 7];
                }
            } else if (to >= 48) {
                p->extension = 1;
            }
        } else {
            if (from - to == 16) {
                Bitboard beside = ((bitOf(to) >> 1) & NOT_FILE_H) | ((bitOf(to) << 1) & NOT_FILE_A);
                if (beside & p->bitboard[WHITE_PAWN]) {
                    p->enPassant = to + 8;
                    p->key ^= zobrist.enPassant[(to + 8) & 7];
                }
            } else if (to <= 15) {
                p->extension = 1;
            }
        }
    }
    if (p->castling) castlingClear(p, CASTLING_LOST.from[us][from]);
}

inline void captureMoveDo(Position* p, Move move) {
    const int from = moveFrom(move), to = moveTo(move);
    const int piece = p->board[from];
    const int victim = p->board[to];
    const int us = piece & 1;
    pieceMove(p, piece, from, to);
    pieceRemove(p, victim, to);
    p->occupied ^= bitOf(from);
    p->staticMoves = 0;
    p->capture = victim;
    p->phase -= PIECE_PHASE[victim];
    if ((piece == WHITE_PAWN && to >= 48) || (piece == BLACK_PAWN && to <= 15)) p->extension = 1;
    if (p->castling) {
        castlingClear(p, CASTLING_LOST.from[us][from]);
        castlingClear(p, CASTLING_LOST.to[us][to]);
    }
}

inline void enPassantMoveDo(Position* p, Move move) {
    const int from = moveFrom(move), to = moveTo(move);
    const bool white = to >= 24;
    const int taken = white ? to - 8 : to + 8;
    pieceMove(p, white ? WHITE_PAWN : BLACK_PAWN, from, to);
    pieceRemove(p, white ? BLACK_PAWN : WHITE_PAWN, taken);
    p->board[taken] = EMPTY;
    p->occupied ^= bitOf(from) | bitOf(to) | bitOf(taken);
    p->staticMoves = 0;
}

// whitePiece is the white code of the new man (knight to queen).
inline void promoteMoveDo(Position* p, Move move, int whitePiece) {
    const int from = moveFrom(move), to = moveTo(move);
    const int us = to > 24 ? WHITE : BLACK, them = us ^ 1;
    const int pawn = WHITE_PAWN + us;
    const int piece = whitePiece + us;
    const int victim = p->board[to];
    const Bitboard fromBit = bitOf(from), toBit = bitOf(to);

    p->bitboard[us] ^= fromBit | toBit;
    p->bitboard[pawn] ^= fromBit;
    p->bitboard[piece] ^= toBit;
    p->occupied ^= fromBit | toBit;
    p->key ^= zobrist.square[pawn][from] ^ zobrist.square[piece][to];
    p->board[from] = EMPTY;
    p->board[to] = piece;
    p->pvtOpening += pvt[piece][to].opening - pvt[pawn][from].opening;
    p->pvtEndgame += pvt[piece][to].endgame - pvt[pawn][from].endgame;

    p->staticMoves = 0;
    p->material[us] += PIECE_VALUE[piece] - 90;
    p->phase += PIECE_PHASE[piece];

    if (victim != EMPTY) {
        if (p->castling) castlingClear(p, CASTLING_LOST.to[us][to]);
        p->capture = victim;
        p->bitboard[them] ^= toBit;
        p->bitboard[victim] ^= toBit;
        p->occupied ^= toBit;
        p->key ^= zobrist.square[victim][to];
        p->pvtOpening -= pvt[victim][to].opening;
        p->pvtEndgame -= pvt[victim][to].endgame;
        p->material[them] -= PIECE_VALUE[victim];
        p->phase -= PIECE_PHASE[victim];
        p->extension = 1;
    }
}

// Castling safety tests: 1 when none of the three king squares is attacked.
int whiteCastleKingSide(const Position* p) {
    return !squareAttacked(p, E1, BLACK) && !squareAttacked(p, F1, BLACK) &&
           !squareAttacked(p, G1, BLACK);
}

int whiteCastleQueenSide(const Position* p) {
    return !squareAttacked(p, C1, BLACK) && !squareAttacked(p, D1, BLACK) &&
           !squareAttacked(p, E1, BLACK);
}

int blackCastleKingSide(const Position* p) {
    return !squareAttacked(p, E8, WHITE) && !squareAttacked(p, F8, WHITE) &&
           !squareAttacked(p, G8, WHITE);
}

int blackCastleQueenSide(const Position* p) {
    return !squareAttacked(p, C8, WHITE) && !squareAttacked(p, D8, WHITE) &&
           !squareAttacked(p, E8, WHITE);
}

// Castling, complete with the turn change and the check flag. Returns 0, with
// the position as moveDo found it, when a king square is attacked.
int castleMoveDo(Position* p, Move move) {
    const int to = moveTo(move);
    const bool white = to <= 23;
    const bool kingSide = white ? to > 4 : to > 60;
    int safe = white ? (kingSide ? whiteCastleKingSide(p) : whiteCastleQueenSide(p))
                     : (kingSide ? blackCastleKingSide(p) : blackCastleQueenSide(p));
    if (!safe) {
        // ply was not raised: the record just written is abandoned.
        const HistoryRecord& r = p->history[p->ply];
        p->key = r.key;
        p->enPassant = r.enPassant;
        p->capture = r.capture;
        p->staticMoves = r.staticMoves;
        p->extension = r.extension;
        return 0;
    }
    const int colour = white ? WHITE : BLACK;
    const int base = white ? 0 : 56;
    const int kingFrom = base + 4, kingTo = base + (kingSide ? 6 : 2);
    const int rookFrom = base + (kingSide ? 7 : 0), rookTo = base + (kingSide ? 5 : 3);
    castlingClear(
        p, white ? CASTLE_WHITE_KING | CASTLE_WHITE_QUEEN : CASTLE_BLACK_KING | CASTLE_BLACK_QUEEN);
    pieceMove(p, WHITE_KING + colour, kingFrom, kingTo);
    pieceMove(p, WHITE_ROOK + colour, rookFrom, rookTo);
    p->occupied ^= bitOf(kingFrom) | bitOf(kingTo) | bitOf(rookFrom) | bitOf(rookTo);
    // Castling counts as irreversible for the repetition scan.
    p->staticMoves = 0;
    p->key ^= zobrist.turn;
    p->player ^= 1;
    p->ply++;
    p->check = sideToMoveInCheck(p);
    if (p->check) p->extension = 1;
    return 1;
}

// The undo helpers put the men back; moveUndo restores everything else.
inline void normalMoveUndo(Position* p, Move move) {
    const int from = moveFrom(move), to = moveTo(move);
    const int piece = p->board[to];
    const Bitboard fromTo = bitOf(from) | bitOf(to);
    p->bitboard[piece & 1] ^= fromTo;
    p->bitboard[piece] ^= fromTo;
    p->occupied ^= fromTo;
    p->board[from] = piece;
    p->board[to] = EMPTY;
}

inline void captureMoveUndo(Position* p, Move move) {
    const int from = moveFrom(move), to = moveTo(move);
    const int piece = p->board[to];
    const int victim = p->capture;
    const Bitboard fromTo = bitOf(from) | bitOf(to);
    p->bitboard[piece & 1] ^= fromTo;
    p->bitboard[piece] ^= fromTo;
    p->bitboard[(piece & 1) ^ 1] ^= bitOf(to);
    p->bitboard[victim] ^= bitOf(to);
    p->occupied ^= bitOf(from);
    p->board[from] = piece;
    p->board[to] = victim;
}

inline void enPassantMoveUndo(Position* p, Move move) {
    const int from = moveFrom(move), to = moveTo(move);
    const int us = to >= 24 ? WHITE : BLACK, them = us ^ 1;
    const int taken = us == WHITE ? to - 8 : to + 8;
    const Bitboard fromTo = bitOf(from) | bitOf(to);
    p->bitboard[us] ^= fromTo;
    p->bitboard[WHITE_PAWN + us] ^= fromTo;
    p->bitboard[them] ^= bitOf(taken);
    p->bitboard[WHITE_PAWN + them] ^= bitOf(taken);
    p->occupied ^= fromTo | bitOf(taken);
    p->board[from] = WHITE_PAWN + us;
    p->board[to] = EMPTY;
    p->board[taken] = WHITE_PAWN + them;
}

inline void castleMoveUndo(Position* p, Move move) {
    const int to = moveTo(move);
    const int colour = to <= 23 ? WHITE : BLACK;
    const bool kingSide = colour == WHITE ? to > 4 : to > 60;
    const int base = colour == WHITE ? 0 : 56;
    const Bitboard king = bitOf(base + 4) | bitOf(base + (kingSide ? 6 : 2));
    const int rookFrom = base + (kingSide ? 7 : 0), rookTo = base + (kingSide ? 5 : 3);
    const Bitboard rook = bitOf(rookFrom) | bitOf(rookTo);
    p->bitboard[colour] ^= king | rook;
    p->bitboard[WHITE_KING + colour] ^= king;
    p->bitboard[WHITE_ROOK + colour] ^= rook;
    p->occupied ^= king | rook;
    p->board[base + 4] = WHITE_KING + colour;
    p->board[base + (kingSide ? 6 : 2)] = EMPTY;
    p->board[rookFrom] = WHITE_ROOK + colour;
    p->board[rookTo] = EMPTY;
}

inline void promoteMoveUndo(Position* p, Move move) {
    const int from = moveFrom(move), to = moveTo(move);
    const int us = to > 24 ? WHITE : BLACK, them = us ^ 1;
    const int piece = moveType(move) - 1 + us;
    const int victim = p->capture;
    const Bitboard fromBit = bitOf(from), toBit = bitOf(to);
    p->bitboard[us] ^= fromBit | toBit;
    p->bitboard[WHITE_PAWN + us] ^= fromBit;
    p->bitboard[piece] ^= toBit;
    p->board[from] = WHITE_PAWN + us;
    if (victim != EMPTY) {
        p->bitboard[them] ^= toBit;
        p->bitboard[victim] ^= toBit;
        p->occupied ^= fromBit;
        p->board[to] = victim;
    } else {
        p->occupied ^= fromBit | toBit;
        p->board[to] = EMPTY;
    }
}

}  // namespace

int positionGood(const Position* position) { return !kingAttacked(position, position->player ^ 1); }

namespace {

// Debug and sanitizer builds check the position after every make and unmake:
// the cheap invariants there, the whole consistency check in debug builds.
inline void checkPosition([[maybe_unused]] const Position* p) {
    KORVAN_ASSERT(positionLooksSound(p));
#ifndef NDEBUG
    positionIsOk(p);
#endif
}

}  // namespace

int moveDo(Position* p, Move move) {
    // The search stops making moves well before the end of the stack and the
    // position command compacts it; running past it would corrupt memory.
    if (p->ply >= HISTORY_SIZE) fatalError("History overflow!\n");

    HistoryRecord* r = &p->history[p->ply];
    memcpy(r, &p->key, SAVED_BYTES);
    r->move = move;

    if (p->enPassant) {
        p->key ^= zobrist.enPassant[p->enPassant & 7];
        p->enPassant = 0;
    }
    p->capture = 0;
    p->extension = 0;
    p->staticMoves++;

    switch (moveType(move)) {
        case MOVE_NORMAL:
            normalMoveDo(p, move);
            break;
        case MOVE_CAPTURE:
            captureMoveDo(p, move);
            break;
        case MOVE_EN_PASSANT:
            enPassantMoveDo(p, move);
            break;
        case MOVE_CASTLE: {
            int made = castleMoveDo(p, move);
            if (made) checkPosition(p);
            return made;
        }
        case MOVE_PROMOTE_KNIGHT:
            promoteMoveDo(p, move, WHITE_KNIGHT);
            break;
        case MOVE_PROMOTE_BISHOP:
            promoteMoveDo(p, move, WHITE_BISHOP);
            break;
        case MOVE_PROMOTE_ROOK:
            promoteMoveDo(p, move, WHITE_ROOK);
            break;
        case MOVE_PROMOTE_QUEEN:
            promoteMoveDo(p, move, WHITE_QUEEN);
            break;
        case MOVE_NULL:
            p->player ^= 1;
            p->ply++;
            p->staticMoves = 0;
            p->key ^= zobrist.turn;
            checkPosition(p);
            return 1;
        default:
            fatalError("Wrong move type!\n");
    }

    p->key ^= zobrist.turn;
    p->player ^= 1;
    p->ply++;
    // The mover's king may not be left attacked, not even by the enemy king.
    if (kingAttacked(p, p->player ^ 1)) {
        moveUndo(p);
        return 0;
    }
    p->check = sideToMoveInCheck(p);
    if (p->check) p->extension = 1;
    checkPosition(p);
    return 1;
}

void moveUndo(Position* p) {
    p->ply--;
    const HistoryRecord* r = &p->history[p->ply];
    const Move move = r->move;
    switch (moveType(move)) {
        case MOVE_NORMAL:
            normalMoveUndo(p, move);
            break;
        case MOVE_CAPTURE:
            captureMoveUndo(p, move);
            break;
        case MOVE_EN_PASSANT:
            enPassantMoveUndo(p, move);
            break;
        case MOVE_CASTLE:
            castleMoveUndo(p, move);
            break;
        case MOVE_PROMOTE_KNIGHT:
        case MOVE_PROMOTE_BISHOP:
        case MOVE_PROMOTE_ROOK:
        case MOVE_PROMOTE_QUEEN:
            promoteMoveUndo(p, move);
            break;
        case MOVE_NULL:
            break;
        default:
            fatalError("\nWrong move type!\n");
    }
    memcpy(&p->key, r, SAVED_BYTES);
    p->player ^= 1;
    checkPosition(p);
}
