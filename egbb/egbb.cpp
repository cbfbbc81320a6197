// The endgame library the engine loads at run time: the two C entry points,
// answered from the project's own tables (see probe.h).
#include <cstring>
#include <memory>
#include <string>

#include "egbbapi.h"
#include "probe.h"

namespace {

std::unique_ptr<egbb::Library, void (*)(egbb::Library*)> library(nullptr, nullptr);

// Argument codes: queen 2, rook 3, bishop 4, knight 5, pawn 6, black 6 more.
constexpr int CODE_QUEEN = 2, CODE_PAWN = 6, CODE_BLACK = 6;

}  // namespace

extern "C" {

void load_egbb_5men(const char* path, int cacheBytes, int loadType) {
    (void)loadType;  // every table is probed through the cache
    library.reset();
    if (!path) return;
    size_t cache = cacheBytes > 0 ? size_t(cacheBytes) : size_t{1} << 20;
    library = egbb::openLibrary(path, cache);
}

int probe_egbb_5men(int player, int whiteKing, int blackKing, int piece1, int square1, int piece2,
                    int square2, int piece3, int square3) {
    using namespace egbb;
    if (!library || (player != 0 && player != 1)) return NOT_AVAILABLE;
    if (whiteKing < 0 || whiteKing > 63 || blackKing < 0 || blackKing > 63) return NOT_AVAILABLE;
    Board board;
    board.sideToMove = player;
    board.man[0] = KING;
    board.square[0] = uint8_t(whiteKing);
    board.man[1] = KING | BLACK << 3;
    board.square[1] = uint8_t(blackKing);
    board.count = 2;
    const int pairs[3][2] = {{piece1, square1}, {piece2, square2}, {piece3, square3}};
    for (const auto& pair : pairs) {
        int code = pair[0], square = pair[1];
        if (code == 0) continue;
        int black = code > CODE_BLACK, kind = code - black * CODE_BLACK;
        if (kind < CODE_QUEEN || kind > CODE_PAWN || square < 0 || square > 63)
            return NOT_AVAILABLE;
        // Queen 2 .. pawn 6 are our types QUEEN .. PAWN.
        board.man[board.count] = uint8_t((QUEEN + CODE_QUEEN - kind) | black << 3);
        board.square[board.count++] = uint8_t(square);
    }
    return probeBoard(*library, board);
}

}  // extern "C"
