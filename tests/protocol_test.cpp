// Protocol transcripts through the real binary.
#include <gtest/gtest.h>

#include "support/engineprocess.h"

namespace {

// The lines of the "uci" reply, start-up notices before it left out.
std::vector<std::string> uciReply(EngineProcess& engine) {
    engine.send("uci");
    std::vector<std::string> lines = engine.readUntil("uciok");
    while (!lines.empty() && lines.front().rfind("id name", 0) != 0) lines.erase(lines.begin());
    return lines;
}

TEST(Protocol, UciReplyListsIdentityOptionsAndUciok) {
    EngineProcess engine;
    std::vector<std::string> lines = uciReply(engine);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "id name Korvan 1.3b RX");
    EXPECT_EQ(lines[1], "id author Dalen Varsek");
    EXPECT_EQ(lines.back(), "uciok");
    for (size_t i = 2; i + 1 < lines.size(); i++) EXPECT_EQ(lines[i].rfind("option name ", 0), 0u);
    engine.send("quit");
    EXPECT_EQ(engine.wait(), 0);
}

TEST(Protocol, CommandsAreRecognisedInAnyCase) {
    EngineProcess engine;
    EXPECT_EQ(uciReply(engine)[0], "id name Korvan 1.3b RX");
    engine.send("UCI");
    EXPECT_EQ(engine.readUntil("uciok").back(), "uciok");
    engine.send("IsReady");
    EXPECT_EQ(engine.readUntil("readyok").back(), "readyok");
    engine.send("QUIT");
    EXPECT_EQ(engine.wait(), 0);
}

TEST(Protocol, UnknownWordsBlankLinesAndNewGame) {
    EngineProcess engine;
    engine.send("register later");
    engine.send("");
    engine.send("   \t ");
    engine.send("ucinewgame");
    engine.send("isready");
    std::vector<std::string> lines = engine.readUntil("readyok");
    ASSERT_GE(lines.size(), 2u);
    // Nothing but the unknown-command answer may come between the notices and readyok.
    EXPECT_EQ(lines[lines.size() - 2], "Unknown uci command:register");
    engine.send("quit");
    EXPECT_EQ(engine.wait(), 0);
}

TEST(Protocol, EndOfInputActsAsQuit) {
    EngineProcess engine;
    engine.send("isready");
    engine.readUntil("readyok");
    engine.closeInput();
    EXPECT_EQ(engine.wait(), 0);
}

TEST(Protocol, AnOverlongWordIsAnsweredWholeAndTheEngineServesOn) {
    EngineProcess engine;
    std::string word(10000, 'x');
    engine.send(word + " and more");
    engine.send("isready");
    std::vector<std::string> lines = engine.readUntil("readyok");
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "Unknown uci command:" + word);
    engine.sendRaw("\r\n\r\nisready\r\n");
    EXPECT_EQ(engine.readUntil("readyok").back(), "readyok");
    engine.send("quit");
    EXPECT_EQ(engine.wait(), 0);
}

TEST(Protocol, DebugPrintsThePositionAndKeysAreTheSameOnEveryRun) {
    std::string keys[2];
    for (auto& key : keys) {
        EngineProcess engine;
        engine.send("debug on");
        std::vector<std::string> lines = engine.readUntil("History:");
        auto picture = linesStartingWith(lines, "rnbqkbnr");
        EXPECT_EQ(picture.size(), 1u);
        auto keyLines = linesStartingWith(lines, "Key:");
        ASSERT_EQ(keyLines.size(), 1u);
        key = keyLines[0];
        engine.send("quit");
        EXPECT_EQ(engine.wait(), 0);
    }
    EXPECT_EQ(keys[0], keys[1]);
}

}  // namespace
