// Bad input through the real binary: after every bad command the engine keeps
// serving with its state as it was before the command, and answers "isready".
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/engine.h"
#include "support/engineprocess.h"

namespace {

const char* kMiddlegame =
    "position fen r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP1B1PPP/R2QKB1R w KQ - 0 8";

// An engine that has answered "uci" and "isready" (the book and bitbase
// notices of the start-up are read by then).
struct Engine : EngineProcess {
    std::vector<std::string> identity;
    Engine() {
        send("uci");
        identity = readUntil("uciok");
        // The start-up notices (book, bitbases) come first.
        while (!identity.empty() && identity.front().rfind("id name", 0) != 0)
            identity.erase(identity.begin());
        isReady();
    }
    // "isready" must be answered, with nothing else printed before it.
    std::vector<std::string> isReady() {
        send("isready");
        return readUntil("readyok");
    }
    // The "debug" dump of the current position, from its picture to its history.
    std::vector<std::string> dump() {
        isReady();  // what was printed before
        send("debug");
        return readUntil("History:");
    }
};

std::string lastBestMove(const std::vector<std::string>& lines) {
    std::vector<std::string> answers = linesStartingWith(lines, "bestmove");
    return answers.empty() ? "" : answers.back();
}

TEST(BadInput, FenRecordsLeaveThePreviousPosition) {
    struct {
        const char* fen;
        const char* error;
    } cases[] = {
        // Field counts (the word "moves" then stands where a field should).
        {"", "Wrong char (m)"},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR", "Wrong FEN"},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w", "Wrong FEN"},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq", "Wrong char (m)"},
        // Ranks: one too many, one too few, 9 squares, 7 squares.
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR/8 w KQkq - 0 1", "Wrong FEN"},
        {"rnbqkbnr/pppppppp/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "Wrong FEN"},
        {"rnbqkbnr/ppppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "Wrong FEN"},
        {"rnbqkbnr/pppppppp/44p/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "Wrong FEN"},
        {"rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "Wrong char (9)"},
        {"rnbqkbnr/ppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "Wrong FEN"},
        // Kings missing or doubled.
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQ1BNR w kq - 0 1", "Wrong FEN"},
        {"rnbq1bnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQ - 0 1", "Wrong FEN"},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBKKBNR w - - 0 1", "Wrong FEN"},
        {"knbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQ - 0 1", "Wrong FEN"},
        // Pawns on the back ranks.
        {"rnbqkbnP/pppppppp/8/8/8/8/PPPPPPP1/RNBQKBNR w KQq - 0 1", "Wrong FEN"},
        {"rnbqkbnr/ppppppp1/8/8/8/8/PPPPPPPP/RNBQKBNp w KQkq - 0 1", "Wrong FEN"},
        // The side that just moved left its king in check.
        {"4k3/4R3/8/8/8/8/8/4K3 w - - 0 1", "Wrong FEN"},
        // En-passant squares: wrong rank for the side, no pawn that stepped,
        // off the board, not a square.
        {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e3 0 1", "Wrong FEN"},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq e6 0 1", "Wrong FEN"},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq e9 0 1", "Wrong char (9)"},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq z6 0 1", "Wrong char (z)"},
        // Letters that are no pieces.
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNX w KQkq - 0 1", "Wrong char (X)"},
    };
    for (const auto& c : cases) {
        Engine engine;
        engine.send("position startpos moves e2e4 e7e5 g1f3");
        std::vector<std::string> before = engine.dump();
        engine.send(std::string("position fen ") + c.fen + " moves d2d4");
        EXPECT_EQ(engine.dump(), before) << c.fen;
        engine.isReady();
        engine.send("quit");
        EXPECT_EQ(engine.wait(), 0) << c.fen;
        EXPECT_NE(engine.stderrText().find(c.error), std::string::npos) << c.fen << "\n"
                                                                        << engine.stderrText();
    }
}

TEST(BadInput, OddButReadableFenRecordsAreTaken) {
    // Counters are not read, however large; castling letters without their
    // king and rook are dropped; an en-passant square no pawn can use is dropped.
    struct {
        const char* fen;
        const char* firstRow;
        const char* castling;
        const char* enPassant;
    } cases[] = {
        {"4k3/8/8/8/8/8/8/4K2R w K - 99999999999999999999 -1", "# # k # ", "1", "0"},
        {"4k3/8/8/8/8/8/8/4K2R w KQkq - 0 1", "# # k # ", "1", "0"},
        {"4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", "# # k # ", "0", "43"},
        {"4k3/8/8/3p4/8/8/8/4K3 w - d6 0 1", "# # k # ", "0", "0"},
    };
    for (const auto& c : cases) {
        Engine engine;
        engine.send(std::string("position fen ") + c.fen);
        std::vector<std::string> lines = engine.dump();
        EXPECT_EQ(linesStartingWith(lines, c.firstRow).size(), 1u) << c.fen;
        EXPECT_EQ(linesStartingWith(lines, "Castling:").at(0),
                  std::string("Castling:") + c.castling)
            << c.fen;
        EXPECT_EQ(linesStartingWith(lines, "En passant:").at(0),
                  std::string("En passant:") + c.enPassant)
            << c.fen;
        engine.isReady();
    }
}

TEST(BadInput, ABadMoveKeepsTheMovesBeforeIt) {
    struct {
        const char* good;  // the command up to the bad move
        const char* bad;   // what follows
    } cases[] = {
        {"position startpos moves e2e4 e7e5", "e1e3 g1f3"},
        {"position startpos moves e2e4 e7e5", "e7e5"},
        {"position startpos moves e2e4", "e2e4"},
        // Promotions without their letter or with a wrong one.
        {"position fen 4k3/P7/8/8/8/8/8/4K3 w - - 0 1 moves", "a7a8"},
        {"position fen 4k3/P7/8/8/8/8/8/4K3 w - - 0 1 moves", "a7a8k"},
        {"position fen 4k3/P7/8/8/8/8/8/4K3 w - - 0 1 moves", "a7a8p"},
        {"position fen 4k3/P7/8/8/8/8/8/4K3 w - - 0 1 moves a7a8q", "e8d7q"},
        // Castling written any way but the king's move.
        {"position fen r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1 moves", "O-O"},
        {"position fen r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1 moves", "0-0-0"},
        {"position fen r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1 moves", "e1h1"},
        {"position fen r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1 moves e1g1", "e8h8"},
        // Words that are no moves at all.
        {"position startpos moves e2e4", "null"},
        {"position startpos moves e2e4", "0000"},
        {"position startpos moves e2e4", "e7"},
        {"position startpos moves e2e4", "e7e5e7e5e7e5e7e5e7e5e7e5e7e5e7e5e7e5e7e5e7e5e7e5"},
        {"position startpos moves e2e4", "\xff\xfe"},
    };
    for (const auto& c : cases) {
        Engine engine;
        engine.send(c.good);
        std::vector<std::string> expected = engine.dump();
        engine.send("position startpos moves d2d4");  // something else in between
        engine.send(std::string(c.good) + (strstr(c.good, "moves") ? " " : " moves ") + c.bad);
        EXPECT_EQ(engine.dump(), expected) << c.bad;
        engine.isReady();
        engine.send("quit");
        EXPECT_EQ(engine.wait(), 0);
        EXPECT_NE(engine.stderrText().find("Can not make move"), std::string::npos) << c.bad;
    }
}

TEST(BadInput, TwoThousandMovesAndABadOneAfterThem) {
    std::string moves;
    for (int i = 0; i < 500; i++) moves += " g1f3 g8f6 f3g1 f6g8";
    Engine engine;
    engine.send("setoption name OwnBook value false");
    engine.send("position startpos moves" + moves);
    std::vector<std::string> expected = engine.dump();
    EXPECT_NE(linesStartingWith(expected, "Repeat:").at(0), "Repeat:0");
    engine.send("position startpos moves" + moves + " e2e5 e2e4");
    EXPECT_EQ(engine.dump(), expected);
    // Drawn by repetition: the engine has no move to make, and says so once.
    engine.send("go depth 3");
    EXPECT_EQ(lastBestMove(engine.readUntil("bestmove")), "bestmove (none)");
    engine.send("position startpos moves" + moves + " e2e4");
    engine.send("go depth 3");
    std::string answer = lastBestMove(engine.readUntil("bestmove"));
    EXPECT_NE(answer, "bestmove (none)");
    EXPECT_TRUE(linesStartingWith(engine.isReady(), "bestmove").empty());
}

// The refused values of a spin option.
const char* kBadNumbers[] = {
    "0",   "-1", "-2147483649", "2147483648", "4294967296", "18446744073709551616", "abc", "12abc",
    "1.5", ""};

TEST(BadInput, RefusedThreadCountsKeepTheWorkerPool) {
    Engine engine;
    engine.send("setoption name Threads value 2");
    engine.isReady();
    int threads = engine.threadCount();
    for (const char* value : kBadNumbers) {
        engine.send(std::string("setoption name Threads value ") + value);
        EXPECT_TRUE(linesStartingWith(engine.isReady(), "info string").empty()) << value;
        EXPECT_EQ(engine.threadCount(), threads) << value;
    }
    engine.send("setoption name Threads value 17");
    engine.isReady();
    EXPECT_EQ(engine.threadCount(), threads);
    // The count does see a change that is taken.
    engine.send("setoption name Threads value 3");
    engine.isReady();
    EXPECT_EQ(engine.threadCount(), threads + 1);
    // The pool still searches.
    engine.send(kMiddlegame);
    engine.send("go depth 4");
    EXPECT_NE(lastBestMove(engine.readUntil("bestmove", 30000)), "");
    engine.send("quit");
    EXPECT_EQ(engine.wait(), 0);
}

// Nodes of a search to depth 7 of the middlegame.
uint64_t searchNodes(EngineProcess& engine) {
    engine.send(kMiddlegame);
    engine.send("go depth 7");
    std::vector<std::string> reports =
        linesStartingWith(engine.readUntil("bestmove", 60000), "info time ");
    if (reports.empty()) return 0;
    const std::string& last = reports.back();
    return std::stoull(last.substr(last.find(" nodes ") + 7));
}

TEST(BadInput, RefusedHashSizesKeepTheTableAndWhatItHolds) {
    Engine engine;
    engine.send("setoption name OwnBook value false");
    engine.send("setoption name Hash value 32");
    uint64_t fresh = searchNodes(engine);
    ASSERT_GT(fresh, 0u);
    for (const char* value : kBadNumbers) {
        engine.send(std::string("setoption name Hash value ") + value);
        EXPECT_TRUE(linesStartingWith(engine.isReady(), "info string").empty()) << value;
    }
    engine.send("setoption name Hash value 4097");
    // The table kept what the first search stored: the same search is found
    // there at once.
    EXPECT_LT(searchNodes(engine), fresh / 10);
    // A size that is taken builds a new, empty table: the search starts over.
    engine.send("setoption name Hash value 32");
    EXPECT_GT(searchNodes(engine), fresh / 2);
}

TEST(BadInput, RefusedValuesKeepWhatTheOptionDoes) {
    std::string longPath(300, 'x');
    struct {
        const char* setUp;     // a good value first
        std::string bad;       // then the refused one
        const char* position;  // a search that shows the option's value
        const char* go;
        const char* shown;   // a text the search prints only with the good value
        const char* absent;  // a text it prints only without it
        bool needsBitbases = false;
    } cases[] = {
        {"setoption name Ponder value true", "setoption name Ponder value yes", kMiddlegame,
         "go depth 5", " ponder ", nullptr},
        {"setoption name Ponder value true", "setoption name Ponder value", kMiddlegame,
         "go depth 5", " ponder ", nullptr},
        {"setoption name MultiPV value 2", "setoption name MultiPV value 21", kMiddlegame,
         "go depth 5", "info multipv 2 ", "info multipv 3 "},
        {"setoption name MultiPV value 2", "setoption name MultiPV value 0", kMiddlegame,
         "go depth 5", "info multipv 2 ", "info multipv 3 "},
        {"setoption name MultiPV value 2", "setoption name MultiPV value two", kMiddlegame,
         "go depth 5", "info multipv 2 ", nullptr},
        // The book off: the start position is searched, not looked up.
        {"setoption name OwnBook value false", "setoption name OwnBook value 0",
         "position startpos", "go depth 5", "info depth 5", nullptr},
        // The book on: a path that is too long does not replace the book.
        {"setoption name OwnBook value true", "setoption name Book File value /" + longPath,
         "position startpos", "go depth 5", nullptr, "info depth"},
        // The bitbases answer in a won ending whatever the refused values.
        {"setoption name OwnBook value false", "setoption name Bitbases Path value /" + longPath,
         "position fen 8/8/8/8/8/5k2/8/5K1R w - - 0 1", "go depth 6", "bbhits", nullptr, true},
        {"setoption name OwnBook value false", "setoption name Bitbases Cache Size value 257",
         "position fen 8/8/8/8/8/5k2/8/5K1R w - - 0 1", "go depth 6", "bbhits", nullptr, true},
        {"setoption name OwnBook value false", "setoption name Bitbases Cache Size value 0",
         "position fen 8/8/8/8/8/5k2/8/5K1R w - - 0 1", "go depth 6", "bbhits", nullptr, true},
        {"setoption name OwnBook value false", "setoption name UCI_EngineAbout value " + longPath,
         kMiddlegame, "go depth 5", "info depth 5", nullptr},
    };
    int skipped = 0;
    for (const auto& c : cases) {
        if (c.needsBitbases && !KORVAN_HAVE_BITBASES) {
            skipped++;
            continue;
        }
        Engine engine;
        engine.send(c.setUp);
        engine.isReady();
        engine.send(c.bad);
        // A refused value is not confirmed and reloads nothing.
        std::vector<std::string> lines = engine.isReady();
        EXPECT_TRUE(linesStartingWith(lines, "info").empty()) << c.bad.substr(0, 60);
        engine.send(c.position);
        engine.send(c.go);
        std::ostringstream text;
        for (const auto& line : engine.readUntil("bestmove", 60000)) text << line << "\n";
        if (c.shown) {
            EXPECT_NE(text.str().find(c.shown), std::string::npos) << c.bad.substr(0, 60);
        }
        if (c.absent) {
            EXPECT_EQ(text.str().find(c.absent), std::string::npos) << c.bad.substr(0, 60);
        }
        // The "uci" reply still shows the start-up defaults.
        engine.send("uci");
        EXPECT_EQ(engine.readUntil("uciok"), engine.identity);
        engine.send("quit");
        EXPECT_EQ(engine.wait(), 0);
        EXPECT_FALSE(engine.stderrText().empty()) << "no input error for " << c.bad.substr(0, 60);
    }
    if (skipped) SKIP_WITHOUT_BITBASES(skipped << " cases search with them");
}

TEST(BadInput, GoWithAbsurdLimitsAnswersOnceAndLeavesThePosition) {
    struct {
        const char* go;
        bool needsStop;  // limits so large that the search runs until stopped
    } cases[] = {
        {"go depth 0", false},
        {"go nodes 1", false},
        {"go movetime 0", false},
        {"go wtime 0 btime 0", false},
        {"go wtime -1000 btime -1000 winc -5 binc -5", false},
        {"go depth -3", false},
        {"go movestogo 0 wtime 1 btime 1", false},
        {"go depth x nodes y movetime z", false},
        {"go depth 0 nodes 1 movetime 0 wtime 0 btime 0 winc 0 binc 0 movestogo 0", false},
        {"go nodes 18446744073709551616", true},
        {"go depth 18446744073709551616", true},
        {"go movetime 18446744073709551616", true},
        {"go wtime 4294967296 btime 4294967296 movestogo 4294967296", true},
        {"go infinite ponder depth 1 nodes 1 movetime 1 mate 1", true},
    };
    for (const auto& c : cases) {
        Engine engine;
        engine.send("setoption name OwnBook value false");
        engine.send(kMiddlegame);
        std::vector<std::string> before = engine.dump();
        engine.send(c.go);
        if (c.needsStop) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            engine.send("stop");
        }
        std::string answer = lastBestMove(engine.readUntil("bestmove", 10000));
        EXPECT_EQ(answer.rfind("bestmove ", 0), 0u) << c.go;
        EXPECT_NE(answer, "bestmove (none)") << c.go;
        // One answer only, and the position is still the one searched.
        EXPECT_TRUE(linesStartingWith(engine.isReady(), "bestmove").empty()) << c.go;
        EXPECT_EQ(engine.dump(), before) << c.go;
        engine.send("stop");
        EXPECT_TRUE(linesStartingWith(engine.isReady(), "bestmove").empty()) << c.go;
    }
}

TEST(BadInput, SetoptionDuringASearchEndsItBeforeChangingAnything) {
    // Found by the fuzzer: "Threads" changed under a running parallel search
    // left its master waiting forever on a worker pool that was gone.
    const char* changes[] = {
        "setoption name Threads value 3",
        "setoption name Threads value 1",
        "setoption name Hash value 8",
        "setoption name Clear Hash",
        "setoption name Book File value ./performance.bin",
        "setoption name Bitbases Cache Size value 8",
        "setoption name MultiPV value 2",
    };
    for (const char* change : changes) {
        for (const char* go : {"go infinite", "go ponder wtime 60000 btime 60000"}) {
            Engine engine;
            engine.send("setoption name Threads value 2");
            engine.send("setoption name OwnBook value false");
            engine.send(kMiddlegame);
            engine.send(go);
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            engine.send(change);
            EXPECT_NE(lastBestMove(engine.readUntil("bestmove", 5000)), "") << change;
            engine.send("go depth 4");
            EXPECT_NE(lastBestMove(engine.readUntil("bestmove", 30000)), "") << change;
            EXPECT_TRUE(linesStartingWith(engine.isReady(), "bestmove").empty()) << change;
            engine.send("quit");
            EXPECT_EQ(engine.wait(), 0) << change;
        }
    }
}

TEST(BadInput, ARefusedValueDuringASearchLeavesItRunning) {
    Engine engine;
    engine.send("setoption name OwnBook value false");
    engine.send(kMiddlegame);
    engine.send("go infinite");
    for (const char* value : kBadNumbers)
        engine.send(std::string("setoption name Threads value ") + value);
    engine.send("setoption name Nothing value 1");
    EXPECT_TRUE(linesStartingWith(engine.isReady(), "bestmove").empty());
    engine.send("stop");
    EXPECT_NE(lastBestMove(engine.readUntil("bestmove")), "");
}

}  // namespace
