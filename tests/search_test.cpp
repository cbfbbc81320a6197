// The search in-process: mates found with the right distance, the draw rules,
// the ply guard.
#include <gtest/gtest.h>

#include <string>

#include "base/output.h"
#include "eval/evaluator.h"
#include "eval/pawntable.h"
#include "frontend/movetext.h"
#include "frontend/uci.h"
#include "moves/movedo.h"
#include "moves/picker.h"
#include "search/hash.h"
#include "search/root.h"
#include "search/search.h"
#include "support/engine.h"

namespace {

class SearchTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { testSearchTablesCreate(); }
    static void TearDownTestSuite() { testSearchTablesDestroy(); }
    void SetUp() override { hashClear(); }
};

TestAnswer searchTo(Position* p, int depth) { return testSearch(p, testDepth(depth)); }

// Mates whose distance the Gaviota tables confirm, both colours to move.
TEST_F(SearchTest, FindsMatesWithTheRightDistance) {
    struct {
        const char* fen;
        int moves;
    } cases[] = {
        {"6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - 0 1", 1}, {"r5k1/5ppp/8/8/8/8/5PPP/6K1 b - - 0 1", 1},
        {"8/8/R7/8/8/5K2/8/5k2 w - - 0 1", 1},       {"8/2r5/8/8/8/K1k5/8/8 b - - 0 1", 1},
        {"8/8/3Q4/8/8/3K4/8/5k2 w - - 0 1", 2},      {"8/8/2r5/8/8/8/8/K2k4 b - - 0 1", 2},
        {"5R2/8/8/8/1K6/8/8/k7 w - - 0 1", 2},       {"K7/8/8/k7/8/8/4q3/8 b - - 0 1", 2},
        {"4k3/1Q6/8/2K5/8/8/8/8 w - - 0 1", 3},      {"8/1q3k2/8/6K1/8/8/8/8 b - - 0 1", 3},
        {"8/8/8/k7/3K2R1/8/8/8 w - - 0 1", 3},       {"r4k1K/8/8/8/8/8/8/8 b - - 0 1", 3},
        {"4k3/2Q5/8/8/K7/8/8/8 w - - 0 1", 4},       {"8/8/K7/2k5/1r6/8/8/8 b - - 0 1", 4},
    };
    for (const auto& c : cases) {
        Position* p = testPosition(c.fen);
        TestAnswer answer = searchTo(p, 2 * c.moves + 4);
        EXPECT_EQ(answer.score, "mate " + std::to_string(c.moves)) << c.fen;
        // Playing the best move must keep the mate on: the mate in N-1 remains.
        MoveList list;
        legalMovesGenerate(p, &list);
        Move best = 0;
        char text[MOVE_TEXT_SIZE];
        for (uint32_t i = 0; i < list.count; i++) {
            moveToString(list.moves[i], text);
            if (answer.best == text) best = list.moves[i];
        }
        ASSERT_NE(best, 0u) << c.fen << " " << answer.best;
        ASSERT_EQ(moveDo(p, best), 1);
        if (c.moves == 1) {
            legalMovesGenerate(p, &list);
            EXPECT_EQ(list.count, 0u) << c.fen;
            EXPECT_EQ(p->check, 1) << c.fen;
        }
        positionFree(p);
    }
}

