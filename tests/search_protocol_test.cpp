// Searches driven through the real binary: limits, stop, ponder, reports.
#include <gtest/gtest.h>

#include <chrono>

#include <unistd.h>

#include "support/engine.h"
#include "support/engineprocess.h"

namespace {

// A middlegame position out of any book.
const char* kMiddlegame =
    "position fen r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP1B1PPP/R2QKB1R w KQ - 0 8";

int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// An engine that has answered "uci" and "isready" and does not use its book.
struct Engine : EngineProcess {
    Engine() {
        send("uci");
        readUntil("uciok");
        send("setoption name OwnBook value false");
        send("isready");
        readUntil("readyok");
    }
};

TEST(SearchProtocol, DepthLimitReportsFromDepthFiveAndAnswersOnce) {
    Engine engine;
    engine.send(kMiddlegame);
    engine.send("go depth 6");
    std::vector<std::string> lines = engine.readUntil("bestmove", 60000);
    EXPECT_TRUE(linesStartingWith(lines, "info depth 4").empty());
    EXPECT_EQ(linesStartingWith(lines, "info depth 5").size(), 1u);
    EXPECT_EQ(linesStartingWith(lines, "info depth 6").size(), 1u);
    EXPECT_TRUE(linesStartingWith(lines, "info depth 7").empty());
    EXPECT_EQ(linesStartingWith(lines, "info time ").size(), 2u);
    auto scores = linesStartingWith(lines, "info score cp ");
    EXPECT_GE(scores.size(), 2u);
    for (const auto& line : scores) {
        EXPECT_NE(line.find(" depth "), std::string::npos) << line;
        EXPECT_NE(line.find(" pv "), std::string::npos) << line;
        EXPECT_EQ(line.find("multipv"), std::string::npos) << line;
    }
    engine.send("isready");
    std::vector<std::string> after = engine.readUntil("readyok");
    EXPECT_TRUE(linesStartingWith(after, "bestmove").empty());
}

TEST(SearchProtocol, InfiniteSearchAnswersOnlyAfterStop) {
    Engine engine;
    engine.send(kMiddlegame);
    engine.send("go infinite");
    std::string line;
    int64_t until = nowMs() + 700;
    while (engine.readLine(&line, static_cast<int>(std::max<int64_t>(1, until - nowMs()))))
        EXPECT_NE(line.rfind("bestmove", 0), 0u) << "answered before stop";
    engine.send("isready");
    EXPECT_EQ(engine.readUntil("readyok").back(), "readyok");
    engine.send("stop");
    EXPECT_EQ(engine.readUntil("bestmove").back().rfind("bestmove ", 0), 0u);
}

// "go infinite" is analysis: in a position the book knows and in one with a
// single legal move it searches and reports at once, and answers once, after
// "stop". A playing search still takes its book move at once.
TEST(SearchProtocol, InfiniteSearchAnalysesBookAndForcedPositions) {
    if (access(KORVAN_BUILD_DIR "/performance.bin", R_OK) != 0)
        GTEST_SKIP() << "no book linked in the build directory";
    struct {
        const char* position;
        const char* answer;  // the answer after "stop", or "" for any move
    } cases[] = {
        {"position startpos", ""},
        {"position fen 7k/8/8/8/8/8/6q1/7K w - - 0 1", "bestmove h1g2 "},
    };
    for (const auto& c : cases) {
        EngineProcess engine;  // the default book of the build directory
        engine.send("isready");
        engine.readUntil("readyok");
        engine.send(c.position);
        engine.send("go infinite");
        std::string line;
        bool reported = false;
        for (int64_t until = nowMs() + 1000 * TEST_TIME_FACTOR;
             !reported &&
             engine.readLine(&line, std::max<int>(1, static_cast<int>(until - nowMs())));) {
            EXPECT_NE(line.rfind("bestmove", 0), 0u) << c.position << ": answered before stop";
            reported = line.rfind("info ", 0) == 0 && line.find(" pv ") != std::string::npos;
        }
        EXPECT_TRUE(reported) << c.position << ": no line with a pv within a second";
        engine.send("stop");
        std::string answer = engine.readUntil("bestmove").back();
        if (*c.answer) {
            EXPECT_EQ(answer, c.answer);
        }
        engine.send("isready");
        EXPECT_TRUE(linesStartingWith(engine.readUntil("readyok"), "bestmove").empty());
    }

    EngineProcess engine;
    engine.send("isready");
    engine.readUntil("readyok");
    engine.send("position startpos");
    int64_t start = nowMs();
    engine.send("go depth 5");
    std::vector<std::string> lines = engine.readUntil("bestmove", 1000 * TEST_TIME_FACTOR);
    EXPECT_LT(nowMs() - start, 500 * TEST_TIME_FACTOR);
    EXPECT_TRUE(linesStartingWith(lines, "info depth").empty()) << "searched, not played from book";
}

TEST(SearchProtocol, PonderSearchAnswersAfterPonderhit) {
    Engine engine;
    engine.send("setoption name Ponder value true");
    engine.send(kMiddlegame);
    engine.send("go ponder wtime 2000 btime 2000");
    std::string line;
    int64_t until = nowMs() + 600;
    while (engine.readLine(&line, static_cast<int>(std::max<int64_t>(1, until - nowMs()))))
        EXPECT_NE(line.rfind("bestmove", 0), 0u) << "answered while pondering";
    engine.send("ponderhit");
    int64_t start = nowMs();
    std::vector<std::string> lines = engine.readUntil("bestmove", 5000 * TEST_TIME_FACTOR);
    // The budget (1950 ms at most) has not been spent yet, or just now.
    EXPECT_LT(nowMs() - start, 3000 * TEST_TIME_FACTOR);
}

TEST(SearchProtocol, IsreadyIsAnsweredDuringASearch) {
    Engine engine;
    engine.send(kMiddlegame);
    engine.send("go infinite");
    engine.send("isready");
    int64_t start = nowMs();
    engine.readUntil("readyok", 2000 * TEST_TIME_FACTOR);
    EXPECT_LT(nowMs() - start, 500 * TEST_TIME_FACTOR);
    engine.send("stop");
    engine.readUntil("bestmove");
}

TEST(SearchProtocol, GoDuringASearchStopsItFirst) {
    Engine engine;
    engine.send(kMiddlegame);
    engine.send("go infinite");
    engine.send("go depth 3");
    std::vector<std::string> lines = engine.readUntil("bestmove");
    lines = engine.readUntil("bestmove");  // the second search answers too
    engine.send("isready");
    EXPECT_TRUE(linesStartingWith(engine.readUntil("readyok"), "bestmove").empty());
}

TEST(SearchProtocol, MovetimeIsKept) {
    Engine engine;
    engine.send(kMiddlegame);
    int64_t start = nowMs();
    engine.send("go movetime 300");
    engine.readUntil("bestmove", 3000 * TEST_TIME_FACTOR);
    int64_t elapsed = nowMs() - start;
    EXPECT_GE(elapsed, 250);
    // What passes beyond the 300 ms is the engine's overhead and the machine's.
    EXPECT_LT(elapsed, 300 + 700 * TEST_TIME_FACTOR);
}

TEST(SearchProtocol, NodeLimitEndsAfterTheIterationThatPassesIt) {
    Engine engine;
    engine.send(kMiddlegame);
    engine.send("go nodes 20000");
    std::vector<std::string> lines = engine.readUntil("bestmove", 60000);
    std::vector<uint64_t> counts;
    for (const auto& line : linesStartingWith(lines, "info time ")) {
        size_t at = line.find(" nodes ");
        ASSERT_NE(at, std::string::npos);
        counts.push_back(std::stoull(line.substr(at + 7)));
    }
    ASSERT_FALSE(counts.empty());
    EXPECT_GE(counts.back(), 20000u);
    for (size_t i = 0; i + 1 < counts.size(); i++) EXPECT_LT(counts[i], 20000u);
}

TEST(SearchProtocol, MultiPvPrintsNumberedLines) {
    Engine engine;
    engine.send("setoption name MultiPV value 3");
    engine.readUntil("info string MultiPV set to 3");
    engine.send(kMiddlegame);
    engine.send("go depth 5");
    std::vector<std::string> lines = engine.readUntil("bestmove", 60000);
    // Every report lists the three lines, numbered in order.
    std::vector<std::string> reported = linesStartingWith(lines, "info multipv ");
    ASSERT_FALSE(reported.empty());
    ASSERT_EQ(reported.size() % 3, 0u);
    for (size_t i = 0; i < reported.size(); i++)
        EXPECT_EQ(reported[i].rfind("info multipv " + std::to_string(i % 3 + 1) + " score ", 0), 0u)
            << reported[i];
}

TEST(SearchProtocol, PositionsWithoutAMoveOrWithOneMove) {
    struct {
        const char* position;
        std::vector<std::string> answer;
    } cases[] = {
        // Checkmated and stalemated: the notice, then a null answer.
        {"position fen 7k/6Q1/6K1/8/8/8/8/8 b - - 0 1",
         {"info string in given position can not make any move!", "bestmove (none)"}},
        {"position fen 7k/8/6QK/8/8/8/8/8 b - - 0 1",
         {"info string in given position can not make any move!", "bestmove (none)"}},
        // A single legal move is played at once, with no report.
        {"position fen 7k/8/8/8/8/8/6q1/7K w - - 0 1", {"bestmove h1g2 "}},
    };
    for (const auto& c : cases) {
        Engine engine;
        engine.send(c.position);
        engine.send("go depth 10");
        std::vector<std::string> lines = engine.readUntil("bestmove");
        ASSERT_GE(lines.size(), c.answer.size());
        std::vector<std::string> tail(lines.end() - static_cast<long>(c.answer.size()),
                                      lines.end());
        EXPECT_EQ(tail, c.answer) << c.position;
        EXPECT_TRUE(linesStartingWith(lines, "info depth").empty());
    }
}

TEST(SearchProtocol, StopWithoutASearchPrintsNothing) {
    Engine engine;
    engine.send("stop");
    engine.send("ponderhit");
    engine.send("isready");
    std::vector<std::string> lines = engine.readUntil("readyok");
    EXPECT_EQ(lines.size(), 1u);
}

}  // namespace
