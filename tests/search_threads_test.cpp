// The parallel search in process: mates and legal moves with several threads,
// the worker pool's life, the jobs in flight and a bad worker message.
#include <dirent.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "base/output.h"
#include "eval/pawntable.h"
#include "frontend/movetext.h"
#include "frontend/uci.h"
#include "moves/movedo.h"
#include "moves/picker.h"
#include "search/hash.h"
#include "search/history.h"
#include "search/root.h"
#include "search/search.h"
#include "search/startsearch.h"
#include "search/threadsearch.h"
#include "support/engine.h"
#include "support/evalpositions.h"

namespace {

// Threads of this process.
int taskCount() {
    int count = 0;
    DIR* directory = opendir("/proc/self/task");
    if (!directory) return -1;
    while (dirent* entry = readdir(directory))
        if (entry->d_name[0] != '.') count++;
    closedir(directory);
    return count;
}

// Threads of this process once it settles at the expected count (a joined
// thread may linger in the task list for a moment after the join returns).
int taskCountAfterJoins(int expected) {
    int count = taskCount();
    for (int i = 0; i < 200 && count != expected; i++) {
        g_usleep(5000);
        count = taskCount();
    }
    return count;
}

// The same position with the colours swapped and the board turned over.
std::string mirrorFen(const std::string& fen) {
    std::vector<std::string> fields;
    size_t at = 0;
    while (at <= fen.size()) {
        size_t end = fen.find(' ', at);
        if (end == std::string::npos) end = fen.size();
        fields.push_back(fen.substr(at, end - at));
        at = end + 1;
    }
    auto swapCase = [](std::string s) {
        for (char& c : s)
            c = isupper(c) ? static_cast<char>(tolower(c)) : static_cast<char>(toupper(c));
        return s;
    };
    std::vector<std::string> ranks;
    for (size_t from = 0;;) {
        size_t slash = fields[0].find('/', from);
        ranks.push_back(swapCase(fields[0].substr(from, slash - from)));
        if (slash == std::string::npos) break;
        from = slash + 1;
    }
    std::string board;
    for (size_t i = ranks.size(); i-- > 0;) board += ranks[i] + (i ? "/" : "");
    std::string out = board + (fields[1] == "w" ? " b " : " w ");
    out += fields[2] == "-" ? "-" : swapCase(fields[2]);
    for (size_t i = 3; i < fields.size(); i++) out += " " + fields[i];
    return out;
}

// Whether the side to move mates in at most n moves, by trying every line.
bool matesIn(Position* p, int n) {
    MoveList moves;
    legalMovesGenerate(p, &moves);
    for (uint32_t i = 0; i < moves.count; i++) {
        if (!moveDo(p, moves.moves[i])) continue;
        MoveList replies;
        legalMovesGenerate(p, &replies);
        bool mated = replies.count == 0 && positionIsInCheck(p);
        bool forced = replies.count > 0 && n > 1;
        for (uint32_t j = 0; forced && j < replies.count; j++) {
            moveDo(p, replies.moves[j]);
            forced = matesIn(p, n - 1);
            moveUndo(p);
        }
        moveUndo(p);
        if (mated || forced) return true;
    }
    return false;
}

// The shortest mate for the side to move, 0 if there is none within limit.
int mateDistance(Position* p, int limit) {
    for (int n = 1; n <= limit; n++)
        if (matesIn(p, n)) return n;
    return 0;
}

bool isLegal(Position* p, Move move) {
    MoveList moves;
    legalMovesGenerate(p, &moves);
    for (uint32_t i = 0; i < moves.count; i++)
        if (moves.moves[i] == move) return true;
    return false;
}

Move moveFromText(Position* p, const std::string& text) { return moveFromText(p, text.c_str()); }

class ThreadSearch : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { testSearchTablesCreate(); }
    static void TearDownTestSuite() {
        setThreads(1);
        testSearchTablesDestroy();
    }
    void TearDown() override { setThreads(1); }

    static void setThreads(int n) {
        threadsDestroy();
        threadsCreate(n);
    }

    // Searches the position to the depth from a cleared table, as a "go depth" would.
    static TestAnswer run(const std::string& fen, int depth) {
        Position* p = testPosition(fen.c_str());
        hashClear();
        TestAnswer answer = testSearch(p, testDepth(depth));
        positionFree(p);
        return answer;
    }
};