TEST_F(SearchTest, DrawRulesAndMateScores) {
    // Checkmated and stalemated at the node itself.
    Position* mated = testPosition("7k/6Q1/6K1/8/8/8/8/8 b - - 0 1");
    EXPECT_EQ(search(mated, -MATE, MATE, 3, 0, 1, 1), -MATE);
    // The stored mate reads right at another distance from the root.
    EXPECT_EQ(search(mated, -MATE, MATE, 3, 4, 1, 0), 4 - MATE);
    EXPECT_EQ(hashValueFromTable(hashValueToTable(4 - MATE, 4), 9), 9 - MATE);
    EXPECT_EQ(hashValueFromTable(hashValueToTable(MATE - 7, 5), 2), MATE - 4);
    EXPECT_EQ(hashValueToTable(-350, 6), -350);
    EXPECT_EQ(hashValueToTable(20500, 6), 20500);  // bitbase wins are not mates
    // The fifty-move rule wins even over a mate.
    mated->staticMoves = 100;
    mated->ply = 100;
    EXPECT_EQ(search(mated, -MATE, MATE, 3, 0, 1, 1), 0);
    positionFree(mated);

    Position* stalemate = testPosition("7k/8/6QK/8/8/8/8/8 b - - 0 1");
    EXPECT_EQ(search(stalemate, -MATE, MATE, 3, 0, 1, 1), 0);
    positionFree(stalemate);

    // A position that has stood before is a draw below the root, whatever the material.
    Position* p = testPosition("4k3/8/8/8/8/8/8/QQQ1K3 w - - 0 1");
    ASSERT_EQ(stringMovesDo(p, "e1d2 e8d7 d2e1 d7e8"), 1);
    EXPECT_EQ(positionRepeat(p), 1);
    EXPECT_EQ(search(p, -MATE, MATE, 4, 0, 1, 1), 0);
    EXPECT_EQ(quiescent(p, -MATE, MATE, 0, 1),
              evaluate(p, -MATE, MATE, 1));  // quiescence has no draw test
    positionFree(p);
}

TEST_F(SearchTest, TheRootRefusesADrawnOrFinishedPosition) {
    struct {
        const char* fen;
        const char* moves;
    } cases[] = {
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
         "g1f3 g8f6 f3g1 f6g8 g1f3 g8f6 f3g1 f6g8"},
        {"7k/6Q1/6K1/8/8/8/8/8 b - - 0 1", ""},
        {"7k/8/6QK/8/8/8/8/8 b - - 0 1", ""},
    };
    for (const auto& c : cases) {
        Position* p = testPosition(c.fen);
        ASSERT_EQ(stringMovesDo(p, c.moves), 1);
        outCaptureBegin();
        iterativeDeepening(p, testDepth(5), uciReport);
        EXPECT_EQ(outCaptureEnd(),
                  "info string in given position can not make any move!\nbestmove (none)\n")
            << c.fen << " " << c.moves;
        positionFree(p);
    }
}

TEST_F(SearchTest, TheHistoryStackEndsTheLineWithTheStaticScore) {
    Position* p = testPosition("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3");
    p->ply = POSITION_PLY_LIMIT;
    EXPECT_EQ(search(p, -MATE, MATE, 6, 0, 1, 1), evaluate(p, -MATE, MATE, 1));
    EXPECT_EQ(quiescent(p, -100, 100, 0, 0), evaluate(p, -100, 100, 0));
    // A line that reaches the limit mid-search ends there instead of overflowing.
    p->ply = POSITION_PLY_LIMIT - 3;
    int score = search(p, -MATE, MATE, 6, 0, 1, 1);
    EXPECT_GT(score, -MATE);
    EXPECT_EQ(p->ply, POSITION_PLY_LIMIT - 3);
    positionFree(p);
}

// Material no game starts with but promotions allow: every table indexed by a
// count of pieces must take it (the sanitizer builds catch a read past one).
TEST_F(SearchTest, UnusualMaterialIsSearchedSafely) {
    const char* fens[] = {
        "K7/NNNNNNNN/NNNNNNNN/8/8/8/8/7k w - - 0 1",  "7K/8/8/8/8/nnnnnnnn/nnnnnnnn/k7 b - - 0 1",
        "QQQQQQQK/QQQQQQQQ/8/8/8/8/8/7k b - - 0 1",   "k7/8/BBBBBBBB/RRRRRRRR/8/8/8/7K b - - 0 1",
        "1k6/8/8/8/qqqqqqqq/qqqqqqqq/8/K7 w - - 0 1",
    };
    for (const char* fen : fens) {
        Position* p = testPosition(fen);
        TestAnswer answer = searchTo(p, 3);
        EXPECT_FALSE(answer.best.empty()) << fen;
        positionFree(p);
    }
}

