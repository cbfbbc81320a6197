#include "book/book.h"
#include "moves/picker.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "base/output.h"
#include "eval/pawntable.h"
#include "frontend/movetext.h"
#include "frontend/uci.h"
#include "moves/movedo.h"
#include "moves/movegenerator.h"
#include "search/hash.h"
#include "search/root.h"
#include "support/engine.h"

namespace {

constexpr uint64_t START_KEY = 0x463B96181691FC9CULL;
constexpr const char* START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
constexpr const char* DEBIAN_BOOK = "/usr/share/games/gnuchess/book.bin";

struct TestEntry {
    uint64_t key;
    unsigned move;
    unsigned weight;
    unsigned learn0 = 0;
    unsigned learn1 = 0;
};

// Book move word of a text such as "e2e4" or "b7a8n".
unsigned bookWord(const char* text) {
    unsigned from = (text[0] - 'a') + 8 * (text[1] - '1');
    unsigned to = (text[2] - 'a') + 8 * (text[3] - '1');
    unsigned promotion = 0;
    if (text[4]) promotion = static_cast<unsigned>(strchr("xnbrq", text[4]) - "xnbrq");
    return to | from << 6 | promotion << 12;
}

void putBigEndian(std::string& out, uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; i--) out.push_back(static_cast<char>(value >> (8 * i)));
}

std::string encode(std::vector<TestEntry> entries) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const TestEntry& a, const TestEntry& b) { return a.key < b.key; });
    std::string bytes;
    for (const TestEntry& e : entries) {
        putBigEndian(bytes, e.key, 8);
        putBigEndian(bytes, e.move, 2);
        putBigEndian(bytes, e.weight, 2);
        putBigEndian(bytes, e.learn0, 2);
        putBigEndian(bytes, e.learn1, 2);
    }
    return bytes;
}

// Overwrites the file in place (same inode), so an open book sees the change.
void writeFile(const std::string& path, const std::string& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    ASSERT_EQ(fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    ASSERT_EQ(fclose(f), 0);
}

// Opens the book at the path; returns what bookOpen wrote.
std::string openBook(const std::string& path) {
    outCaptureBegin();
    bookOpen(path.c_str());
    return outCaptureEnd();
}

class Book : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        testInit();
        directory = g_dir_make_tmp("korvan-book-XXXXXX", nullptr);
        ASSERT_NE(directory, nullptr);
    }
    static void TearDownTestSuite() {
        bookClose();
        std::filesystem::remove_all(directory);
        g_free(directory);
    }
    void TearDown() override { bookClose(); }

    static std::string path(const char* name) { return std::string(directory) + "/" + name; }

    // Writes the entries as a book file and opens it.
    static void useBook(const char* name, const std::vector<TestEntry>& entries) {
        writeFile(path(name), encode(entries));
        ASSERT_EQ(openBook(path(name)), "info string book (" + path(name) + ") loaded\n");
        ASSERT_EQ(bookIsOpen(), 1);
    }

    // The book move of the position, as text ("0" for none).
    static std::string lookup(const char* fen) {
        Position* position = testPosition(fen);
        std::string text = testMoveText(bookMove(position));
        positionFree(position);
        return text;
    }

    static char* directory;
};

char* Book::directory = nullptr;

// The published examples of the key: positions after moves from the start.
struct KeyCase {
    const char* moves;
    const char* fen;
    uint64_t key;
};

const KeyCase keyCases[] = {
    {"", START_FEN, 0x463B96181691FC9CULL},
    {"e2e4", "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1", 0x823C9B50FD114196ULL},
    {"e2e4 d7d5", "rnbqkbnr/ppp1pppp/8/3p4/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2",
     0x0756B94461C50FB0ULL},
    {"e2e4 d7d5 e4e5", "rnbqkbnr/ppp1pppp/8/3pP3/8/8/PPPP1PPP/RNBQKBNR b KQkq - 0 2",
     0x662FAFB965DB29D4ULL},
    // En passant: the white pawn on e5 can take on f6.
    {"e2e4 d7d5 e4e5 f7f5", "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3",
     0x22A48B5A8E47FF78ULL},
    // White has lost castling.
    {"e2e4 d7d5 e4e5 f7f5 e1e2", "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPPKPPP/RNBQ1BNR b kq - 0 3",
     0x652A607CA3F242C1ULL},
    {"e2e4 d7d5 e4e5 f7f5 e1e2 e8f7", "rnbq1bnr/ppp1pkpp/8/3pPp2/8/8/PPPPKPPP/RNBQ1BNR w - - 0 4",
     0x00FDD303C946BDD9ULL},
    // En passant: the black pawn on b4 can take on c3.
    {"a2a4 b7b5 h2h4 b5b4 c2c4", "rnbqkbnr/p1pppppp/8/8/PpP4P/8/1P1PPPP1/RNBQKBNR b KQkq c3 0 3",
     0x3C8123EA7B067637ULL},
    {"a2a4 b7b5 h2h4 b5b4 c2c4 b4c3 a1a3",
     "rnbqkbnr/p1pppppp/8/8/P6P/R1p5/1P1PPPP1/1NBQKBNR b Kkq - 0 4", 0x5C3F9B829B279560ULL},
};

