// The parallel search through the real binary: stop, ponderhit, go during a
// search, node limits, many short searches, pool changes, and the ways a
// session can end while the workers search.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "support/engine.h"
#include "support/engineprocess.h"

namespace {

const char* kPositions[] = {
    "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP1B1PPP/R2QKB1R w KQ - 0 8",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "2kr3r/pp1q1ppp/2n1bn2/2bpp3/4P3/2PP1N2/PP1NBPPP/R1BQ1RK1 b - - 3 9",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
};

int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// An engine that has answered "uci", does not use its book and searches with
// the given number of threads.
struct Engine : EngineProcess {
    explicit Engine(int threads) {
        send("uci");
        readUntil("uciok");
        send("setoption name OwnBook value false");
        setThreads(threads);
    }
    void setThreads(int threads) {
        send("setoption name Threads value " + std::to_string(threads));
        readUntil("info string Threads set to " + std::to_string(threads));
    }
    void position(const char* fen) { send(std::string("position fen ") + fen); }
    // The engine is idle and has nothing more to say.
    void expectQuiet() {
        send("isready");
        EXPECT_TRUE(linesStartingWith(readUntil("readyok"), "bestmove").empty());
    }
    // Ends the session; the exit must be clean (sanitizer builds exit with
    // another status when they find a race or a leak).
    void expectCleanQuit() {
        send("quit");
        EXPECT_EQ(wait(20000), 0) << stderrText();
        EXPECT_EQ(stderrText().find("Sanitizer"), std::string::npos) << stderrText();
    }
};

class ParallelProtocol : public ::testing::TestWithParam<int> {};

TEST_P(ParallelProtocol, StopPonderhitGoAndNodeLimits) {
    Engine engine(GetParam());
    const char* fen = kPositions[0];
    engine.position(fen);

    // "stop" ends an infinite search at once with a legal move.
    engine.send("go infinite");
    pause(300);
    int64_t start = nowMs();
    engine.send("stop");
    EXPECT_TRUE(testAnswersLegally(fen, engine.readUntil("bestmove").back()));
    EXPECT_LT(nowMs() - start, 2000 * TEST_TIME_FACTOR);
    engine.expectQuiet();

    // A ponder search answers only after "ponderhit", and then soon.
    engine.send("go ponder wtime 2000 btime 2000");
    std::string line;
    int64_t until = nowMs() + 500;
    while (engine.readLine(&line, static_cast<int>(std::max<int64_t>(1, until - nowMs()))))
        EXPECT_NE(line.rfind("bestmove", 0), 0u) << "answered while pondering";
    engine.send("ponderhit");
    start = nowMs();
    EXPECT_TRUE(
        testAnswersLegally(fen, engine.readUntil("bestmove", 5000 * TEST_TIME_FACTOR).back()));
    EXPECT_LT(nowMs() - start, 3000 * TEST_TIME_FACTOR);
    engine.expectQuiet();

    // "go" during a search: the old search answers, then the new one.
    engine.send("go infinite");
    pause(200);
    engine.send("go depth 4");
    EXPECT_TRUE(testAnswersLegally(fen, engine.readUntil("bestmove").back()));
    EXPECT_TRUE(testAnswersLegally(fen, engine.readUntil("bestmove").back()));
    engine.expectQuiet();

    // A node limit ends the search after the iteration that passes it.
    engine.send("go nodes 30000");
    std::vector<std::string> lines = engine.readUntil("bestmove", 60000);
    EXPECT_TRUE(testAnswersLegally(fen, lines.back()));
    std::vector<uint64_t> counts;
    for (const auto& report : linesStartingWith(lines, "info time ")) {
        size_t at = report.find(" nodes ");
        ASSERT_NE(at, std::string::npos);
        counts.push_back(std::stoull(report.substr(at + 7)));
    }
    ASSERT_FALSE(counts.empty());
    EXPECT_GE(counts.back(), 30000u);
    for (size_t i = 0; i + 1 < counts.size(); i++) EXPECT_LT(counts[i], 30000u);
    engine.expectCleanQuit();
}

// "stop" is answered at once whatever the threads are doing: with more threads
// than cores too (three and four threads on the two cores of the machine the
// engine is measured on), where the workers must give their cores back.
TEST_P(ParallelProtocol, StopIsAnsweredAtOnce) {
    Engine engine(GetParam());
    std::vector<int64_t> latencies;
    for (int i = 0; i < 12; i++) {
        const char* fen = kPositions[i % 4];
        engine.position(fen);
        engine.send("go infinite");
        pause(20 + 37 * i % 150);
        int64_t start = nowMs();
        engine.send("stop");
        EXPECT_TRUE(testAnswersLegally(fen, engine.readUntil("bestmove").back()));
        latencies.push_back(nowMs() - start);
    }
    std::sort(latencies.begin(), latencies.end());
    const int64_t typical = 50 * TEST_TIME_FACTOR, worst = 500 * TEST_TIME_FACTOR;
    EXPECT_LE(latencies[latencies.size() / 2], typical);
    EXPECT_LE(latencies.back(), worst);
    engine.expectCleanQuit();
}

// Short searches stopped at every stage, with the pool rebuilt now and then
// between searches: every "go" gets exactly one legal answer, and the pool
// has the size asked for (one worker thread per thread beyond the first).
TEST_P(ParallelProtocol, ManyShortSearchesAndPoolChanges) {
    Engine engine(GetParam());
    engine.expectQuiet();
    // The engine's threads besides the workers.
    const int others = engine.threadCount() - (GetParam() - 1);
    const int cycles = 200;
    for (int i = 0; i < cycles; i++) {
        const char* fen = kPositions[i % 4];
        if (i % 10 == 5) {
            // Between searches: 20 changes of the pool over the run.
            int threads = 1 + (i / 10) % 4;
            engine.setThreads(threads);
            engine.expectQuiet();
            EXPECT_EQ(engine.threadCountReaching(others + threads - 1) - others, threads - 1)
                << "workers after Threads " << threads << " (cycle " << i << ")";
        }
        engine.position(fen);
        engine.send(i % 3 == 0 ? "go infinite" : "go wtime 60000 btime 60000");
        if (i % 4 == 1) pause(i % 20);
        engine.send("stop");
        std::vector<std::string> lines = engine.readUntil("bestmove");
        ASSERT_FALSE(lines.empty());
        ASSERT_TRUE(testAnswersLegally(fen, lines.back())) << "cycle " << i << ": " << lines.back();
    }
    engine.expectQuiet();
    engine.expectCleanQuit();
}

// The session ends while the workers search: "quit", or the end of input.
TEST_P(ParallelProtocol, QuitAndEndOfInputDuringASearch) {
    for (bool endOfInput : {false, true}) {
        Engine engine(GetParam());
        engine.position(kPositions[1]);
        engine.send("go infinite");
        engine.readUntil("info depth 5", 30000);
        int64_t start = nowMs();
        if (endOfInput)
            engine.closeInput();
        else
            engine.send("quit");
        EXPECT_EQ(engine.wait(20000), 0) << engine.stderrText();
        EXPECT_LT(nowMs() - start, 5000 * TEST_TIME_FACTOR);
        EXPECT_EQ(engine.stderrText().find("Sanitizer"), std::string::npos) << engine.stderrText();
    }
}

// A GUI that changes the pool or the tables while a search runs must not bring
// the engine down: the search is stopped (it answers) before the rebuild.
TEST_P(ParallelProtocol, RebuildingOptionsDuringASearch) {
    struct {
        const char* command;
        const char* done;  // the line that closes the answer
    } cases[] = {
        {"setoption name Threads value 3", "info string Threads set to 3"},
        {"setoption name Hash value 8", "info string Hash set to 8"},
        {"setoption name Clear Hash", "bestmove"},
    };
    for (const auto& c : cases) {
        Engine engine(GetParam());
        const char* fen = kPositions[2];
        engine.position(fen);
        engine.send("go infinite");
        pause(200);
        engine.send(c.command);
        std::vector<std::string> lines = engine.readUntil(c.done);
        auto answers = linesStartingWith(lines, "bestmove");
        ASSERT_EQ(answers.size(), 1u) << c.command;
        EXPECT_TRUE(testAnswersLegally(fen, answers[0]));
        engine.send("go depth 5");
        EXPECT_TRUE(testAnswersLegally(fen, engine.readUntil("bestmove", 60000).back()));
        engine.expectQuiet();
        engine.expectCleanQuit();
    }
}

INSTANTIATE_TEST_SUITE_P(Threads, ParallelProtocol, ::testing::Values(2, 3, 4),
                         [](const ::testing::TestParamInfo<int>& threads) {
                             return std::to_string(threads.param);
                         });

}  // namespace
