#include "book/book.h"

#include <glib.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "base/bit.h"
#include "base/output.h"
#include "base/piece.h"
#include "base/square.h"
#include "moves/picker.h"

namespace {

// The open book: its file, its size in entries (read again at every lookup)
// and the generator of its weighted choices.
struct OpenBook {
    FILE* file = nullptr;
    uint64_t entries = 0;
    GRand* random = nullptr;
};
OpenBook book;

// Size of the open file in bytes; `caller` names the routine in a fatal error.
uint64_t bookFileSize(const char* caller) {
    if (fseek(book.file, 0, SEEK_END) != 0)
        fatalError("%s(): fseek(): %s\n", caller, strerror(errno));
    long size = ftell(book.file);
    if (size < 0) fatalError("%s(): ftell(): %s\n", caller, strerror(errno));
    return static_cast<uint64_t>(size);
}

// Book promotion code of an engine move: 0 for a move that promotes nothing.
int bookPromotion(Move move) {
    switch (moveType(move)) {
        case MOVE_PROMOTE_KNIGHT:
            return BOOK_PROMOTE_KNIGHT;
        case MOVE_PROMOTE_BISHOP:
            return BOOK_PROMOTE_BISHOP;
        case MOVE_PROMOTE_ROOK:
            return BOOK_PROMOTE_ROOK;
        case MOVE_PROMOTE_QUEEN:
            return BOOK_PROMOTE_QUEEN;
        default:
            return BOOK_PROMOTE_NONE;
    }
}

// The legal move of the position that the book move stands for, or 0.
Move bookMoveToMove(Position* position, unsigned bookMoveWord) {
    int to = bookMoveWord & 63;
    int from = (bookMoveWord >> 6) & 63;
    int promotion = (bookMoveWord >> 12) & 7;

    // The book writes castling as the king taking its own rook.
    int man = position->board[from];
    if (man == WHITE_KING || man == BLACK_KING) {
        if (from == E1 && to == H1)
            to = G1;
        else if (from == E1 && to == A1)
            to = C1;
        else if (from == E8 && to == H8)
            to = G8;
        else if (from == E8 && to == A8)
            to = C8;
    }

    MoveList list;
    legalMovesGenerate(position, &list);
    for (uint32_t i = 0; i < list.count; i++) {
        Move move = list.moves[i];
        // A promotion code on a move that promotes nothing marks a broken entry.
        if (moveFrom(move) == from && moveTo(move) == to && bookPromotion(move) == promotion)
            return move;
    }
    return 0;
}

}  // namespace

void bookOpen(const char* bookPath) {
    if (book.file) bookClose();

    // Only a regular file can be a book: opening a FIFO would block the engine,
    // and a directory opens but fails at the first read.
    struct stat status;
    if (stat(bookPath, &status) != 0 || !S_ISREG(status.st_mode) ||
        !(book.file = fopen(bookPath, "rb"))) {
        outPrintf(false, "info string book (%s) not loaded\n", bookPath);
        return;
    }
    outPrintf(false, "info string book (%s) loaded\n", bookPath);
    book.entries = bookFileSize("bookOpen") / BOOK_ENTRY_SIZE;
    book.random = g_rand_new();
}

void bookClose() {
    if (book.file && fclose(book.file) != 0) {
        book.file = nullptr;
        fatalError("bookClose(): fclose(): %s\n", strerror(errno));
    }
    book.file = nullptr;
    book.entries = 0;
    if (book.random) g_rand_free(book.random);
    book.random = nullptr;
}

bool bookIsOpen() { return book.file != nullptr; }

uint64_t getBookKey(const Position* position) {
    uint64_t key = 0;
    for (int piece = WHITE_PAWN; piece <= BLACK_KING; piece++) {
        // Book kinds run black pawn 0, white pawn 1, ..., white king 11.
        int kind = (piece - WHITE_PAWN) ^ 1;
        for (Bitboard b = position->bitboard[piece]; b;)
            key ^= POLYGLOT_RANDOM[64 * kind + bitPopFirst(b)];
    }
    for (int i = 0; i < 4; i++)
        if (position->castling & (1 << i)) key ^= POLYGLOT_RANDOM[768 + i];
    if (position->enPassant) key ^= POLYGLOT_RANDOM[772 + squareFile(position->enPassant)];
    if (position->player == WHITE) key ^= POLYGLOT_RANDOM[780];
    return key;
}

int readInteger(FILE* file, int bytes, uint64_t* value) {
    uint64_t result = 0;
    for (int i = 0; i < bytes; i++) {
        int c = getc_unlocked(file);  // the book is read by one thread at a time
        if (c == EOF) {
            if (ferror(file)) fatalError("readInteger(): fgetc(): %s\n", strerror(errno));
            return 0;
        }
        result = result << 8 | static_cast<unsigned>(c);
    }
    *value = result;
    return 1;
}

int readEntry(uint64_t index, BookEntry* entry) {
    if (fseek(book.file, static_cast<long>(index * BOOK_ENTRY_SIZE), SEEK_SET) != 0)
        fatalError("readEntry(): fseek(): %s\n", strerror(errno));
    uint64_t key, move, weight, learn0, learn1;
    if (!readInteger(book.file, 8, &key) || !readInteger(book.file, 2, &move) ||
        !readInteger(book.file, 2, &weight) || !readInteger(book.file, 2, &learn0) ||
        !readInteger(book.file, 2, &learn1))
        return 0;
    entry->key = key;
    entry->move = static_cast<uint16_t>(move);
    entry->weight = static_cast<uint16_t>(weight);
    entry->learn[0] = static_cast<uint16_t>(learn0);
    entry->learn[1] = static_cast<uint16_t>(learn1);
    return 1;
}

Move bookMove(Position* position) {
    if (!book.file) return 0;
    // The file may have been rewritten since it was opened: search what is
    // there now, and give up quietly if it shrinks under the lookup.
    book.entries = bookFileSize("bookMove") / BOOK_ENTRY_SIZE;
    if (book.entries == 0) return 0;
    uint64_t target = getBookKey(position);

    // First entry whose key is not below the target.
    uint64_t lo = 0, hi = book.entries - 1;
    BookEntry entry;
    while (lo < hi) {
        uint64_t mid = lo + (hi - lo) / 2;
        if (!readEntry(mid, &entry)) return 0;
        if (entry.key < target)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (!readEntry(lo, &entry) || entry.key != target) return 0;

    // One pass over the run: each entry replaces the choice with probability
    // weight / (sum of weights so far), so in the end every entry is chosen with
    // probability weight / total and weight-0 entries never are.
    unsigned chosen = 0;
    uint64_t total = 0;
    for (uint64_t index = lo;;) {
        total += entry.weight;
        uint32_t r = g_rand_int(book.random);
        // Uniform in 0 .. total - 1, computed exactly.
        uint64_t value = static_cast<uint64_t>((static_cast<unsigned __int128>(r) * total) >> 32);
        if (entry.weight > value) chosen = entry.move;
        if (++index >= book.entries) break;
        if (!readEntry(index, &entry)) return 0;
        if (entry.key != target) break;
    }
    if (!chosen) return 0;
    return bookMoveToMove(position, chosen);
}
