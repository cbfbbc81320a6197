// The perft suite: leaf counts of the move tree, walked through the generators
// and through the picker, against known totals and against a plainly written
// reference walker.
#include <gtest/gtest.h>

#include <cinttypes>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "moves/movedo.h"
#include "moves/perft.h"
#include "support/engine.h"
#include "support/reference.h"

namespace {

#ifdef KORVAN_SANITIZED
constexpr uint64_t WALK_BUDGET = 1'000'000;
constexpr uint64_t PICKER_BUDGET = 200'000;
constexpr uint64_t REFERENCE_BUDGET = 50'000;
#else
// Keeps the whole suite to a few seconds; the deeper totals are benchmarks.
constexpr uint64_t WALK_BUDGET = 40'000'000;
constexpr uint64_t PICKER_BUDGET = 5'000'000;
constexpr uint64_t REFERENCE_BUDGET = 2'000'000;
#endif

struct SuiteEntry {
    std::string fen;
    std::vector<uint64_t> counts;  // counts[d - 1] = leaves at depth d
};

// Lines "FEN ;D1 n ;D2 n ...".
std::vector<SuiteEntry> readSuite() {
    std::vector<SuiteEntry> suite;
    std::ifstream in(KORVAN_SOURCE_DIR "/tests/data/perft.epd");
    EXPECT_TRUE(in.good()) << "tests/data/perft.epd not found";
    std::string line;
    while (std::getline(in, line)) {
        size_t semicolon = line.find(';');
        if (line.empty() || semicolon == std::string::npos) continue;
        SuiteEntry entry;
        entry.fen = line.substr(0, semicolon);
        std::istringstream fields(line.substr(semicolon));
        std::string field;
        uint64_t count;
        while (fields >> field >> count) {
            EXPECT_EQ(field, ";D" + std::to_string(entry.counts.size() + 1)) << line;
            entry.counts.push_back(count);
        }
        suite.push_back(entry);
    }
    return suite;
}

class PerftTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { testInit(); }
};

TEST_F(PerftTest, SuiteHasTheRequiredPositions) {
    auto suite = readSuite();
    ASSERT_GE(suite.size(), 6u);
    EXPECT_EQ(suite[0].counts.at(5), 119060324u);
    EXPECT_EQ(suite[1].counts.at(4), 193690690u);
}

TEST_F(PerftTest, GeneratorWalkMatchesTheSuite) {
    for (const SuiteEntry& entry : readSuite()) {
        Position* p = testPosition(entry.fen.c_str());
        Position before = *p;
        for (size_t d = 1; d <= entry.counts.size() && entry.counts[d - 1] <= WALK_BUDGET; d++)
            EXPECT_EQ(perft(p, static_cast<int>(d)), entry.counts[d - 1])
                << entry.fen << " depth " << d;
        EXPECT_EQ(0, memcmp(p, &before, offsetof(Position, history))) << entry.fen;
        positionFree(p);
    }
}

TEST_F(PerftTest, PickerWalkMatchesTheSuite) {
    for (const SuiteEntry& entry : readSuite()) {
        Position* p = testPosition(entry.fen.c_str());
        for (size_t d = 1; d <= entry.counts.size() && entry.counts[d - 1] <= PICKER_BUDGET; d++)
            EXPECT_EQ(perftPicker(p, static_cast<int>(d)), entry.counts[d - 1])
                << entry.fen << " depth " << d;
        positionFree(p);
    }
}

// The reference walker shares no code with the engine: it confirms the
// suite's own positions (and itself, on the well-known ones).
TEST_F(PerftTest, ReferenceWalkerConfirmsTheSuite) {
    for (const SuiteEntry& entry : readSuite()) {
        Position* p = testPosition(entry.fen.c_str());
        ReferenceBoard board = referenceFrom(p);
        for (size_t d = 1; d <= entry.counts.size() && entry.counts[d - 1] <= REFERENCE_BUDGET; d++)
            EXPECT_EQ(referencePerft(board, static_cast<int>(d)), entry.counts[d - 1])
                << entry.fen << " depth " << d;
        positionFree(p);
    }
}

TEST_F(PerftTest, DepthZeroCountsThePositionItself) {
    Position* p = positionNew();
    EXPECT_EQ(perft(p, 0), 1u);
    EXPECT_EQ(perftPicker(p, 0), 1u);
    positionFree(p);
}

// The tool prints the per-move counts and their total.
TEST_F(PerftTest, ToolDividesAndTotals) {
    std::string command = std::string(KORVAN_BUILD_DIR "/tools/korvan-perft") +
                          " 'r3k2r/8/8/8/8/8/5r2/R3K2R w KQkq - 0 1' 2 --divide";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[256];
    uint64_t sum = 0, total = 0;
    int moves = 0;
    bool castled = false;
    while (fgets(line, sizeof line, pipe)) {
        char text[16];
        uint64_t n;
        if (sscanf(line, "Nodes: %" SCNu64, &n) == 1) {
            total = n;
        } else if (sscanf(line, "%15[a-h1-8qrbn]: %" SCNu64, text, &n) == 2) {
            sum += n;
            moves++;
            if (std::string(text) == "e1g1") castled = true;
        }
    }
    EXPECT_EQ(pclose(pipe), 0);
    EXPECT_EQ(moves, 22);
    EXPECT_EQ(sum, 737u);
    EXPECT_EQ(total, 737u);
    EXPECT_FALSE(castled) << "castling through the attacked f1";
}

}  // namespace
