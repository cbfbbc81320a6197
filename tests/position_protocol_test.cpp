// The position command through the real binary.
#include <gtest/gtest.h>

#include "support/engineprocess.h"

namespace {

// The "debug" dump of the current position, from its picture to its history.
std::vector<std::string> dump(EngineProcess& engine) {
    engine.send("debug");
    return engine.readUntil("History:");
}

std::string field(const std::vector<std::string>& lines, const std::string& name) {
    for (const auto& line : lines)
        if (line.rfind(name, 0) == 0) return line.substr(name.size());
    return "<missing " + name + ">";
}

TEST(PositionProtocol, VariantsOfTheCommand) {
    struct {
        const char* command;
        const char* firstRow;
        const char* ply;
        const char* history;
    } cases[] = {
        {"position startpos", "rnbqkbnr", "0", " "},
        {"position startpos moves e2e4 e7e5", "rnbqkbnr", "2", " e2e4 e7e5 "},
        {"POSITION STARTPOS MOVES E2E4 E7E5 G1F3", "rnbqkbnr", "3", " e2e4 e7e5 g1f3 "},
        {"position startpos e2e4", "rnbqkbnr", "0", " "},
        {"position fen 4k3/P7/8/8/8/8/8/4K3 w - - 12 40 moves a7a8Q e8d7", "Q # # # ", "2",
         " a7a8q e8d7 "},
        {"position fen r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1 moves e1g1 e8c8", "# kr# #r", "2",
         " e1g1 e8c8 "},
    };
    for (const auto& c : cases) {
        EngineProcess engine;
        engine.send(c.command);
        std::vector<std::string> lines = dump(engine);
        std::vector<std::string> rows = linesStartingWith(lines, c.firstRow);
        EXPECT_FALSE(rows.empty()) << c.command;
        EXPECT_EQ(field(lines, "Ply:"), c.ply) << c.command;
        EXPECT_EQ(field(lines, "History:"), c.history) << c.command;
    }
}

TEST(PositionProtocol, TheSameGameTwiceGivesTheSameKey) {
    EngineProcess engine;
    engine.send("position startpos moves g1f3 g8f6 f3g1 f6g8 g1f3");
    std::string first = field(dump(engine), "Key:");
    engine.send("position fen 4k3/8/8/8/8/8/8/4K3 w - - 0 1");
    engine.send("position startpos moves g1f3 g8f6 f3g1 f6g8 g1f3");
    std::vector<std::string> lines = dump(engine);
    EXPECT_EQ(field(lines, "Key:"), first);
    EXPECT_EQ(field(lines, "Repeat:"), "1");
}

TEST(PositionProtocol, BadInputLeavesTheEngineServing) {
    struct {
        const char* command;
        const char* ply;
        const char* history;
        const char* error;
    } cases[] = {
        // A refused record leaves the previous position (here after e2e4).
        {"position fen rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "1", " e2e4 ",
         "Wrong char (9)"},
        {"position fen 8/8/8/8/8/8/8/8 w - - 0 1", "1", " e2e4 ", "Wrong FEN"},
        {"position fen rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNZ w KQkq - 0 1", "1", " e2e4 ",
         "Wrong char (Z)"},
        // Moves before a bad text stay made.
        {"position startpos moves e2e4 e7e5 e1e3 g1f3", "2", " e2e4 e7e5 ",
         "Can not make move (e1e3)"},
        {"position startpos moves e2e4 e7e5 g1f3 b8c6 f1c4 g8f6 O-O", "6",
         " e2e4 e7e5 g1f3 b8c6 f1c4 g8f6 ", "Can not make move (O-O)"},
        {"position fen 4k3/P7/8/8/8/8/8/4K3 w - - 0 1 moves a7a8", "0", " ",
         "Can not make move (a7a8)"},
    };
    for (const auto& c : cases) {
        EngineProcess engine;
        engine.send("position startpos moves e2e4");
        engine.send(c.command);
        std::vector<std::string> lines = dump(engine);
        EXPECT_EQ(field(lines, "Ply:"), c.ply) << c.command;
        EXPECT_EQ(field(lines, "History:"), c.history) << c.command;
        engine.send("isready");
        engine.readUntil("readyok");
        engine.send("quit");
        EXPECT_EQ(engine.wait(), 0);
        EXPECT_NE(engine.stderrText().find(c.error), std::string::npos) << engine.stderrText();
    }
}

TEST(PositionProtocol, AGameOf1500PliesIsAccepted) {
    // Knights out and back, with a pair of pawn moves every 40 plies while there
    // are any, then knights only: 1500 plies, ending on a repetition.
    const char* shuffle[] = {"g1f3", "g8f6", "f3g1", "f6g8"};
    const char* pawns[] = {"a2a3", "a7a6", "a3a4", "a6a5", "b2b3", "b7b6", "b3b4",
                           "b6b5", "c2c3", "c7c6", "c3c4", "c6c5", "d2d3", "d7d6",
                           "d3d4", "d6d5", "e2e3", "e7e6", "e3e4", "e6e5", "g2g3",
                           "g7g6", "g3g4", "g6g5", "h2h3", "h7h6", "h3h4", "h6h5"};
    std::string moves;
    int plies = 0;
    size_t pawnMove = 0;
    while (plies < 1500) {
        for (int i = 0; i < 40 && plies < 1500; i++, plies++)
            moves += std::string(" ") + shuffle[i % 4];
        if (pawnMove < std::size(pawns) && plies < 1500) {
            moves += std::string(" ") + pawns[pawnMove] + " " + pawns[pawnMove + 1];
            pawnMove += 2;
            plies += 2;
        }
    }
    EngineProcess engine;
    engine.send("position startpos moves" + moves);
    std::vector<std::string> lines = dump(engine);
    EXPECT_NE(field(lines, "Repeat:"), "0");
    EXPECT_EQ(linesStartingWith(lines, "rnbqkbnr").size(), 1u);
    EXPECT_EQ(linesStartingWith(lines, "PPPPP PP").size(), 1u);
    engine.send("isready");
    engine.readUntil("readyok");
    engine.send("quit");
    EXPECT_EQ(engine.wait(), 0);
    EXPECT_EQ(engine.stderrText().find("Can not make move"), std::string::npos)
        << engine.stderrText();
}

}  // namespace