TEST_F(Book, KeysOfPublishedPositionsSetFromFen) {
    for (const KeyCase& c : keyCases) {
        Position* position = testPosition(c.fen);
        EXPECT_EQ(getBookKey(position), c.key) << c.fen;
        positionFree(position);
    }
}

TEST_F(Book, KeysOfPublishedPositionsReachedByMoves) {
    for (const KeyCase& c : keyCases) {
        Position* position = testPosition(START_FEN);
        ASSERT_EQ(stringMovesDo(position, c.moves), 1) << c.moves;
        EXPECT_EQ(getBookKey(position), c.key) << c.moves;
        positionFree(position);
    }
}

TEST_F(Book, ReadEntryDecodesBigEndianFields) {
    std::vector<TestEntry> entries = {
        {0x0102030405060708ULL, 0x1234, 0xABCD, 0x1111, 0x2222},
        {0xFEDCBA9876543210ULL, 0xFFFF, 0x0001, 0xFFFF, 0x8000},
    };
    useBook("fields.bin", entries);
    for (size_t i = 0; i < entries.size(); i++) {
        BookEntry e;
        ASSERT_EQ(readEntry(i, &e), 1);
        EXPECT_EQ(e.key, entries[i].key);
        EXPECT_EQ(e.move, entries[i].move);
        EXPECT_EQ(e.weight, entries[i].weight);
        EXPECT_EQ(e.learn[0], entries[i].learn0);
        EXPECT_EQ(e.learn[1], entries[i].learn1);
    }
    BookEntry e;
    EXPECT_EQ(readEntry(entries.size(), &e), 0) << "past the end of the file";
}

// The target key at every place of books of several sizes: the binary search
// must find it first, last, in the middle and next to near keys.
TEST_F(Book, LookupFindsTheKeyWhereverItLiesAndMissesOtherKeys) {
    Position* start = testPosition(START_FEN);
    ASSERT_EQ(getBookKey(start), START_KEY);
    positionFree(start);
    GRand* generator = g_rand_new_with_seed(7);
    for (int fillers : {0, 1, 2, 3, 8, 1000}) {
        for (int below = 0; below <= fillers; below += fillers > 8 ? 250 : 1) {
            std::vector<TestEntry> entries;
            for (int i = 0; i < fillers; i++) {
                uint64_t r =
                    static_cast<uint64_t>(g_rand_int(generator)) << 32 | g_rand_int(generator);
                // `below` fillers lie under the target, the others above it,
                // the nearest ones just one away.
                uint64_t key = i < below ? START_KEY - 1 - r % (START_KEY - 1)
                                         : START_KEY + 1 + r % (~START_KEY - 1);
                if (i == 0 && below > 0) key = START_KEY - 1;
                if (i == below && below < fillers) key = START_KEY + 1;
                entries.push_back({key, bookWord("a2a3"), 1});
            }
            entries.push_back({START_KEY, bookWord("e2e4"), 1});
            useBook("search.bin", entries);
            EXPECT_EQ(lookup(START_FEN), "e2e4") << fillers << " fillers, " << below << " below";
            EXPECT_EQ(lookup("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1"), "0")
                << fillers << " fillers, " << below << " below";
        }
    }
    g_rand_free(generator);
}

TEST_F(Book, MovesAreChosenInProportionToTheirWeights) {
    std::vector<TestEntry> entries = {
        {START_KEY - 1, bookWord("a2a3"), 100}, {START_KEY, bookWord("e2e4"), 0},
        {START_KEY, bookWord("d2d4"), 10},      {START_KEY, bookWord("g1f3"), 30},
        {START_KEY, bookWord("c2c4"), 60},      {START_KEY + 1, bookWord("h2h3"), 100},
    };
    useBook("weights.bin", entries);
    const int draws = 20000;
    std::map<std::string, int> counts;
    Position* position = testPosition(START_FEN);
    for (int i = 0; i < draws; i++) counts[testMoveText(bookMove(position))]++;
    positionFree(position);
    EXPECT_EQ(counts.count("e2e4"), 0u) << "weight 0 is never played";
    EXPECT_EQ(counts.count("a2a3") + counts.count("h2h3") + counts.count("0"), 0u);
    const std::pair<const char*, double> expected[] = {{"d2d4", 0.1}, {"g1f3", 0.3}, {"c2c4", 0.6}};
    for (const auto& [move, share] : expected)
        EXPECT_NEAR(counts[move] / double(draws), share, 0.02) << move;
}

