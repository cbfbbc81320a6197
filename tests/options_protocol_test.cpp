// Engine options and the opening book through the real binary.
#include <gtest/gtest.h>

#include <chrono>

#include "support/engine.h"
#include "support/engineprocess.h"

namespace {

const std::vector<std::string> kUciReply = {
    "id name Korvan 1.3b RX",
    "id author Dalen Varsek",
    "option name Ponder type check default false",
    "option name MultiPV type spin default 1 min 1 max 20",
    "option name Threads type spin default 1 min 1 max 16",
    "option name Hash type spin default 64 min 1 max 4096",
    "option name OwnBook type check default true",
    "option name Book File type string default ./performance.bin",
    "option name Bitbases Path type string default ./egbb",
    "option name Bitbases Cache Size type spin default 16 min 1 max 256",
    "option name Clear Hash type button",
    "option name UCI_EngineAbout type string default https://korvan-chess.org",
    "uciok",
};

std::vector<std::string> uciReply(EngineProcess& engine) {
    engine.send("uci");
    std::vector<std::string> lines = engine.readUntil("uciok");
    while (!lines.empty() && lines.front().rfind("id name", 0) != 0) lines.erase(lines.begin());
    return lines;
}

// What the engine writes in answer to the commands, up to the readyok that follows them.
std::vector<std::string> answer(EngineProcess& engine, const std::vector<std::string>& commands) {
    for (const auto& command : commands) engine.send(command);
    engine.send("isready");
    std::vector<std::string> lines = engine.readUntil("readyok");
    lines.pop_back();
    return lines;
}

TEST(OptionsProtocol, TheUciReplyListsTheTenOptionsWithTheirStartUpDefaults) {
    EngineProcess engine;
    EXPECT_EQ(uciReply(engine), kUciReply);
    answer(engine,
           {"setoption name Hash value 16", "setoption name OwnBook value false",
            "setoption name Book File value /tmp/none.bin", "setoption name MultiPV value 4"});
    EXPECT_EQ(uciReply(engine), kUciReply);
}

TEST(OptionsProtocol, SetoptionAnswers) {
    struct {
        std::vector<std::string> commands;
        std::vector<std::string> output;
        bool needsBitbases = false;
    } cases[] = {
        {{"setoption name hash value 128"}, {"info string Hash set to 128"}},
        {{"setoption name Ponder value TRUE"}, {"info string Ponder set to TRUE"}},
        {{"setoption name ownbook value False"}, {"info string OwnBook set to False"}},
        {{"setoption name MultiPV value 20"}, {"info string MultiPV set to 20"}},
        {{"setoption name Threads value 2"}, {"info string Threads set to 2"}},
        {{"setoption name Foo value 1"}, {"info wrong uci option name (Foo)"}},
        {{"setoption name Clear Hash"}, {}},
        {{"setoption name UCI_EngineAbout value  somewhere else  "}, {}},
        {{"setoption name Book File value   /nonexistent/book.bin  "},
         {"info string book (/nonexistent/book.bin) not loaded"}},
        {{"setoption name Book File value ./performance.bin"},
         {"info string book (./performance.bin) loaded"}},
        {{"setoption name Bitbases Cache Size value 32"},
         {"info string Bitbases Cache Size set to 32", "info string endgame bitbases loaded"},
         true},
        {{"setoption name Bitbases Path value ./egbb"},
         {"info string endgame bitbases loaded"},
         true},
    };
    int skipped = 0;
    for (const auto& c : cases) {
        if (c.needsBitbases && !KORVAN_HAVE_BITBASES) {
            skipped++;
            continue;
        }
        EngineProcess engine;
        uciReply(engine);
        EXPECT_EQ(answer(engine, c.commands), c.output) << c.commands[0];
    }
    if (skipped) SKIP_WITHOUT_BITBASES(skipped << " cases load them");
}

// The position the option tests search, and its record.
const char* kAfterE4 = "position startpos moves e2e4";
const char* kAfterE4Fen = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1";

// The last "hashfull" a search reported (-1 when none).
int lastHashfull(const std::vector<std::string>& lines) {
    int hashfull = -1;
    for (const auto& line : linesStartingWith(lines, "info time "))
        if (size_t at = line.find(" hashfull "); at != std::string::npos)
            hashfull = std::stoi(line.substr(at + 10));
    return hashfull;
}

TEST(OptionsProtocol, BadValuesKeepTheOldValueAndTheEngineServes) {
    // What a value other than the default shows in the search that follows.
    enum Kept { SMALL_HASH, TWO_LINES, TWO_THREADS, PONDER_MOVE };
    struct {
        const char* setUp;  // a value taken first
        const char* command;
        const char* warning;
        Kept kept;
    } cases[] = {
        {"setoption name Hash value 1", "setoption name Hash value 0",
         "Wrong uci option value (Hash:0)", SMALL_HASH},
        {"setoption name Hash value 1", "setoption name Hash value 4097",
         "Wrong uci option value (Hash:4097)", SMALL_HASH},
        {"setoption name Hash value 1", "setoption name Hash value abc", "Wrong value abc!",
         SMALL_HASH},
        {"setoption name Hash value 1", "setoption name Hash value", "Wrong value !", SMALL_HASH},
        {"setoption name MultiPV value 2", "setoption name MultiPV value -3",
         "Wrong uci option value (MultiPV:-3)", TWO_LINES},
        {"setoption name Threads value 2", "setoption name Threads value 17",
         "Wrong uci option value (Threads:17)", TWO_THREADS},
        {"setoption name Threads value 2", "setoption name Threads value 99999999999999999999",
         "Wrong value 99999999999999999999!", TWO_THREADS},
        {"setoption name Ponder value true", "setoption name Ponder value maybe",
         "Wrong value maybe!", PONDER_MOVE},
    };
    for (const auto& c : cases) {
        EngineProcess engine;
        uciReply(engine);
        answer(engine, {"setoption name OwnBook value false", c.setUp});
        int threads = engine.threadCount();
        EXPECT_TRUE(answer(engine, {c.command}).empty()) << c.command;
        if (c.kept == TWO_THREADS) {
            // The pool of two threads (one worker) is neither rebuilt nor resized.
            EXPECT_EQ(engine.threadCount(), threads) << c.command;
        }
        // The engine still searches, with the value it had.
        engine.send(kAfterE4);
        engine.send("go depth 7");
        std::vector<std::string> lines = engine.readUntil("bestmove", 60000);
        EXPECT_TRUE(testAnswersLegally(kAfterE4Fen, lines.back()))
            << c.command << ": " << lines.back();
        switch (c.kept) {
            case SMALL_HASH:
                // A 1 MB table is a fifth full after this search; the default 64 MB
                // one is nearly empty.
                EXPECT_GE(lastHashfull(lines), 50) << c.command;
                break;
            case TWO_LINES:
                EXPECT_FALSE(linesStartingWith(lines, "info multipv 2 ").empty()) << c.command;
                EXPECT_TRUE(linesStartingWith(lines, "info multipv 3 ").empty()) << c.command;
                break;
            case TWO_THREADS:
                break;
            case PONDER_MOVE:
                EXPECT_NE(lines.back().find(" ponder "), std::string::npos) << lines.back();
                break;
        }
        engine.send("quit");
        EXPECT_EQ(engine.wait(), 0);
        EXPECT_NE(engine.stderrText().find(c.warning), std::string::npos)
            << c.command << ": " << engine.stderrText();
    }
}

TEST(OptionsProtocol, ThreadsChangesKeepAWorkingPool) {
    EngineProcess engine;
    uciReply(engine);
    answer(engine, {"setoption name OwnBook value false"});
    const char* fen = "rnbqkbnr/ppp1pppp/8/3p4/3P4/8/PPP1PPPP/RNBQKBNR w KQkq d6 0 2";
    for (const char* threads : {"2", "0", "4", "1", "3", "x"}) {
        engine.send(std::string("setoption name Threads value ") + threads);
        engine.send("position startpos moves d2d4 d7d5");
        engine.send("go depth 6");
        std::string best = engine.readUntil("bestmove", 30000).back();
        EXPECT_TRUE(testAnswersLegally(fen, best)) << threads << ": " << best;
    }
    engine.send("quit");
    EXPECT_EQ(engine.wait(), 0);
}

TEST(OptionsProtocol, MultiPvAboveTheMoveCountIsClampedForThatSearchOnly) {
    EngineProcess engine;
    uciReply(engine);
    answer(engine, {"setoption name OwnBook value false", "setoption name MultiPV value 3"});
    // Two legal moves: two lines.
    engine.send("position fen 7k/8/8/8/8/8/r7/K7 w - - 0 1");
    engine.send("go depth 5");
    std::vector<std::string> lines = engine.readUntil("bestmove");
    EXPECT_FALSE(linesStartingWith(lines, "info multipv 2 ").empty());
    EXPECT_TRUE(linesStartingWith(lines, "info multipv 3 ").empty());
    // The next position has many moves: three lines again.
    engine.send("position startpos moves e2e4 e7e5");
    engine.send("go depth 5");
    lines = engine.readUntil("bestmove");
    EXPECT_FALSE(linesStartingWith(lines, "info multipv 3 ").empty());
}

TEST(OptionsProtocol, TheDefaultBookAnswersTheFirstMoveAtOnce) {
    EngineProcess engine;
    std::vector<std::string> start = uciReply(engine);
    engine.send("position startpos");
    auto begin = std::chrono::steady_clock::now();
    engine.send("go wtime 60000 btime 60000 winc 1000 binc 1000");
    std::vector<std::string> lines = engine.readUntil("bestmove");
    auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - begin);
    EXPECT_LT(elapsed.count(), 200 * TEST_TIME_FACTOR);
    EXPECT_TRUE(linesStartingWith(lines, "info depth").empty());
    EXPECT_TRUE(linesStartingWith(lines, "info score").empty());
    // With the book off the same position is searched.
    answer(engine, {"setoption name OwnBook value false"});
    engine.send("go depth 5");
    lines = engine.readUntil("bestmove");
    EXPECT_FALSE(linesStartingWith(lines, "info depth 5").empty());
}

TEST(OptionsProtocol, StartUpNoticesOfBookAndBitbases) {
    EngineProcess engine;
    engine.send("isready");
    std::vector<std::string> lines = engine.readUntil("readyok");
    if (KORVAN_HAVE_BITBASES) {
        EXPECT_NE(std::find(lines.begin(), lines.end(), "info string endgame bitbases loaded"),
                  lines.end());
    }
    EXPECT_NE(std::find(lines.begin(), lines.end(), "info string book (./performance.bin) loaded"),
              lines.end());
    // From a folder without them the engine says so and plays on.
    EngineProcess elsewhere("/tmp");
    elsewhere.send("isready");
    lines = elsewhere.readUntil("readyok");
    EXPECT_NE(
        std::find(lines.begin(), lines.end(), "info string book (./performance.bin) not loaded"),
        lines.end());
    EXPECT_FALSE(linesStartingWith(lines, "info string ").empty());
    elsewhere.send("position startpos");
    elsewhere.send("go depth 4");
    EXPECT_TRUE(testAnswersLegally("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
                                   elsewhere.readUntil("bestmove").back()));
    SKIP_WITHOUT_BITBASES("their start-up notice was not checked");
}

}  // namespace
