// The library's tables at run time: the files of a directory, their headers in
// memory, and a block cache shared by every probing thread without a global
// lock (a reader checks a slot's sequence number around its read; a writer
// takes only the lock of the slot's set).
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "format.h"

namespace egbb {

constexpr int NOT_AVAILABLE = 99999;
constexpr int WIN_SCORE = 20000;
// What a ply of the distance to mate costs: the search takes as much off a
// bitbase win for each ply below the root, so a shorter mate in the tables is
// worth exactly what a shallower one in the tree is, and the search heads for
// it instead of shuffling among equally won positions.
constexpr int PLY_SCORE = 40;

struct Library;

// Opens every table file of the directory; damaged ones are refused with a
// line on standard error. The cache gets about `cacheBytes` bytes.
std::unique_ptr<Library, void (*)(Library*)> openLibrary(const std::string& directory,
                                                         size_t cacheBytes);
// WIN_SCORE - PLY_SCORE * plies to mate for a win, its negation for a loss, 0
// for a draw,
// NOT_AVAILABLE for an illegal board or one no table covers.
int probeBoard(Library& library, const Board& board);
int libraryTables(const Library& library);

}  // namespace egbb
