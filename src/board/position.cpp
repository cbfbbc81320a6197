#include "board/position.h"

#include <cstring>

#include "base/output.h"

Position* positionNew() {
    Position* position = g_new0(Position, 1);
    positionStartPosition(position);
    return position;
}

void positionFree(Position* position) { g_free(position); }

void emptyPosition(Position* position) { memset(position, 0, sizeof *position); }

void addPiece(Position* p, int piece, int sq) {
    Bitboard b = bitOf(sq);
    p->material[piece & 1] += PIECE_VALUE[piece];
    p->bitboard[piece & 1] ^= b;
    p->bitboard[piece] ^= b;
    p->occupied ^= b;
    p->key ^= zobrist.square[piece][sq];
    p->board[sq] = piece;
    p->pvtOpening += pvt[piece][sq].opening;
    p->pvtEndgame += pvt[piece][sq].endgame;
    p->phase += PIECE_PHASE[piece];
}

void positionStartPosition(Position* p) {
    static constexpr int BACK_RANK[8] = {WHITE_ROOK, WHITE_KNIGHT, WHITE_BISHOP, WHITE_QUEEN,
                                         WHITE_KING, WHITE_BISHOP, WHITE_KNIGHT, WHITE_ROOK};
    emptyPosition(p);
    for (int file = 0; file < 8; file++) {
        addPiece(p, BACK_RANK[file], squareMake(file, 0));
        addPiece(p, WHITE_PAWN, squareMake(file, 1));
        addPiece(p, BLACK_PAWN, squareMake(file, 6));
        addPiece(p, BACK_RANK[file] + 1, squareMake(file, 7));
    }
    p->player = WHITE;
    p->castling = 15;
    p->key ^= zobrist.castle[0] ^ zobrist.castle[1] ^ zobrist.castle[2] ^ zobrist.castle[3];
}

int moveMaterial(const Position* position, Move move) {
    switch (moveType(move)) {
        case MOVE_NORMAL:
        case MOVE_CASTLE:
            return 0;
        case MOVE_CAPTURE:
            return PIECE_VALUE[position->board[moveTo(move)]];
        case MOVE_EN_PASSANT:
            return 90;
        case MOVE_PROMOTE_KNIGHT:
            return 210;
        case MOVE_PROMOTE_BISHOP:
            return 235;
        case MOVE_PROMOTE_ROOK:
            return 410;
        case MOVE_PROMOTE_QUEEN:
            return 885;
        default:
            fatalError("Wrong move type (move material)!\n");
    }
}

