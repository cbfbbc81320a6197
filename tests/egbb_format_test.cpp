// The endgame tables' own parts: the index round trip, the block coder, the
// file format, and the generator's determinism and resumed runs.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "generate.h"
#include "moves.h"

using namespace egbb;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Folder {
    std::string path;
    Folder() {
        char name[] = "/tmp/korvan-tables-XXXXXX";
        path = mkdtemp(name);
    }
    ~Folder() { EXPECT_EQ(system(("rm -rf " + path).c_str()), 0); }
};

// Random legal boards of a material: their number gives back the same board
// or its mirror image, every number's board gives back that number, and the
// boards a move back leads to are numbered alike both ways.
TEST(EgbbIndex, NumbersAndBoardsRoundTrip) {
    std::mt19937 random(7);
    for (const char* name :
         {"KQvK", "KRvKB", "KBBvK", "KPvKP", "KPPvK", "KNNvKB", "KQRvKP", "KNNNvK", "KRPvKR"}) {
        Material material;
        ASSERT_TRUE(parseMaterial(name, material));
        Layout layout = layoutOf(material);
        int legal = 0;
        for (int trial = 0; trial < 20000; ++trial) {
            uint64_t index = random() % layout.size;
            Board board;
            board.sideToMove = trial & 1;
            if (!boardAt(layout, index, board)) continue;
            ++legal;
            ASSERT_EQ(indexOf(layout, board), index) << name;
            // A move back is numbered from the moved man's part as the
            // whole board is (identical men, kings on the diagonal included).
            forEachMoveBack(board, [&](const Board& previous) {
                int moved = 0;
                while (previous.square[moved] == board.square[moved]) ++moved;
                ASSERT_EQ(indexOfMoved(layout, index, board, moved, previous),
                          indexOf(layout, previous))
                    << name;
            });
            // Any symmetry the layout allows numbers the same.
            for (int symmetry : {1, 2, 3, 4, 5, 6, 7}) {
                if (layout.pawns && symmetry != 1) continue;
                Board image = board;
                for (int i = 0; i < image.count; ++i)
                    image.square[i] = uint8_t(transform(symmetry, image.square[i]));
                ASSERT_EQ(indexOf(layout, image), index) << name << " symmetry " << symmetry;
            }
        }
        EXPECT_GT(legal, 2000) << name;
    }
}

TEST(EgbbCodec, BlocksDecodeToWhatWasCoded) {
    std::mt19937 random(3);
    std::vector<uint8_t> skewed(BLOCK_POSITIONS), flat(5000), single(300, 7);
    for (auto& v : skewed) v = random() % 16 == 0 ? uint8_t(random()) : uint8_t(random() % 3);
    for (auto& v : flat) v = uint8_t(random());
    for (const auto* data : {&skewed, &flat, &single}) {
        uint64_t counts[256] = {};
        for (uint8_t v : *data) ++counts[v];
        Model model = modelFromCounts(counts);
        std::vector<uint8_t> coded, decoded(data->size());
        encodeBlock(model, data->data(), data->size(), coded);
        ASSERT_TRUE(decodeBlock(model, coded.data(), coded.size(), decoded.data(), decoded.size()));
        EXPECT_EQ(decoded, *data);
        // A damaged stream is either refused or decodes to something else,
        // never read past its end.
        coded.resize(coded.size() / 2);
        decodeBlock(model, coded.data(), coded.size(), decoded.data(), decoded.size());
    }
}

// The generator makes the same bytes with one thread and with two; a second
// run keeps the finished files, and a leftover temporary file is never taken
// for a table.
TEST(EgbbGenerator, SameBytesWhateverTheThreadsAndResumedRuns) {
    Folder one, two;
    const std::string tool = KORVAN_TBGEN;
    auto run = [&](const std::string& args) {
        return system((tool + " " + args + " 2>/dev/null >/dev/null").c_str());
    };
    // A material, its file, and one of the smaller tables it needs (besides
    // KRvK, which both need).
#ifdef KORVAN_SANITIZED
    const std::string material = "KPvK", table = "KPvK.ktb", kept = "KQvK.ktb";
#else
    const std::string material = "KRvKB", table = "KRvKB.ktb", kept = "KBvK.ktb";
#endif
    ASSERT_EQ(run("--threads 1 --out " + one.path + " " + material), 0);
    ASSERT_EQ(run("--threads 2 --out " + two.path + " " + material), 0);
    for (const std::string& file : {std::string("KRvK.ktb"), table, kept}) {
        std::string a = readFile(one.path + "/" + file);
        EXPECT_FALSE(a.empty()) << file;
        EXPECT_EQ(a, readFile(two.path + "/" + file)) << file;
    }
    // Resume: remove the last table and leave a half-written one behind, and
    // cut a finished one short (as a full disk would): both are made again,
    // the good ones kept.
    std::string last = readFile(two.path + "/" + table), krvk = readFile(two.path + "/KRvK.ktb");
    ASSERT_EQ(unlink((two.path + "/" + table).c_str()), 0);
    std::ofstream(two.path + "/" + table + ".part") << last.substr(0, last.size() / 2);
    std::ofstream(two.path + "/KRvK.ktb") << krvk.substr(0, krvk.size() - 100);
    struct stat before, after;
    ASSERT_EQ(stat((two.path + "/" + kept).c_str(), &before), 0);
    ASSERT_EQ(run("--threads 2 --out " + two.path + " " + material), 0);
    ASSERT_EQ(stat((two.path + "/" + kept).c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);  // kept, not made again
    EXPECT_EQ(readFile(two.path + "/" + table), last);
    EXPECT_EQ(readFile(two.path + "/KRvK.ktb"), krvk);

    // The counts of a finished table: KRvK has no draws with white to move
    // but stalemates, and black never wins.
    TableFile file;
    std::string error;
    ASSERT_TRUE(openTable(two.path + "/KRvK.ktb", file, error)) << error;
    Table rook;
    rook.layout = file.layout;
    ASSERT_TRUE(readSide(file, 0, rook.values[0]) && readSide(file, 1, rook.values[1]));
    closeTable(file);
    GenerateStats stats = countTable(rook);
    EXPECT_EQ(stats.losses[0], 0u);
    EXPECT_EQ(stats.wins[1], 0u);
    EXPECT_EQ(stats.longestPlies, 32);  // mate in 16 moves
    EXPECT_EQ(stats.draws[0], 0u);
}

TEST(EgbbGenerator, UsageErrors) {
    const std::string tool = KORVAN_TBGEN;
    for (const char* args : {"--men 6", "KXvK", "--threads 0", "--bogus"})
        EXPECT_NE(system((tool + " " + args + " >/dev/null 2>&1").c_str()), 0) << args;
}

}  // namespace
