// The engine with its bitbases, through the real binary.
#include <gtest/gtest.h>

#include "support/engine.h"
#include "support/engineprocess.h"

namespace {

std::string bestMove(const std::vector<std::string>& lines) {
    const std::string& last = lines.back();
    size_t end = last.find(' ', 9);
    return last.substr(9, end == std::string::npos ? std::string::npos : end - 9);
}

// King and rook against a king in the centre: the side with the rook, at one
// second a move, mates well inside the fifty-move rule, with bitbase hits shown.
TEST(EgbbProtocol, MatesWithKingAndRookAgainstKing) {
    SKIP_WITHOUT_BITBASES();
    EngineProcess white, black;
    for (EngineProcess* engine : {&white, &black}) {
        engine->send("uci");
        engine->send("isready");
        std::vector<std::string> lines = engine->readUntil("readyok");
        ASSERT_NE(std::find(lines.begin(), lines.end(), "info string endgame bitbases loaded"),
                  lines.end());
    }
    const std::string start = "position fen 8/8/8/4k3/8/8/8/R3K3 w - - 0 1 moves";
    std::string moves;
    bool sawHits = false, mated = false;
    for (int ply = 0; ply < 100 && !mated; ply++) {
        EngineProcess& engine = ply % 2 == 0 ? white : black;
        engine.send(start + moves);
        engine.send(ply % 2 == 0 ? "go movetime 1000" : "go movetime 100");
        std::vector<std::string> lines = engine.readUntil("bestmove", 10000);
        ASSERT_FALSE(lines.empty());
        for (const auto& line : lines)
            if (line.find(" bbhits ") != std::string::npos) sawHits = true;
        std::string move = bestMove(lines);
        if (move == "(none)") {
            mated = ply % 2 == 1;
            ASSERT_TRUE(mated) << "white has no move after" << moves;
            break;
        }
        moves += " " + move;
    }
    EXPECT_TRUE(mated) << "no mate within 50 moves:" << moves;
    EXPECT_TRUE(sawHits);
    // The final position is a mate, not a stalemate: black is in check.
    black.send(start + moves);
    black.send("debug");
    std::vector<std::string> dump = black.readUntil("History:");
    EXPECT_FALSE(linesStartingWith(dump, "Check:1").empty()) << moves;
}

}  // namespace