namespace {

const char* skipBlanks(const char* s) {
    while (*s == ' ' || *s == '\t') s++;
    return s;
}

bool isFieldEnd(char c) { return c == 0 || c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Reads the piece placement into p; returns the text after it, or null when
// the record is not well formed (a bad letter has been reported already).
const char* readPlacement(Position* p, const char* s, bool* badChar) {
    int rank = 7, file = 0;
    for (; !isFieldEnd(*s); s++) {
        char c = *s;
        if (c >= '1' && c <= '8') {
            file += c - '0';
            if (file > 8) return nullptr;
        } else if (c == '/') {
            if (file != 8 || rank == 0) return nullptr;
            rank--;
            file = 0;
        } else {
            int piece = charToPiece(c);
            if (piece < 0) {
                *badChar = true;
                return nullptr;
            }
            if (file >= 8) return nullptr;
            addPiece(p, piece, squareMake(file, rank));
            file++;
        }
    }
    return rank == 0 && file == 8 ? s : nullptr;
}

// Castling rights whose king and rook still stand on their home squares.
int possibleCastling(const Position* p) {
    int rights = 0;
    if (p->board[E1] == WHITE_KING) {
        if (p->board[H1] == WHITE_ROOK) rights |= CASTLE_WHITE_KING;
        if (p->board[A1] == WHITE_ROOK) rights |= CASTLE_WHITE_QUEEN;
    }
    if (p->board[E8] == BLACK_KING) {
        if (p->board[H8] == BLACK_ROOK) rights |= CASTLE_BLACK_KING;
        if (p->board[A8] == BLACK_ROOK) rights |= CASTLE_BLACK_QUEEN;
    }
    return rights;
}

// Reads the record into p (cleared first). Returns 0 for a record that is not
// a legal position; a bad character has then been reported, anything else is
// for the caller to report.
int parseFen(Position* p, const char* fen, bool* badChar) {
    emptyPosition(p);
    const char* s = readPlacement(p, skipBlanks(fen), badChar);
    if (!s) return 0;

    s = skipBlanks(s);
    if (isFieldEnd(*s)) return 0;
    p->player = *s == 'b' ? BLACK : WHITE;
    while (!isFieldEnd(*s)) s++;

    s = skipBlanks(s);
    if (isFieldEnd(*s)) return 0;
    int castling = 0;
    for (; !isFieldEnd(*s); s++) {
        if (*s == 'K') castling |= CASTLE_WHITE_KING;
        if (*s == 'Q') castling |= CASTLE_WHITE_QUEEN;
        if (*s == 'k') castling |= CASTLE_BLACK_KING;
        if (*s == 'q') castling |= CASTLE_BLACK_QUEEN;
    }

    s = skipBlanks(s);
    if (isFieldEnd(*s)) return 0;
    // a1 is square 0: whether a square was given is kept apart from which.
    int enPassant = 0;
    bool enPassantGiven = *s != '-';
    if (enPassantGiven) {
        enPassant = stringToSquare(s);
        if (enPassant < 0) {
            *badChar = true;
            return 0;
        }
    }

    // One king a side, no pawn on a back rank, the side that just moved not in check.
    if (bitCount(p->bitboard[WHITE_KING]) != 1 || bitCount(p->bitboard[BLACK_KING]) != 1) return 0;
    if ((p->bitboard[WHITE_PAWN] | p->bitboard[BLACK_PAWN]) & 0xff000000000000ffULL) return 0;
    int us = p->player, them = us ^ 1;
    if (squareAttacked(p, bitFirst(p->bitboard[WHITE_KING + them]), us)) return 0;

    // The en-passant square lies behind a pawn of the other side that has just
    // stepped two squares; it is kept only when a pawn of the side to move can
    // take that pawn, as the move maker records it.
    if (enPassantGiven) {
        int stepped = us == WHITE ? enPassant - 8 : enPassant + 8;
        int origin = us == WHITE ? enPassant + 8 : enPassant - 8;
        if (squareRank(enPassant) != (us == WHITE ? 5 : 2)) return 0;
        if (p->board[stepped] != WHITE_PAWN + them || p->board[enPassant] != EMPTY ||
            p->board[origin] != EMPTY)
            return 0;
        Bitboard beside = 0;
        if (squareFile(stepped) > 0) beside |= bitOf(stepped - 1);
        if (squareFile(stepped) < 7) beside |= bitOf(stepped + 1);
        if (!(beside & p->bitboard[WHITE_PAWN + us])) enPassant = 0;
    }

    p->castling = castling & possibleCastling(p);
    p->enPassant = enPassant;
    if (p->player == BLACK) p->key ^= zobrist.turn;
    for (int i = 0; i < 4; i++)
        if (p->castling & (1 << i)) p->key ^= zobrist.castle[i];
    if (p->enPassant) p->key ^= zobrist.enPassant[p->enPassant & 7];
    p->check = positionIsInCheck(p);
    return 1;
}

}  // namespace

int positionSetFen(Position* position, const char* fen) {
    Position* scratch = g_new(Position, 1);
    bool badChar = false;
    int ok = parseFen(scratch, fen, &badChar);
    if (ok) {
        memcpy(position, scratch, sizeof *position);
    } else if (!badChar) {
        // Report the record itself: the text up to the line end.
        const char* start = skipBlanks(fen);
        int length = 0;
        while (start[length] && start[length] != '\n' && start[length] != '\r') length++;
        inputError("Wrong FEN (%.*s)!\n", length, start);
    }
    g_free(scratch);
    return ok;
}

void positionPrint(const Position* p) {
    OutBuffer out;
    char picture[8 * 9 + 1];
    int n = 0;
    for (int rank = 7; rank >= 0; rank--) {
        for (int file = 0; file < 8; file++) {
            int piece = p->board[squareMake(file, rank)];
            if (piece != EMPTY)
                picture[n++] = PIECE_CHARS[piece];
            else
                picture[n++] = (file + rank) & 1 ? '#' : ' ';
        }
        if (rank > 0) picture[n++] = '\n';
    }
    picture[n] = 0;
    out.printf("%s\n\n", picture);
    out.printf("Player: %s\n", p->player == WHITE ? "White" : "Black");
    out.printf("Ply:%d\n", p->ply);
    out.printf("En passant:%d\n", p->enPassant);
    out.printf("Capture:%c\n", PIECE_CHARS[p->capture]);
    out.printf("Castling:%d\n", p->castling);
    out.printf("Check:%d\n", p->check);
    out.printf("Static moves:%d\n", p->staticMoves);
    out.printf("Repeat:%d\n", positionRepeat(p));
    out.printf("Material:%d\n", p->material[WHITE] - p->material[BLACK]);
    out.printf("Phase:%d\n", p->phase);
    out.printf("PVT(opening/endgame):%d/%d\n", p->pvtOpening, p->pvtEndgame);
    out.printf("Key:%" G_GUINT64_FORMAT "\n", p->key);
    out.printf("History: ");
    char text[MOVE_TEXT_SIZE];
    for (int i = 0; i < p->ply; i++) {
        moveToString(p->history[i].move, text);
        out.printf("%s ", text);
    }
    out.printf("\n");
    out.write(true);
}

namespace {

[[noreturn]] void positionFail(const Position* p, const char* format, int a = 0, int b = 0) {
    positionPrint(p);
    fatalError(format, a, b);
}

}  // namespace

void positionIsOk(const Position* p) {
    int material = 0;
    for (int piece = WHITE_PAWN; piece <= BLACK_QUEEN; piece++)
        material += (piece & 1 ? -1 : 1) * bitCount(p->bitboard[piece]) * PIECE_VALUE[piece];
    if (material != p->material[WHITE] - p->material[BLACK])
        positionFail(p, "1. Material value is wrong (%d) !!!\n", material);

    for (int sq = 0; sq < 64; sq++) {
        Bitboard b = bitOf(sq);
        int piece = p->board[sq];
        if (piece == EMPTY) {
            if (p->bitboard[WHITE] & b)
                positionFail(p, "2. Bitboard is wrong (piece=%c,square=%d) !\n", 'X', sq);
            if (p->occupied & b)
                positionFail(p, "3. Bitboard is wrong (piece=%c,square=%d) !\n", 'X', sq);
            for (int code = 1; code < 14; code++)
                if (p->bitboard[code] & b)
                    positionFail(p, "2. Bitboard is wrong (piece=%c,square=%d) !\n",
                                 PIECE_CHARS[code], sq);
            continue;
        }
        int colour = piece & 1;
        if (!(p->occupied & b))
            positionFail(p, "3. Bitboard is wrong (piece=%c,square=%d) !\n", PIECE_CHARS[piece],
                         sq);
        if (!(p->bitboard[colour] & b))
            positionFail(p, "6. Bitboard is wrong (piece=%c,square=%d) !\n", PIECE_CHARS[colour],
                         sq);
        if (p->bitboard[colour ^ 1] & b)
            positionFail(p, "7. Bitboard is wrong (piece=%c,square=%d) !\n", PIECE_CHARS[colour],
                         sq);
        if (!(p->bitboard[piece] & b))
            positionFail(p, "8. Bitboard is wrong (piece=%c,square=%d) !\n", PIECE_CHARS[piece],
                         sq);
        for (int code = WHITE_PAWN; code < 14; code++)
            if (code != piece && (p->bitboard[code] & b))
                positionFail(p, "12. Bitboard is wrong (piece=%c,square=%d) !\n", PIECE_CHARS[code],
                             sq);
    }
    if (!p->bitboard[WHITE_KING]) positionFail(p, "13. Bitboard is wrong (without white king) !\n");
    if (!p->bitboard[BLACK_KING]) positionFail(p, "14. Bitboard is wrong (without black king) !\n");
}

void positionCompactHistory(Position* p) {
    if (p->ply < HISTORY_COMPACT_AT) return;
    int drop = p->ply - HISTORY_KEEP;
    memmove(p->history, p->history + drop, HISTORY_KEEP * sizeof(HistoryRecord));
    p->ply = HISTORY_KEEP;
}

void positionCopy(Position* to, const Position* from) {
    memcpy(to, from, offsetof(Position, history));
    int back = from->staticMoves > 1 ? from->staticMoves : 1;
    if (back > from->ply) back = from->ply;
    int first = from->ply - back;
    memcpy(to->history + first, from->history + first, back * sizeof(HistoryRecord));
}
