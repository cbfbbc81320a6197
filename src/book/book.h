// The opening book: a Polyglot file kept open while the engine runs, searched
// entry by entry on disk (never loaded into memory), and a weighted random
// choice among the book moves of a position.
#pragma once

#include <cstdint>
#include <cstdio>

#include "board/move.h"
#include "board/position.h"
#include "book/polyglotkeys.h"

// One 16-byte entry of a Polyglot file, every number big-endian on disk.
struct BookEntry {
    uint64_t key;
    uint16_t move;  // to-square bits 0-5, from-square 6-11, promotion 12-14
    uint16_t weight;
    uint16_t learn[2];  // read but not used
};

// Book promotion codes (bits 12-14 of a book move).
enum : int {
    BOOK_PROMOTE_NONE = 0,
    BOOK_PROMOTE_KNIGHT = 1,
    BOOK_PROMOTE_BISHOP = 2,
    BOOK_PROMOTE_ROOK = 3,
    BOOK_PROMOTE_QUEEN = 4,
};

inline constexpr int BOOK_ENTRY_SIZE = 16;

// (Re)opens the book at the path. A path that cannot be opened, or that names
// no regular file, is not an error: "info string book (%s) not loaded" is
// written and the engine plays without a book.
void bookOpen(const char* path);

// Closes the book if one is open.
void bookClose();

// Whether a book file is open.
bool bookIsOpen();

// Polyglot key of the position.
uint64_t getBookKey(const Position* position);

// Reads a big-endian unsigned number of `bytes` bytes from the file into
// *value. Returns 1, or 0 at the end of the file; a read error is fatal.
int readInteger(FILE* file, int bytes, uint64_t* value);

// Reads entry `index` of the open book. Returns 1, or 0 when the entry lies
// past the end of the file (the file shrank while the book was open).
int readEntry(uint64_t index, BookEntry* entry);

// A legal move of the position chosen from the book in proportion to the
// entries' weights, or 0 when the book has none.
Move bookMove(Position* position);