TEST_F(Book, RunWhoseWeightsAreAllZeroGivesNoMove) {
    useBook("zero.bin", {{START_KEY, bookWord("e2e4"), 0}, {START_KEY, bookWord("d2d4"), 0}});
    for (int i = 0; i < 100; i++) ASSERT_EQ(lookup(START_FEN), "0");
}

// Castling written as the king taking its rook, promotions, and book moves that
// are not legal in the position.
TEST_F(Book, BookMovesMapOntoLegalMovesOnly) {
    struct Case {
        const char* fen;
        const char* stored;
        const char* played;  // "0": no book move
    };
    const Case cases[] = {
        {"r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w KQkq - 0 1", "e1h1", "e1g1"},
        {"r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w KQkq - 0 1", "e1a1", "e1c1"},
        {"r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R b KQkq - 0 1", "e8h8", "e8g8"},
        {"r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R b KQkq - 0 1", "e8a8", "e8c8"},
        {"r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w Qkq - 0 1", "e1h1", "0"},  // right lost
        {"r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w KQkq - 0 1", "e1g1", "e1g1"},
        {"r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w KQkq - 0 1", "h1h1", "0"},
        // A rook on e1 taking on h1 is not castling.
        {"3k4/8/8/8/8/8/K7/4R2r w - - 0 1", "e1h1", "e1h1"},
        {"r3k3/1P6/8/8/8/8/8/4K3 w - - 0 1", "b7b8q", "b7b8q"},
        {"r3k3/1P6/8/8/8/8/8/4K3 w - - 0 1", "b7b8n", "b7b8n"},
        {"r3k3/1P6/8/8/8/8/8/4K3 w - - 0 1", "b7a8r", "b7a8r"},
        {"r3k3/1P6/8/8/8/8/8/4K3 w - - 0 1", "b7a8b", "b7a8b"},
        {"r3k3/1P6/8/8/8/8/8/4K3 w - - 0 1", "b7b8", "0"},  // promotion piece missing
        {"4k3/8/8/8/8/8/1p6/4K3 b - - 0 1", "b2b1n", "b2b1n"},
        {START_FEN, "e2e4q", "0"},  // promotion code on a pawn step
        {START_FEN, "e2e5", "0"},
        {START_FEN, "e7e5", "0"},                           // the other side's move
        {"4k3/8/8/b7/8/8/3P4/4K3 w - - 0 1", "d2d3", "0"},  // pinned pawn
    };
    for (const Case& c : cases) {
        Position* position = testPosition(c.fen);
        useBook("map.bin", {{getBookKey(position), bookWord(c.stored), 1}});
        EXPECT_EQ(testMoveText(bookMove(position)), c.played) << c.fen << " " << c.stored;
        positionFree(position);
    }
}

TEST_F(Book, FilesTooShortToHoldAnEntry) {
    const std::string entry = encode({{START_KEY, bookWord("e2e4"), 1}});
    for (size_t size : {0, 1, 15}) {
        writeFile(path("short.bin"), entry.substr(0, size));
        EXPECT_EQ(openBook(path("short.bin")),
                  "info string book (" + path("short.bin") + ") loaded\n");
        EXPECT_EQ(lookup(START_FEN), "0") << size << " bytes";
    }
    // Bytes after the last whole entry are ignored.
    writeFile(path("short.bin"), entry + entry.substr(0, 9));
    openBook(path("short.bin"));
    EXPECT_EQ(lookup(START_FEN), "e2e4");
}

TEST_F(Book, PathsThatHoldNoBookAreNotLoaded) {
    useBook("good.bin", {{START_KEY, bookWord("e2e4"), 1}});
    for (std::string bad : {path("missing.bin"), std::string(directory), std::string()}) {
        EXPECT_EQ(openBook(bad), "info string book (" + bad + ") not loaded\n");
        EXPECT_EQ(bookIsOpen(), 0) << bad;
        EXPECT_EQ(lookup(START_FEN), "0") << bad;
    }
    // A FIFO would block the engine on open.
    std::string fifo = path("fifo.bin");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(openBook(fifo), "info string book (" + fifo + ") not loaded\n");
    EXPECT_EQ(bookIsOpen(), 0);
    // And a good path loads again.
    EXPECT_EQ(openBook(path("good.bin")), "info string book (" + path("good.bin") + ") loaded\n");
    EXPECT_EQ(lookup(START_FEN), "e2e4");
}