// Mates whose distance the exhaustive check below confirms, each also played
// with the colours swapped.
struct MateCase {
    const char* fen;
    int moves;
};
const MateCase kMates[] = {
    {"6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - 0 1", 1},
    {"r1bqkbnr/pppp1ppp/2n5/4p3/2B1P3/5Q2/PPPP1PPP/RNB1K1NR w KQkq - 4 4", 1},
    {"7k/8/8/8/8/8/R7/1R4K1 w - - 0 1", 2},
    {"8/6k1/8/8/8/8/R7/1R4K1 w - - 0 1", 3},
    {"k7/8/2K5/8/8/8/8/6R1 w - - 0 1", 2},
};

TEST_F(ThreadSearch, MatesAreFoundAtTheirDistanceWithEveryThreadCount) {
    for (const MateCase& c : kMates) {
        for (const std::string& fen : {std::string(c.fen), mirrorFen(c.fen)}) {
            Position* p = testPosition(fen.c_str());
            ASSERT_EQ(mateDistance(p, c.moves), c.moves) << fen;
            positionFree(p);
            for (int threads : {1, 2, 4}) {
                setThreads(threads);
                TestAnswer r = run(fen, 2 * c.moves + 3);
                EXPECT_EQ(r.score, "mate " + std::to_string(c.moves))
                    << fen << " with " << threads << " threads\n"
                    << r.output;
                // The move played must itself mate in that many moves.
                p = testPosition(fen.c_str());
                Move best = moveFromText(p, r.best);
                ASSERT_NE(best, 0u) << fen << ": " << r.best;
                ASSERT_EQ(moveDo(p, best), 1);
                MoveList replies;
                legalMovesGenerate(p, &replies);
                bool mated = replies.count == 0 && positionIsInCheck(p);
                bool forced = c.moves > 1 && replies.count > 0;
                for (uint32_t j = 0; forced && j < replies.count; j++) {
                    moveDo(p, replies.moves[j]);
                    forced = matesIn(p, c.moves - 1);
                    moveUndo(p);
                }
                EXPECT_TRUE(c.moves == 1 ? mated : forced)
                    << fen << ": " << r.best << " with " << threads << " threads";
                positionFree(p);
            }
        }
    }
}

// The losing side's view: one move into each mate, every thread count finds the
// same score, mated in one move less (the tree below is all refutations).
TEST_F(ThreadSearch, TheMatedSideScoresTheSameWithEveryThreadCount) {
    for (const MateCase& c : kMates) {
        for (const std::string& fen : {std::string(c.fen), mirrorFen(c.fen)}) {
            setThreads(1);
            TestAnswer winner = run(fen, 2 * c.moves + 3);
            if (c.moves == 1) continue;  // mated: no score to report
            Position* p = testPosition(fen.c_str());
            Move first = moveFromText(p, winner.best);
            ASSERT_NE(first, 0u) << fen;
            ASSERT_EQ(moveDo(p, first), 1);
            std::string after = testFen(p);
            MoveList replies;
            legalMovesGenerate(p, &replies);
            positionFree(p);
            if (replies.count < 2) continue;  // a forced reply is played without a search
            for (int threads : {1, 2, 4}) {
                setThreads(threads);
                TestAnswer loser = run(after, 2 * c.moves + 2);
                EXPECT_EQ(loser.score, "mate -" + std::to_string(c.moves - 1))
                    << after << " with " << threads << " threads\n"
                    << loser.output;
                EXPECT_EQ(threadSearchStats.outstanding, 0);
            }
        }
    }
}

// Called on the mate position itself, with that position at ply 0, the mated
// side is found at ply 2n - 1. Every window must agree with that value: a full
// window returns it, a window below it fails high and one above fails low.
TEST_F(ThreadSearch, ThreadSearchBoundsAgreeWithTheMateValue) {
    for (const MateCase& c : kMates) {
        for (const std::string& fen : {std::string(c.fen), mirrorFen(c.fen)}) {
            const int value = MATE - (2 * c.moves - 1);
            const int depth = 2 * c.moves + 3;
            struct {
                int alpha, beta;
            } windows[] = {{-MATE - 1, MATE + 1},
                           {value - 1, value},
                           {value, value + 1},
                           {value - 50, value + 50},
                           {-100, 100}};
            for (int threads : {2, 4}) {
                setThreads(threads);
                for (const auto& w : windows) {
                    Position* p = testPosition(fen.c_str());
                    hashClear();
                    historyClear();
                    stopFlag.store(0);
                    searchStats.iterationDepth.store(depth);
                    int t = threadSearch(p, w.alpha, w.beta, depth, 0, 1, 1);
                    if (w.alpha < value && value < w.beta)
                        EXPECT_EQ(t, value) << fen << " (" << w.alpha << ", " << w.beta << ")";
                    else if (value <= w.alpha)
                        EXPECT_LE(t, w.alpha) << fen << " (" << w.alpha << ", " << w.beta << ")";
                    else
                        EXPECT_GE(t, w.beta) << fen << " (" << w.alpha << ", " << w.beta << ")";
                    EXPECT_EQ(threadSearchStats.outstanding, 0);
                    positionFree(p);
                }
            }
        }
    }
}

