#include "search/root.h"

#include <glib.h>

#include <algorithm>
#include <cstring>

#include "base/output.h"
#include "book/book.h"
#include "moves/movedo.h"
#include "moves/picker.h"
#include "search/hash.h"
#include "search/history.h"
#include "search/search.h"
#include "search/threadsearch.h"

void rootMovesGenerate(Position* position, RootMoveList* list) {
    MoveList moves;
    pickerStart(&moves, &quietHistory);
    uint32_t count = 0;
    while (Move move = nextMoveDo(position, &moves)) {
        if (count < MAX_MOVES) {
            list->moves[count] = RootMove{};
            list->moves[count].move = move;
            count++;
        }
        moveUndo(position);
    }
    list->count = count;
}

namespace {

// Records a root move's result where the move stands.
void rootMoveRecord(RootMove& entry, int score, int depth) {
    double seconds = searchElapsed();
    uint64_t nodes = searchNodes();
    entry.score = score;
    entry.depth = static_cast<uint32_t>(depth);
    entry.selDepth = searchStats.selectiveDepth.load(std::memory_order_relaxed);
    entry.nps = seconds > 0 ? static_cast<uint32_t>(static_cast<double>(nodes) / seconds) : 0;
    entry.time = static_cast<int32_t>(seconds * 1000);
    entry.nodes = nodes;
}

}  // namespace

int updateMultipv(RootMoveList* list, int index, int score, int depth) {
    RootMove& entry = list->moves[index];
    rootMoveRecord(entry, score, depth);
    for (int j = 0; j < index; j++) {
        if (list->moves[j].score < score) {
            RootMove moved = entry;
            memmove(&list->moves[j + 1], &list->moves[j], (index - j) * sizeof(RootMove));
            list->moves[j] = moved;
            return j;
        }
    }
    return index;
}

namespace {

// The root moves that the workers test at once, and where their results go.
struct RootTests {
    RootMoveList* list;
    int depth;
    HashEntry* rootSlot;
    uint64_t rootKey;
    Move moves[MAX_MOVES];
    int count;
};

int rootMoveIndex(const RootMoveList* list, Move move) {
    int i = 0;
    while (list->moves[i].move != move) i++;
    return i;
}

// A root move that stays below the weakest line: its bound is recorded, as the
// single-threaded search records it.
void rootTestFailedLow(Move move, int score, void* context) {
    auto* tests = static_cast<RootTests*>(context);
    RootMove& entry = tests->list->moves[rootMoveIndex(tests->list, move)];
    entry.score = score;
    entry.depth = static_cast<uint32_t>(tests->depth);
    hashWrite(tests->rootSlot, tests->rootKey, tests->depth, hashValueToTable(score, -1),
              HASH_UPPER, move);
}

}  // namespace

