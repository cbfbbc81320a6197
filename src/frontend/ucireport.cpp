#include <cinttypes>

#include "base/output.h"
#include "frontend/uci.h"
#include "search/hash.h"
#include "search/root.h"
#include "search/search.h"

namespace {

void uciBeginDepthInfo(int depth) {
    if (depth >= DEPTH_INFO) outPrintf(true, "info depth %d\n", depth);
}

void uciCurrentMove(int depth, int index, const RootMoveList& list) {
    if (depth < CURRENT_MOVE_INFO) return;
    char text[MOVE_TEXT_SIZE];
    moveToString(list.moves[index].move, text);
    outPrintf(true, "info currmovenumber %d currmove %s\n", index + 1, text);
}

void uciMultiPv(const Position& root, int depth, int lines, const RootMoveList& list) {
    if (depth < MULTI_PV_INFO) return;
    OutBuffer out;
    char text[MOVE_TEXT_SIZE];
    int hits = static_cast<int>(searchStats.bitbaseHits.load(std::memory_order_relaxed));
    for (int n = 0; n < lines; n++) {
        const RootMove& entry = list.moves[n];
        out.printf("info ");
        if (lines > 1) out.printf("multipv %d ", n + 1);
        // Mate scores become moves to mate, counted for the side to move at the root.
        int s = entry.score;
        if (s > 29960)
            out.printf("score mate %d ", root.player == WHITE ? (30003 - s) / 2 : (30002 - s) / 2);
        else if (s < -29960)
            out.printf("score mate %d ",
                       root.player == WHITE ? (-s - 30002) / 2 : (-s - 30001) / 2);
        else
            out.printf("score cp %d ", s);
        if (hits) out.printf("bbhits %d ", hits);
        out.printf("depth %u seldepth %d time %d nodes %" PRIu64 " nps %u hashfull %d pv ",
                   entry.depth, entry.selDepth, entry.time, entry.nodes, entry.nps, hashUsage());
        moveToString(entry.move, text);
        out.printf("%s ", text);
        for (int i = 0; i < 15 && entry.pv[i]; i++) {
            moveToString(entry.pv[i], text);
            out.printf("%s ", text);
        }
        out.printf("\n");
    }
    out.write(true);
}

void uciEndDepthInfo(int depth, uint64_t nodes) {
    if (depth < DEPTH_INFO) return;
    double elapsed = searchElapsed();
    unsigned speed =
        elapsed <= 0
            ? 0
            : static_cast<unsigned>(static_cast<float>(nodes) / static_cast<float>(elapsed));
    unsigned time = static_cast<unsigned>(1000 * elapsed);
    outPrintf(true, "info time %u nodes %" PRIu64 " nps %u hashfull %u \n", time, nodes, speed,
              static_cast<unsigned>(hashUsage()));
}

void uciBestMove(Move best, Move ponderMove) {
    if (!best) {
        // A position without a legal move still answers the "go".
        outPrintf(true, "bestmove (none)\n");
        return;
    }
    char text[MOVE_TEXT_SIZE];
    OutBuffer out;
    moveToString(best, text);
    out.printf("bestmove %s ", text);
    if (options.ponder && ponderMove) {
        moveToString(ponderMove, text);
        out.printf("ponder %s ", text);
    }
    out.printf("\n");
    out.write(true);
}

void uciNoMove() { outPrintf(true, "info string in given position can not make any move!\n"); }

}  // namespace

const SearchReport uciReport = {uciBeginDepthInfo, uciCurrentMove, uciMultiPv,
                                uciEndDepthInfo,   uciNoMove,      uciBestMove};