TEST_F(ThreadSearch, BestMovesAreLegalAndNoJobOutlivesTheSearch) {
    const char* fens[] = {
        "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP1B1PPP/R2QKB1R w KQ - 0 8",
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
        "r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ - 0 1",
        "2kr3r/pp1q1ppp/2n1bn2/2bpp3/4P3/2PP1N2/PP1NBPPP/R1BQ1RK1 b - - 3 9",
        "8/8/4k3/3p4/3P4/4K3/8/8 w - - 0 1",
    };
#ifdef KORVAN_SANITIZED
    const int depth = 5;
#else
    const int depth = 7;
#endif
    for (int threads : {2, 4}) {
        setThreads(threads);
        for (const char* fen : fens) {
            TestAnswer r = run(fen, depth);
            Position* p = testPosition(fen);
            Move best = moveFromText(p, r.best);
            EXPECT_NE(best, 0u) << fen << " gave " << r.best;
            EXPECT_TRUE(best && isLegal(p, best));
            positionFree(p);
            // Nodes were split, and every job came back before the answer.
            const ThreadSearchStats& stats = threadSearchStats;
            EXPECT_GT(stats.jobs, 0u) << fen;
            EXPECT_GT(stats.splits, 0u) << fen;
            EXPECT_EQ(stats.outstanding, 0) << fen;
            EXPECT_EQ(parallelStopFlag.load(), 0);
        }
    }
}

TEST_F(ThreadSearch, StopEndsAParallelSearchWithALegalMove) {
    const char* fen = "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP1B1PPP/R2QKB1R w KQ - 0 8";
    for (int threads : {2, 4}) {
        setThreads(threads);
        for (int wait : {0, 5, 60}) {
            Position* p = testPosition(fen);
            hashClear();
            stopFlag.store(0);
            ponderSearch.store(0);
            searchClockStart();
            outCaptureBegin();
            std::thread search(
                [p] { iterativeDeepening(p, testDepth(MAX_ITERATION_DEPTH), uciReport); });
            std::this_thread::sleep_for(std::chrono::milliseconds(wait));
            auto start = std::chrono::steady_clock::now();
            stopFlag.store(1);
            search.join();
            double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            std::string output = outCaptureEnd();
            EXPECT_LT(seconds, 2.0 * TEST_TIME_FACTOR) << "the stop took too long";
            size_t at = output.rfind("bestmove ");
            ASSERT_NE(at, std::string::npos) << output;
            std::string best = output.substr(at + 9, output.find(' ', at + 9) - at - 9);
            EXPECT_NE(moveFromText(p, best), 0u) << best;
            EXPECT_EQ(threadSearchStats.outstanding, 0);
            positionFree(p);
        }
    }
}

TEST_F(ThreadSearch, WorkerPoolFollowsTheThreadsOption) {
    // A pool made and ended once first: a sanitizer may start a helper
    // thread of its own with the first thread the program creates.
    setThreads(2);
    setThreads(1);
    g_usleep(50000);
    const int base = taskCount();
    ASSERT_GT(base, 0);
    struct {
        int threads;
        int workers;
    } steps[] = {{1, 0}, {2, 1}, {4, 3}, {2, 1}, {1, 0}, {16, 15}, {3, 2}, {1, 0}};
    for (const auto& step : steps) {
        setThreads(step.threads);
        EXPECT_EQ(taskCountAfterJoins(base + step.workers) - base, step.workers)
            << "Threads " << step.threads;
    }
    // With one thread the pool is gone and destroying it only raises the stop flag.
    stopFlag.store(0);
    threadsDestroy();
    EXPECT_EQ(stopFlag.load(), 1);
    EXPECT_EQ(taskCountAfterJoins(base), base);
    stopFlag.store(0);
}

TEST(ThreadSearchDeath, AWrongMessageIsFatal) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (int32_t type : {2, 7, -1}) {
        std::string expected =
            "Thread message is wrong! \\(" + std::to_string(static_cast<uint32_t>(type)) + "\\)";
        EXPECT_DEATH(
            {
                testInit();
                threadsCreate(2);
                ThreadMessage* message = g_new0(ThreadMessage, 1);
                message->type = type;
                threadMessageSend(message);
                g_usleep(10 * G_USEC_PER_SEC);  // the worker ends the program first
            },
            expected);
    }
}

}  // namespace
