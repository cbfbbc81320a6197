// The endgame bitbase library the engine loads at run time: probes answered from
// Gaviota tablebases. The engine sees only the two C entry points below.
//
// load_egbb_5men(directory, cache bytes, load mode) opens the tables found in
// the directory; probe_egbb_5men(side to move, white king, black king, then up
// to three (code, square) pairs) answers with a score for the side to move:
// EGBB_WIN minus the plies to mate for a win, the negation for a loss, 0 for a
// draw, and 99999 for every position the tables do not cover or that is not a
// legal position.
#include <dirent.h>
#include <gtb-probe.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "egbbapi.h"

namespace {

constexpr int NOT_AVAILABLE = 99999;
// Score of a win with mate on the board; a win that needs n more plies scores
// EGBB_WIN - n.
constexpr int EGBB_WIN = 20000;
// Codes of the probe arguments: queen 2, rook 3, bishop 4, knight 5, pawn 6,
// black men 6 more; 0 marks an empty pair.
constexpr int CODE_QUEEN = 2, CODE_PAWN = 6, CODE_BLACK = 6;
// Longest directory the tablebase code accepts (with room for its file names).
constexpr size_t MAX_DIRECTORY = tb_MAXPATHLEN - 64;

// The tablebase code gives wrong answers when several threads probe at once,
// so every call into it is made under this lock.
std::mutex tableLock;
const char** tablePaths = nullptr;
bool tablesReady = false;

void tablesDone() {
    if (tablePaths) {
        tbcache_done();
        tb_done();
        tablePaths = tbpaths_done(tablePaths);
    }
    tablesReady = false;
}

// The compression scheme of the table files in the directory (they end in
// ".gtb.cp1" .. ".gtb.cp4"), the highest when several are there; cp4 when
// there are none.
int tableScheme(const char* directory) {
    int best = 0;
    if (DIR* dir = opendir(directory)) {
        while (const dirent* entry = readdir(dir)) {
            const char* dot = strstr(entry->d_name, ".gtb.cp");
            if (!dot || strlen(dot) != 8) continue;
            int scheme = dot[7] - '0';
            if (scheme >= tb_CP1 && scheme <= tb_CP4 && scheme > best) best = scheme;
        }
        closedir(dir);
    }
    return best ? best : tb_CP4;
}

inline int rankOf(int square) { return square >> 3; }
inline int distance(int a, int b) {
    int files = (a & 7) - (b & 7), ranks = rankOf(a) - rankOf(b);
    return std::max(files < 0 ? -files : files, ranks < 0 ? -ranks : ranks);
}

// Frees the tables when the engine unloads the library.
__attribute__((destructor)) void egbbUnload() {
    std::lock_guard<std::mutex> lock(tableLock);
    tablesDone();
}

}  // namespace

extern "C" {

void load_egbb_5men(const char* path, int cacheBytes, int loadType) {
    (void)loadType;  // the tables are always probed through the cache
    std::lock_guard<std::mutex> lock(tableLock);
    tablesDone();
    if (!path || strlen(path) > MAX_DIRECTORY) return;
    tablePaths = tbpaths_init();
    tablePaths = tbpaths_add(tablePaths, path);
    // Verbosity 0: the tablebase code must never write to the engine's output.
    tb_init(0, tableScheme(path), tablePaths);
    // Every probe asks for the distance to mate, so the cache serves that
    // mostly; an eighth goes to win-draw-loss blocks.
    size_t cache = cacheBytes > 0 ? static_cast<size_t>(cacheBytes) : size_t{1} << 20;
    tbcache_init(cache, 16);
    // A wrong directory still initialises: only the count of tables found tells.
    tablesReady = tb_availability() != 0;
}

int probe_egbb_5men(int player, int whiteKing, int blackKing, int piece1, int square1, int piece2,
                    int square2, int piece3, int square3) {
    if (player != 0 && player != 1) return NOT_AVAILABLE;
    if (whiteKing < 0 || whiteKing > 63 || blackKing < 0 || blackKing > 63) return NOT_AVAILABLE;
    if (distance(whiteKing, blackKing) < 2) return NOT_AVAILABLE;

    // Lists for the tablebase code: king first, ended by tb_NOSQUARE / tb_NOPIECE.
    unsigned whiteSquares[5] = {unsigned(whiteKing)}, blackSquares[5] = {unsigned(blackKing)};
    unsigned char whitePieces[5] = {tb_KING}, blackPieces[5] = {tb_KING};
    int whiteCount = 1, blackCount = 1;
    unsigned long long occupied = 1ULL << whiteKing | 1ULL << blackKing;
    const int pairs[3][2] = {{piece1, square1}, {piece2, square2}, {piece3, square3}};
    for (const auto& pair : pairs) {
        int code = pair[0], square = pair[1];
        if (code == 0) continue;
        int black = code > CODE_BLACK;
        int kind = code - black * CODE_BLACK;
        if (kind < CODE_QUEEN || kind > CODE_PAWN || square < 0 || square > 63)
            return NOT_AVAILABLE;
        if (occupied & 1ULL << square) return NOT_AVAILABLE;
        if (kind == CODE_PAWN && (rankOf(square) == 0 || rankOf(square) == 7)) return NOT_AVAILABLE;
        occupied |= 1ULL << square;
        // Queen 2 .. pawn 6 become the tablebase's queen 5 .. pawn 1.
        unsigned char tbPiece = static_cast<unsigned char>(7 - kind);
        if (black) {
            blackSquares[blackCount] = unsigned(square);
            blackPieces[blackCount++] = tbPiece;
        } else {
            whiteSquares[whiteCount] = unsigned(square);
            whitePieces[whiteCount++] = tbPiece;
        }
    }
    whiteSquares[whiteCount] = tb_NOSQUARE;
    whitePieces[whiteCount] = tb_NOPIECE;
    blackSquares[blackCount] = tb_NOSQUARE;
    blackPieces[blackCount] = tb_NOPIECE;

    unsigned info = tb_UNKNOWN, plies = 0;
    int found;
    {
        std::lock_guard<std::mutex> lock(tableLock);
        if (!tablesReady) return NOT_AVAILABLE;
        found = tb_probe_hard(unsigned(player), tb_NOSQUARE, tb_NOCASTLE, whiteSquares,
                              blackSquares, whitePieces, blackPieces, &info, &plies);
    }
    // The verdict is absolute (white or black mates) and means nothing when the
    // probe failed.
    if (!found) return NOT_AVAILABLE;
    if (info == tb_DRAW) return 0;
    if (info != tb_WMATE && info != tb_BMATE) return NOT_AVAILABLE;
    int score = EGBB_WIN - (plies < EGBB_WIN ? int(plies) : EGBB_WIN);
    bool moverWins = (info == tb_WMATE) == (player == 0);
    return moverWins ? score : -score;
}

}  // extern "C"