TEST_F(SearchTest, PassedPawnMoves) {
    struct {
        const char* fen;
        const char* move;
        int passed;
    } cases[] = {
        {"4k3/8/8/8/8/8/4P3/4K3 w - - 0 1", "e2e4", 1},
        {"4k3/3p4/8/8/8/8/4P3/4K3 w - - 0 1", "e2e4", 0},
        {"4k3/8/8/8/8/8/P3P3/4K3 w - - 0 1", "a2a3", 1},
        {"4k3/1p6/8/8/8/8/P3P3/4K3 w - - 0 1", "a2a3", 0},
        {"4k3/4p3/8/8/8/8/8/4K3 b - - 0 1", "e7e5", 1},
        {"4k3/4p3/8/8/8/5P2/8/4K3 b - - 0 1", "e7e5", 0},
        {"4k3/8/8/8/8/8/8/4K1N1 w - - 0 1", "g1f3", 0},
    };
    for (const auto& c : cases) {
        Position* p = testPosition(c.fen);
        ASSERT_EQ(stringMovesDo(p, c.move), 1);
        EXPECT_EQ(passedPawnMove(p), c.passed) << c.fen << " " << c.move;
        positionFree(p);
    }
}

// What a search's last report of its lines held, and its answer.
RootMoveList lastLines;
Move lastBest;
void ignoreDepth(int) {}
void ignoreMove(int, int, const RootMoveList&) {}
void keepLines(const Position&, int, int, const RootMoveList& list) { lastLines = list; }
void ignoreFinish(int, uint64_t) {}
void ignoreNoMove() {}
void keepBest(Move best, Move) { lastBest = best; }
const SearchReport KEEP_LINES = {ignoreDepth,  ignoreMove,   keepLines,
                                 ignoreFinish, ignoreNoMove, keepBest};

// A second line whose aspiration searches fail low again and again is an
// upper bound each time: it must not climb above a line already scored
// higher, or the engine plays the worse move (here one mated at once).
TEST_F(SearchTest, AFailingLowLineStaysBelowTheBetterLine) {
    Position* p = testPosition("1r2kr1r/rrbrrNrr/8/2pP1bb1/b2N4/PNp2pp1/N3Npp1/3K1Nrr w k - 0 1");
    SearchLimits limits = testDepth(2);
    limits.lines = 2;
    stopFlag.store(0);
    searchClockStart();
    iterativeDeepening(p, limits, KEEP_LINES);
    EXPECT_GE(lastLines.moves[0].score, lastLines.moves[1].score);
    EXPECT_GT(lastLines.moves[0].score, -MATE_BOUND);
    EXPECT_EQ(testMoveText(lastBest), "f7d6");
    positionFree(p);
}

TEST_F(SearchTest, UpdateMultipvMovesAnEntryUpToItsPlace) {
    RootMoveList list{};
    list.count = 4;
    int scores[] = {50, 30, 30, 10};
    for (int i = 0; i < 4; i++) {
        list.moves[i].move = static_cast<Move>(i + 1);
        list.moves[i].score = scores[i];
    }
    EXPECT_EQ(updateMultipv(&list, 3, 40, 7), 1);  // above both 30s, below 50
    EXPECT_EQ(list.moves[1].move, 4u);
    EXPECT_EQ(list.moves[1].depth, 7u);
    EXPECT_EQ(list.moves[2].move, 2u);
    EXPECT_EQ(list.moves[3].move, 3u);
    EXPECT_EQ(updateMultipv(&list, 3, 30, 7), 3);  // ties keep their place
    EXPECT_EQ(updateMultipv(&list, 2, 60, 7), 0);
    EXPECT_EQ(list.moves[0].move, 2u);
}

}  // namespace