void rootSearch(Position* p, RootMoveList* list, int depth, int lines, const SearchReport& report) {
    HashEntry* rootSlot;
    uint64_t info;
    uint64_t rootKey = p->key;
    hashFind(&rootSlot, rootKey, &info);
    int (*childSearch)(Position*, int, int, int, int, int, int) =
        threadsCount() == 1 ? search : threadSearch;

    while (!searchStopRequested()) {
        int i = 0;
        while (i < static_cast<int>(list->count) &&
               list->moves[i].depth >= static_cast<uint32_t>(depth))
            i++;
        if (i == static_cast<int>(list->count)) break;

        // With workers, the moves after the lines are first tested all at once;
        // the one that fails high (if any) goes on below, its test done.
        int tested = 0;
        bool haveTest = false;
        if (i >= lines && parallelSplits(depth - 1)) {
            RootTests tests{list, depth, rootSlot, rootKey, {}, 0};
            for (int j = i; j < static_cast<int>(list->count); j++)
                if (list->moves[j].depth < static_cast<uint32_t>(depth))
                    tests.moves[tests.count++] = list->moves[j].move;
            int failedHigh =
                parallelRootSearch(p, tests.moves, tests.count, depth, list->moves[lines - 1].score,
                                   &tested, rootTestFailedLow, &tests);
            if (failedHigh < 0) continue;
            i = rootMoveIndex(list, tests.moves[failedHigh]);
            haveTest = true;
        }

        Move move = list->moves[i].move;
        if (!moveDo(p, move)) fatalError("Wrong root move!\n");
        report.moveStarted(depth, i, *list);

        int pv, alpha, beta;
        if (i < lines) {
            pv = 1;
            alpha = list->moves[i].score - 1;
        } else {
            pv = 0;
            alpha = list->moves[lines - 1].score;
        }
        beta = alpha + 1;
        int step = 2, failedHigh = 0, failedLow = 0;

        for (;;) {
            int t = haveTest ? tested : -childSearch(p, -beta, -alpha, depth - 1, 0, 1, pv);
            haveTest = false;
            if (searchStopRequested()) break;  // an interrupted result is meaningless
            if (i < lines) {
                // A result at or below alpha is only an upper bound: the line
                // stays where it stands, below the lines already scored, until
                // a wider window gives it a score to climb by.
                if (t > alpha)
                    i = updateMultipv(list, i, t, depth);
                else
                    rootMoveRecord(list->moves[i], t, depth);
                hashCollectPV(p, list->moves[i].pv);
                report.linesUpdated(*p, depth, lines, *list);
                if (t >= beta) {
                    failedHigh = 1;
                    if (failedLow) break;
                    step *= 2;
                    alpha = t;
                    beta = t + step > MATE ? MATE + 1 : t + step;
                    hashWrite(rootSlot, rootKey, depth, hashValueToTable(t, -1), HASH_LOWER, move);
                } else if (t <= alpha) {
                    failedLow = 1;
                    if (failedHigh) break;
                    step *= 2;
                    beta = t;
                    alpha = t - step < -MATE ? -MATE - 1 : t - step;
                    hashWrite(rootSlot, rootKey, depth, hashValueToTable(t, -1), HASH_UPPER, move);
                } else {
                    hashWrite(rootSlot, rootKey, depth, hashValueToTable(t, -1), HASH_EXACT, move);
                    break;
                }
            } else if (t <= alpha) {
                list->moves[i].score = t;
                list->moves[i].depth = static_cast<uint32_t>(depth);
                hashWrite(rootSlot, rootKey, depth, hashValueToTable(t, -1), HASH_UPPER, move);
                break;
            } else {
                // It beats the weakest line: it joins the lines and is searched as one.
                i = updateMultipv(list, i, t, depth);
                report.linesUpdated(*p, depth, lines, *list);
                failedHigh = 1;
                step = 4;
                alpha = t;
                beta = t + 4 > MATE ? MATE + 1 : t + 4;
                hashWrite(rootSlot, rootKey, depth, hashValueToTable(t, -1), HASH_LOWER, move);
                pv = 1;
            }
        }
        moveUndo(p);
    }
    hashWriteBestMove(rootKey, depth, hashValueToTable(list->moves[0].score, -1),
                      list->moves[0].move);
}

void iterativeDeepening(const Position* source, const SearchLimits& limits,
                        const SearchReport& report) {
    searchStatsReset();
    threadSearchStatsReset();
    Position* p = g_new(Position, 1);
    positionCopy(p, source);
    RootMoveList* list = g_new(RootMoveList, 1);
    rootMovesGenerate(p, list);

    Move best = 0, ponderMove = 0;
    if (positionRepeat(p) >= 2 || p->staticMoves > 99 || list->count == 0) {
        report.noMove();
    } else if (list->count == 1 && !limits.infinite) {
        best = list->moves[0].move;
    } else {
        hashNewSearch();
        historyClear();
        // More lines than moves are searched as all the moves, for this search only.
        int lines = std::min(limits.lines, static_cast<int>(list->count));
        // An infinite search is analysis: it searches and reports even where
        // the book or a forced move would answer a playing search at once.
        if (limits.useBook && !limits.infinite && bookIsOpen()) best = bookMove(p);
        if (!best) {
            for (int depth = 1;; depth++) {
                if (depth > limits.depth || searchNodes() >= limits.nodes || searchStopRequested())
                    break;
                report.depthStarted(depth);
                searchStats.iterationDepth.store(depth, std::memory_order_relaxed);
                rootSearch(p, list, depth, lines, report);
                report.depthFinished(depth, searchNodes());
            }
            best = list->moves[0].move;
            ponderMove = list->moves[0].pv[0];
        }
    }
    searchAwaitAnswer(limits);
    report.bestMove(best, ponderMove);
    g_free(list);
    g_free(p);
}