// "OwnBook" decides whether the search asks the book; the file stays open
// either way.
TEST_F(Book, TheSearchAsksTheBookOnlyWithOwnBook) {
    useBook("own.bin", {{START_KEY, bookWord("a2a3"), 1}});
    testSearchTablesCreate();
    Position* p = testPosition(START_FEN);
    for (bool own : {true, false, true}) {
        SearchLimits limits = testDepth(1);
        limits.useBook = own;
        TestAnswer answer = testSearch(p, limits);
        EXPECT_EQ(answer.best == "a2a3", own) << answer.output;
        EXPECT_TRUE(bookIsOpen());
    }
    bookClose();
    EXPECT_FALSE(bookIsOpen());
    EXPECT_EQ(lookup(START_FEN), "0");
    positionFree(p);
    testSearchTablesDestroy();
}

// A book rewritten while it is open: lookups follow the file's current size
// and never read past its end.
TEST_F(Book, FileThatChangesSizeWhileOpen) {
    const std::string name = path("changing.bin");
    std::vector<TestEntry> entries;
    for (uint64_t i = 0; i < 64; i++) entries.push_back({START_KEY + 1 + i, bookWord("a2a3"), 1});
    useBook("changing.bin", entries);
    EXPECT_EQ(lookup(START_FEN), "0");

    // Grown: the new entry at the end is found.
    entries.push_back({START_KEY + 1000, bookWord("a2a3"), 1});
    entries.push_back({START_KEY - 1, bookWord("h2h3"), 1});
    entries.push_back({START_KEY, bookWord("e2e4"), 1});
    writeFile(name, encode(entries));
    EXPECT_EQ(lookup(START_FEN), "e2e4");

    // Shrunk to a few entries, then to nothing.
    ASSERT_EQ(truncate(name.c_str(), 3 * BOOK_ENTRY_SIZE), 0);
    EXPECT_EQ(lookup(START_FEN), "e2e4");
    ASSERT_EQ(truncate(name.c_str(), BOOK_ENTRY_SIZE + 5), 0);
    EXPECT_EQ(lookup(START_FEN), "0");
    ASSERT_EQ(truncate(name.c_str(), 0), 0);
    EXPECT_EQ(lookup(START_FEN), "0");
    EXPECT_EQ(bookIsOpen(), 1);
}

TEST_F(Book, DebianBookPlaysLegalVariedMovesFromTheStart) {
    if (access(DEBIAN_BOOK, R_OK) != 0) GTEST_SKIP() << DEBIAN_BOOK << " is not installed";
    EXPECT_EQ(openBook(DEBIAN_BOOK),
              std::string("info string book (") + DEBIAN_BOOK + ") loaded\n");
    Position* position = testPosition(START_FEN);
    MoveList legal;
    legalMovesGenerate(position, &legal);
    std::map<std::string, int> seen;
    for (int i = 0; i < 300; i++) {
        Move move = bookMove(position);
        ASSERT_NE(move, 0u);
        bool found = false;
        for (uint32_t j = 0; j < legal.count; j++) found |= legal.moves[j] == move;
        EXPECT_TRUE(found) << testMoveText(move);
        seen[testMoveText(move)]++;
    }
    EXPECT_GE(seen.size(), 3u);
    // After a book move the reply is found too.
    ASSERT_EQ(stringMovesDo(position, "e2e4"), 1);
    EXPECT_NE(bookMove(position), 0u);
    positionFree(position);
}

// The engine started in the build directory finds the book linked there.
TEST_F(Book, DefaultPathOpensTheLinkedBookInTheBuildDirectory) {
    uciOptionsInit();
    const std::string defaultBookPath = options.bookFile;
    EXPECT_EQ(defaultBookPath, "./performance.bin");
    if (access(DEBIAN_BOOK, R_OK) != 0) GTEST_SKIP() << DEBIAN_BOOK << " is not installed";
    char* cwd = g_get_current_dir();
    ASSERT_EQ(chdir(KORVAN_BUILD_DIR), 0);
    std::string opened = openBook(defaultBookPath);
    ASSERT_EQ(chdir(cwd), 0);
    g_free(cwd);
    EXPECT_EQ(opened, "info string book (./performance.bin) loaded\n");
    EXPECT_NE(lookup(START_FEN), "0");
}

}  // namespace
