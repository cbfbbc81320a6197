// The bitbase interface against stand-in libraries that record their calls, and
// the real library against the endgame tables the build generates.
#include <gmodule.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "base/output.h"
#include "bitbases/egbb.h"
#include "egbbdouble/record.h"
#include "frontend/uci.h"
#include "moves/movedo.h"
#include "moves/movegenerator.h"
#include "search/search.h"
#include "support/engine.h"

namespace {

const std::string buildDir = KORVAN_BUILD_DIR;
const std::string doubleDir = buildDir + "/tests/egbbdouble";
const std::string realDir = buildDir + "/egbb";

// What the tests load the library with ("Bitbases Path" and "Bitbases Cache
// Size" as the engine starts).
std::string loadPath = "./egbb";
int loadCache = 16;

void setPath(const std::string& path) { loadPath = path; }

// Loads the library with the current settings and returns what it printed.
std::string load() {
    outCaptureBegin();
    egbbLoad(loadPath.c_str(), loadCache);
    return outCaptureEnd();
}

// A handle of the test's own on a library, which also keeps it resident (and
// its record alive) while the engine closes and reopens it.
struct Library {
    GModule* module;
    explicit Library(const std::string& dir) {
        module = g_module_open((dir + "/egbbso64.so").c_str(), G_MODULE_BIND_LAZY);
        EXPECT_NE(module, nullptr) << g_module_error();
    }
    ~Library() {
        if (module) g_module_close(module);
    }
    void* symbol(const char* name) {
        gpointer p = nullptr;
        EXPECT_TRUE(module && g_module_symbol(module, name, &p)) << name;
        return p;
    }
};

struct Double : Library {
    EgbbDoubleRecord* record;
    Double() : Library(doubleDir) {
        auto get = reinterpret_cast<EgbbDoubleRecordFunction>(symbol("egbb_double_record"));
        record = get ? get() : nullptr;
    }
};

// A fresh empty directory, removed again at the end.
struct TempDir {
    std::string path;
    TempDir() {
        gchar* made = g_dir_make_tmp("korvan-egbb-XXXXXX", nullptr);
        path = made ? made : "";
        g_free(made);
    }
    ~TempDir() {
        if (GDir* dir = g_dir_open(path.c_str(), 0, nullptr)) {
            while (const char* name = g_dir_read_name(dir)) unlink((path + "/" + name).c_str());
            g_dir_close(dir);
        }
        rmdir(path.c_str());
    }
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

class EgbbTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { testInit(); }
    void TearDown() override {
        egbbClose();
        setPath("./egbb");
        loadCache = 16;
    }
};

TEST_F(EgbbTest, DefaultSettingsReachTheLibrary) {
    uciOptionsInit();
    EXPECT_STREQ(options.bitbasesPath, "./egbb");
    EXPECT_EQ(options.bitbasesCacheMegabytes, 16);
    setPath(options.bitbasesPath);
    loadCache = options.bitbasesCacheMegabytes;
    // With the default relative path the library comes from ./egbb of the
    // working directory.
    TempDir dir;
    std::string link = dir.path + "/egbb";
    ASSERT_EQ(symlink(doubleDir.c_str(), link.c_str()), 0);
    char* cwd = g_get_current_dir();
    ASSERT_EQ(chdir(dir.path.c_str()), 0);
    Double lib;
    int loads = lib.record->loads;
    std::string out = load();
    EXPECT_EQ(chdir(cwd), 0);
    g_free(cwd);
    unlink(link.c_str());

    EXPECT_EQ(out, "info string endgame bitbases loaded\n");
    EXPECT_EQ(egbbIsLoaded(), 1);
    EXPECT_EQ(lib.record->loads, loads + 1);
    EXPECT_STREQ(lib.record->path, "./egbb/");
    EXPECT_EQ(lib.record->cacheBytes, 16777216);
    EXPECT_EQ(lib.record->loadType, 2);
}

TEST_F(EgbbTest, CacheSizeReachesTheLibraryInBytes) {
    const struct {
        int megabytes;
        int bytes;
    } cases[] = {{32, 33554432}, {1, 1048576}, {256, 268435456}, {16, 16777216}};
    Double lib;
    setPath(doubleDir);
    for (const auto& c : cases) {
        loadCache = c.megabytes;
        EXPECT_EQ(load(), "info string endgame bitbases loaded\n");
        EXPECT_EQ(lib.record->cacheBytes, c.bytes) << c.megabytes;
        EXPECT_EQ(lib.record->loadType, 2);
        EXPECT_EQ(lib.record->path, doubleDir + "/");
    }
}

// The option's value stays as the user set it, however often it is set.
TEST_F(EgbbTest, PathDoesNotGrowOverReloads) {
    Double lib;
    uciOptionsInit();
    int loads = lib.record->loads;
    outCaptureBegin();
    for (int i = 0; i < 50; i++) uciSetOption(("name Bitbases Path value " + doubleDir).c_str());
    outCaptureEnd();
    EXPECT_EQ(lib.record->loads, loads + 50);
    EXPECT_EQ(options.bitbasesPath, doubleDir);
    EXPECT_EQ(lib.record->path, doubleDir + "/");
    EXPECT_EQ(egbbIsLoaded(), 1);
}

TEST_F(EgbbTest, MissingLibraryIsReportedOnce) {
    Double lib;
    setPath(doubleDir);
    load();
    int probes = lib.record->probes;

    TempDir dir;
    setPath(dir.path);
    std::string out = load();
    std::string library = dir.path + "/egbbso64.so";
    EXPECT_EQ(out.rfind("info string ", 0), 0u) << out;
    EXPECT_EQ(out.find('\n'), out.size() - 1) << "one line: " << out;
    EXPECT_TRUE(out.ends_with(" (" + library + ")\n")) << out;
    // The loader's message sits between the prefix and the path.
    EXPECT_GT(out.size(), strlen("info string  ()\n") + library.size());
    EXPECT_EQ(egbbIsLoaded(), 0);

    int score = 0;
    Position* p = testPosition("4k3/8/8/8/8/8/8/R3K3 w - - 0 1");
    EXPECT_EQ(egbbProbe(p, &score), 0);
    EXPECT_EQ(lib.record->probes, probes);
    EXPECT_FALSE(searchBitbaseWanted(p, 40, 9));
    positionFree(p);
}

// A path as long as the option allows, and a longer one, are read and
// reported safely.
TEST_F(EgbbTest, OverlongPathIsHandledSafely) {
    for (size_t length : {sizeof options.bitbasesPath - 1, size_t{4096}}) {
        setPath(std::string(length, 'a'));
        std::string out = load();
        EXPECT_TRUE(out.ends_with(" (" + loadPath + "/egbbso64.so)\n")) << out;
        EXPECT_EQ(egbbIsLoaded(), 0);
    }
}

TEST_F(EgbbTest, LibraryWithoutEntryPointsIsFatal) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const struct {
        const char* dir;
        const char* missing;
    } cases[] = {
        {"/tests/egbbnone", "undefined symbol: load_egbb_5men"},
        {"/tests/egbbloadonly", "undefined symbol: probe_egbb_5men"},
        {"/tests/egbbnull", "Symbol load_egbb_5men is NULL"},
        {"/tests/egbbnullprobe", "Symbol probe_egbb_5men is NULL"},
    };
    for (const auto& c : cases) {
        setPath(buildDir + c.dir);
        EXPECT_DEATH(load(), c.missing) << c.dir;
    }
}

TEST_F(EgbbTest, ProbeArguments) {
    const struct {
        const char* fen;
        int arguments[9];
    } cases[] = {
        // King and rook against king, either side to move.
        {"4k3/8/8/8/8/8/8/R3K3 w - - 0 1", {0, 4, 60, 3, 0, 0, 0, 0, 0}},
        {"4k3/8/8/8/8/8/8/R3K3 b - - 0 1", {1, 4, 60, 3, 0, 0, 0, 0, 0}},
        // Pawn e2, knight d3, black bishop c6: square order, each with its code.
        {"8/8/2b1k3/8/8/3N4/4P3/4K3 w - - 0 1", {0, 4, 44, 6, 12, 5, 19, 10, 42}},
        // A white queen on h1 comes before a black knight on a2.
        {"4k3/8/8/8/8/8/n7/4K2Q b - - 0 1", {1, 4, 60, 2, 7, 11, 8, 0, 0}},
        // Black rook, pawn and queen.
        {"q3k3/8/8/8/8/8/1p6/4K2r w - - 0 1", {0, 4, 60, 9, 7, 12, 9, 8, 56}},
        // White bishop against black knight and black pawn.
        {"8/8/8/2k5/4n3/8/3p2B1/6K1 b - - 0 1", {1, 6, 34, 12, 11, 4, 14, 11, 28}},
        // Bare kings.
        {"8/8/8/8/8/2k5/8/K7 w - - 0 1", {0, 0, 18, 0, 0, 0, 0, 0, 0}},
    };
    Double lib;
    setPath(doubleDir);
    load();
    lib.record->answer = 7;
    for (const auto& c : cases) {
        Position* p = testPosition(c.fen);
        int probes = lib.record->probes, score = 0;
        EXPECT_EQ(egbbProbe(p, &score), 1) << c.fen;
        EXPECT_EQ(score, 7);
        EXPECT_EQ(lib.record->probes, probes + 1);
        for (int i = 0; i < 9; i++)
            EXPECT_EQ(lib.record->arguments[i], c.arguments[i]) << c.fen << " argument " << i;
        positionFree(p);
    }
}

// Four men besides the kings do not fit the probe: it is not made.
TEST_F(EgbbTest, TooManyMenAreNotProbed) {
    Double lib;
    setPath(doubleDir);
    load();
    Position* p = testPosition("4k3/8/8/8/8/8/PPP5/R3K3 w - - 0 1");
    int probes = lib.record->probes, score = 0;
    EXPECT_EQ(egbbProbe(p, &score), 0);
    EXPECT_EQ(score, EGBB_NOT_AVAILABLE);
    EXPECT_EQ(lib.record->probes, probes);
    positionFree(p);
}

TEST_F(EgbbTest, OnlyKnownAnswersCountAsHits) {
    const struct {
        int answer;
        int result;
        uint64_t hits;
    } cases[] = {{99999, 0, 0}, {0, 1, 1}, {123, 1, 1}, {-19990, 1, 1}, {99998, 1, 1}};
    Double lib;
    setPath(doubleDir);
    load();
    Position* p = testPosition("4k3/8/8/8/8/8/8/R3K3 w - - 0 1");
    for (const auto& c : cases) {
        lib.record->answer = c.answer;
        int score = 0;
        EXPECT_EQ(egbbProbe(p, &score), c.result) << c.answer;
        EXPECT_EQ(score, c.answer);
        // A search node deep in the tree counts the known answers as hits.
        searchStats.bitbaseHits = 0;
        EXPECT_EQ(searchBitbaseProbe(p, 40, 9, true, &score), c.result) << c.answer;
        EXPECT_EQ(searchStats.bitbaseHits.load(), c.hits) << c.answer;
    }
    positionFree(p);
}

// The search's probe rule: deep nodes with at most four men, five men only at
// the horizon ply, and nearer the root only after captures and pawn moves.
TEST_F(EgbbTest, SearchProbesWhereTheRuleSays) {
    Double lib;
    setPath(doubleDir);
    load();
    const int depth = 9;  // horizon ply 6
    const struct {
        const char* fen;
        Move last;  // 0: the position has no move history
        int ply;
        bool wanted;
    } cases[] = {
        {"4k3/8/8/8/8/8/1PP5/R3K3 w - - 0 1", 0, 6, true},
        {"4k3/8/8/8/8/8/1PP5/R3K3 w - - 0 1", 0, 7, false},
        {"4k3/8/8/8/8/8/1P6/R3K3 w - - 0 1", 0, 7, true},
        {"4k3/8/8/8/8/8/8/R3K3 w - - 0 1", 0, 3, false},
        {"4k3/8/8/8/8/8/PPP5/R3K3 w - - 0 1", 0, 6, false},
        {"4k3/8/8/8/8/8/1PP5/R3K3 w - - 0 1", moveMake(MOVE_CAPTURE, 52, 0), 3, true},
        {"4k3/8/8/8/8/8/1PP5/R3K3 w - - 0 1", moveMake(MOVE_NORMAL, 1, 9), 3, true},
        {"4k3/8/8/8/8/8/1PP5/R3K3 w - - 0 1", moveMake(MOVE_NORMAL, 8, 0), 3, false},
        {"4k3/8/8/8/8/8/1PP5/4K2R w - - 0 1", MOVE_WORD_NULL, 3, false},
    };
    for (const auto& c : cases) {
        Position* p = testPosition(c.fen);
        if (c.last) {
            p->history[0].move = c.last;
            p->ply = 1;
        }
        EXPECT_EQ(searchBitbaseWanted(p, c.ply, depth), c.wanted) << c.fen << " ply " << c.ply;
        positionFree(p);
    }
}

TEST_F(EgbbTest, SearchScoreOfAnAnswer) {
    const struct {
        const char* fen;
        int answer;
        int ply;
        bool drawByMaterial;
        int score;
    } cases[] = {
        {"4k3/8/8/8/8/8/8/R3K3 w - - 0 1", 19990, 3, true, 19990 - 120 + 500},
        {"4k3/8/8/8/8/8/8/R3K3 b - - 0 1", -19990, 3, true, -19990 + 120 - 500},
        {"4k3/8/8/8/8/8/8/R3K3 w - - 0 1", 0, 3, true, 500 >> 4},
        {"4k3/8/8/8/8/8/8/R3K3 b - - 0 1", 0, 3, true, -32},
        {"4k3/8/8/8/8/8/8/R3K3 b - - 0 1", 0, 3, false, 0},
    };
    for (const auto& c : cases) {
        Position* p = testPosition(c.fen);
        EXPECT_EQ(searchBitbaseScore(p, c.answer, c.ply, c.drawByMaterial), c.score) << c.fen;
        positionFree(p);
    }
}

// Positions with castling rights or a playable en-passant capture are other
// positions than the probe could describe: they are not asked.
TEST_F(EgbbTest, CastlingRightsAndEnPassantCapturesAreNotProbed) {
    Double lib;
    setPath(doubleDir);
    load();
    const struct {
        const char* fen;
        bool asked;
    } cases[] = {
        {"4k3/8/8/8/8/8/8/R3K3 w - - 0 1", true},
        {"4k3/8/8/8/8/8/8/R3K3 w Q - 0 1", false},
        {"4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", false},
        // The square is set but no pawn can take, or the taking pawn is pinned.
        {"4k3/8/8/3p4/8/8/8/4K3 w - d6 0 1", true},
        {"8/8/8/K2pP2r/8/8/8/7k w - d6 0 1", true},
    };
    for (const auto& c : cases) {
        Position* p = testPosition(c.fen);
        ASSERT_NE(lib.record, nullptr);
        int score = 0, probes = lib.record->probes;
        egbbProbe(p, &score);
        EXPECT_EQ(lib.record->probes - probes, c.asked ? 1 : 0) << c.fen;
        positionFree(p);
    }
}

// The real library with the tables the build generates beside it.
class EgbbTablesTest : public EgbbTest {
  protected:
    void SetUp() override {
        SKIP_WITHOUT_BITBASES();
        setPath(realDir);
        ASSERT_EQ(load(), "info string endgame bitbases loaded\n");
    }
    int probe(const char* fen) {
        Position* p = testPosition(fen);
        int score = 0;
        int known = egbbProbe(p, &score);
        EXPECT_EQ(known, score != EGBB_NOT_AVAILABLE) << fen;
        positionFree(p);
        return score;
    }
};

TEST_F(EgbbTablesTest, EngineStartedInTheBuildFolderFindsThem) {
    egbbClose();
    setPath("./egbb");
    char* cwd = g_get_current_dir();
    ASSERT_EQ(chdir(buildDir.c_str()), 0);
    std::string out = load();
    EXPECT_EQ(chdir(cwd), 0);
    g_free(cwd);
    EXPECT_EQ(out, "info string endgame bitbases loaded\n");
    EXPECT_GT(probe("4k3/8/8/8/8/8/8/R3K3 w - - 0 1"), 0);
}

TEST_F(EgbbTablesTest, VerdictForTheSideToMove) {
    enum Verdict { LOSS = -1, DRAW = 0, WIN = 1 };
    const struct {
        const char* fen;
        Verdict verdict;
    } cases[] = {
        {"8/8/8/3k4/8/8/7Q/K7 w - - 0 1", WIN},
        {"8/8/8/3k4/8/8/7Q/K7 b - - 0 1", LOSS},
        {"8/8/8/3k4/8/8/7R/K7 w - - 0 1", WIN},
        {"8/8/8/3k4/8/8/7R/K7 b - - 0 1", LOSS},
        // The stronger side is black.
        {"k7/7r/8/8/3K4/8/8/8 b - - 0 1", WIN},
        {"k7/7r/8/8/3K4/8/8/8 w - - 0 1", LOSS},
        {"k7/7q/8/8/3K4/8/8/8 w - - 0 1", LOSS},
        // A lone minor piece cannot mate.
        {"8/8/8/3k4/8/8/7B/K7 w - - 0 1", DRAW},
        {"8/8/8/3k4/8/8/7B/K7 b - - 0 1", DRAW},
        {"8/8/8/3k4/8/8/7N/K7 w - - 0 1", DRAW},
        {"8/8/8/3k4/8/8/7n/K7 b - - 0 1", DRAW},
        // The king on a key square in front of its pawn wins, whoever moves.
        {"4k3/8/4K3/4P3/8/8/8/8 w - - 0 1", WIN},
        {"4k3/8/4K3/4P3/8/8/8/8 b - - 0 1", LOSS},
        {"8/8/8/8/4p3/4k3/8/4K3 b - - 0 1", WIN},
        // Kings in opposition: the side to move gives way. With black to move the
        // white king reaches a key square; with white to move black holds.
        {"8/4k3/8/4K3/4P3/8/8/8 b - - 0 1", LOSS},
        {"8/4k3/8/4K3/4P3/8/8/8 w - - 0 1", DRAW},
        // The defending king in the corner of a rook pawn.
        {"k7/8/8/P7/1K6/8/8/8 w - - 0 1", DRAW},
        // Stalemate.
        {"k7/8/1Q6/8/8/8/8/K7 b - - 0 1", DRAW},
        // The pawn runs before the king catches it.
        {"8/8/8/8/P7/8/7k/K7 w - - 0 1", WIN},
        // Four men: bishop and knight mate, two knights do not, unless the
        // mate is already on the board.
        {"8/8/8/3k4/8/8/8/KBN5 w - - 0 1", WIN},
        {"8/8/8/3k4/8/8/8/KBN5 b - - 0 1", LOSS},
        {"8/8/8/3k4/8/8/8/KNN5 w - - 0 1", DRAW},
        {"7k/4NN2/6K1/8/8/8/8/8 b - - 0 1", LOSS},
        // The queen against a pawn on its seventh, the white king far away:
        // the rook's and bishop's pawns draw (stalemate saves the defender),
        // the centre pawn loses.
        {"7K/8/8/8/8/1Q6/p7/1k6 b - - 0 1", DRAW},
        {"7K/8/8/8/8/3Q4/1kp5/8 w - - 0 1", DRAW},
        {"7K/8/8/8/8/8/3p3Q/2k5 w - - 0 1", WIN},
        // Rook against rook; a bishop against a pawn that cannot queen.
        {"8/8/8/3k4/8/3K4/7r/R7 w - - 0 1", DRAW},
        {"8/8/8/3k4/8/8/1p6/KB6 w - - 0 1", DRAW},
        // The queen wins against the rook, unless the rook skewers it at once.
        {"8/8/8/3k4/8/8/3r4/KQ6 w - - 0 1", WIN},
        {"8/2r5/8/3k4/8/8/8/KQ6 b - - 0 1", DRAW},
        // Colours reversed: black is the stronger side.
        {"kq6/8/8/8/3K4/8/3R4/8 b - - 0 1", WIN},
    };
    for (const auto& c : cases) {
        int score = probe(c.fen);
        ASSERT_NE(score, EGBB_NOT_AVAILABLE) << c.fen;
        EXPECT_LE(std::abs(score), 20000) << c.fen;
        EXPECT_EQ((score > 0) - (score < 0), c.verdict) << c.fen << " score " << score;
    }
}

// Every legal position of KQK and KRK: won with white to move; with the lone
// king to move lost, unless it is stalemated or can take the undefended piece.
TEST_F(EgbbTablesTest, QueenOrRookAgainstTheLoneKing) {
    Position* p = positionNew();
    for (int piece : {WHITE_QUEEN, WHITE_ROOK}) {
        int positions = 0, wrong = 0;
        for (int wk = 0; wk < 64; ++wk)
            for (int bk = 0; bk < 64; ++bk)
                for (int sq = 0; sq < 64; ++sq)
                    for (int player : {WHITE, BLACK}) {
                        if (wk == bk || sq == wk || sq == bk || (attackKing[wk] & bitOf(bk)))
                            continue;
                        emptyPosition(p);
                        addPiece(p, WHITE_KING, wk);
                        addPiece(p, BLACK_KING, bk);
                        addPiece(p, piece, sq);
                        p->player = player;
                        if (squareAttacked(p, bitFirst(p->bitboard[WHITE_KING + (player ^ 1)]),
                                           player))
                            continue;
                        int expected = 1;
                        if (player == BLACK) {
                            // The lone king's moves: none (stalemate unless in
                            // check), or one that takes the piece.
                            MoveList list;
                            tacticalMovesGenerate(p, &list);
                            bool takes = false, any = false;
                            for (uint32_t i = 0; i < list.count; ++i)
                                if (moveDo(p, list.moves[i])) takes = true, moveUndo(p);
                            quietMovesGenerate(p, &list);
                            for (uint32_t i = 0; i < list.count; ++i)
                                if (moveDo(p, list.moves[i])) any = true, moveUndo(p);
                            bool stalemate = !takes && !any && !positionIsInCheck(p);
                            expected = takes || stalemate ? 0 : -1;
                        }
                        int score = 0;
                        egbbProbe(p, &score);
                        ++positions;
                        if ((score > 0) - (score < 0) != expected || score == EGBB_NOT_AVAILABLE)
                            ++wrong;
                    }
        EXPECT_GT(positions, 300000);
        EXPECT_EQ(wrong, 0) << PIECE_CHARS[piece];
    }
    positionFree(p);
}

TEST_F(EgbbTablesTest, FasterMatesScoreHigher) {
    int mateInOne = probe("k7/8/1K6/8/8/8/7Q/8 w - - 0 1");
    int queenFar = probe("8/8/8/3k4/8/8/7Q/K7 w - - 0 1");
    int rookFar = probe("8/8/8/3k4/8/8/7R/K7 w - - 0 1");
    int mated = probe("k6Q/8/1K6/8/8/8/8/8 b - - 0 1");
    int queenFarLoss = probe("8/8/8/3k4/8/8/7Q/K7 b - - 0 1");
    EXPECT_EQ(mateInOne, 19960);  // one ply to mate, 40 a ply
    EXPECT_EQ(mated, -20000);
    EXPECT_GT(mateInOne, queenFar);
    EXPECT_GT(queenFar, rookFar);  // the queen mates sooner from the same squares
    EXPECT_GT(rookFar, 0);
    EXPECT_LT(mated, queenFarLoss);
    EXPECT_LT(queenFarLoss, 0);
}

// A directory holding only some tables: the others' positions are unknown,
// and a damaged file is refused with one line on standard error (never on
// standard output, where the GUI reads), never trusted and never a crash.
TEST_F(EgbbTablesTest, MissingTruncatedAndCorruptFilesAreRefused) {
    using Load = void (*)(const char*, int, int);
    using Probe = int (*)(int, int, int, int, int, int, int, int, int);
    Library lib(realDir);
    auto loadTables = reinterpret_cast<Load>(lib.symbol("load_egbb_5men"));
    auto probe = reinterpret_cast<Probe>(lib.symbol("probe_egbb_5men"));
    ASSERT_TRUE(loadTables && probe);
    const std::string good = readFile(realDir + "/KRvK.ktb");
    ASSERT_GT(good.size(), 4096u);
    const struct {
        const char* damage;
        std::string bytes;
    } cases[] = {
        {"none", good},
        {"empty", ""},
        {"truncated header", good.substr(0, 100)},
        {"truncated data", good.substr(0, good.size() - 10)},
        {"one byte longer", good + "x"},
        {"magic", "X" + good.substr(1)},
        {"header byte", good.substr(0, 50) + char(good[50] ^ 1) + good.substr(51)},
        {"block offset", good.substr(0, 1100) + char(good[1100] ^ 1) + good.substr(1101)},
        {"data byte", good.substr(0, good.size() - 200) + char(good[good.size() - 200] ^ 0x10) +
                          good.substr(good.size() - 199)},
    };
    // Every placement of the kings and the rook: the probes touch every
    // block, the damaged one included.
    int complete = 0;  // what the good file knows
    for (const auto& c : cases) {
        TempDir dir;
        writeFile(dir.path + "/KRvK.ktb", c.bytes);
        testing::internal::CaptureStderr();
        loadTables((dir.path + "/").c_str(), 1 << 20, 2);
        int known = 0;
        for (int side = 0; side < 2; ++side)
            for (int wk = 0; wk < 64; ++wk)
                for (int bk = 0; bk < 64; ++bk)
                    for (int rook = 0; rook < 64; ++rook)
                        known += probe(side, wk, bk, 3, rook, 0, 0, 0, 0) != EGBB_NOT_AVAILABLE;
        int afterwards = probe(0, 4, 60, 3, 0, 0, 0, 0, 0);
        // Other materials are unknown whatever the file.
        EXPECT_EQ(probe(0, 4, 60, 2, 0, 0, 0, 0, 0), EGBB_NOT_AVAILABLE) << c.damage;
        EXPECT_EQ(probe(0, 4, 60, 3, 0, 6, 9, 0, 0), EGBB_NOT_AVAILABLE) << c.damage;
        std::string err = testing::internal::GetCapturedStderr();
        if (std::string(c.damage) == "none") {
            complete = known;
            EXPECT_GT(known, 200000);
            EXPECT_GT(afterwards, 0);
            EXPECT_EQ(err, "");
        } else {
            // A damaged block is found when it is first read: from then on
            // the whole table is refused.
            EXPECT_LT(known, complete) << c.damage;
            EXPECT_EQ(afterwards, EGBB_NOT_AVAILABLE) << c.damage;
            EXPECT_NE(err.find("KRvK.ktb refused"), std::string::npos) << c.damage << ": " << err;
            EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        }
    }
    loadTables((realDir + "/").c_str(), 1 << 20, 2);
}

// The library's own checks: arguments that describe no legal position are
// answered as unknown rather than passed on to the tables.
TEST_F(EgbbTablesTest, LibraryRefusesImpossibleArguments) {
    using Probe = int (*)(int, int, int, int, int, int, int, int, int);
    Library lib(realDir);
    auto probe = reinterpret_cast<Probe>(lib.symbol("probe_egbb_5men"));
    ASSERT_NE(probe, nullptr);
    const struct {
        int arguments[9];
        bool known;
    } cases[] = {
        {{0, 4, 60, 3, 0, 0, 0, 0, 0}, true},    // KRK from the tests above
        {{0, 4, 60, 0, 0, 0, 0, 0, 0}, true},    // bare kings: a draw
        {{2, 4, 60, 3, 0, 0, 0, 0, 0}, false},   // no such side
        {{0, 4, 12, 3, 0, 0, 0, 0, 0}, false},   // kings side by side
        {{0, 4, 4, 3, 0, 0, 0, 0, 0}, false},    // kings on one square
        {{0, 4, 60, 3, 4, 0, 0, 0, 0}, false},   // rook on the king's square
        {{0, 4, 60, 3, 0, 5, 0, 0, 0}, false},   // two men on one square
        {{0, 4, 60, 6, 56, 0, 0, 0, 0}, false},  // pawn on the last rank
        {{0, 4, 60, 12, 3, 0, 0, 0, 0}, false},  // black pawn on the first rank
        {{0, 4, 60, 7, 0, 0, 0, 0, 0}, false},   // no man has code 7
        {{0, 4, 60, 13, 0, 0, 0, 0, 0}, false},  // nor 13
        {{0, 4, 60, 1, 0, 0, 0, 0, 0}, false},   // nor 1
        {{0, 4, 60, 3, 64, 0, 0, 0, 0}, false},  // no square 64
        {{0, -1, 60, 3, 0, 0, 0, 0, 0}, false},  // nor -1
        {{0, 4, 60, 3, 56, 0, 0, 0, 0}, false},  // the side not to move is in check
    };
    for (const auto& c : cases) {
        const int* a = c.arguments;
        int score = probe(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8]);
        EXPECT_EQ(score != EGBB_NOT_AVAILABLE, c.known)
            << a[0] << " " << a[1] << " " << a[2] << " " << a[3] << " " << a[4] << ": " << score;
    }
}

// A directory without tables leaves the library loaded but answering nothing;
// loading the right one again brings the answers back.
TEST_F(EgbbTablesTest, ReloadFromAnotherDirectory) {
    TempDir dir;
    Library lib(realDir);
    using Load = void (*)(const char*, int, int);
    using Probe = int (*)(int, int, int, int, int, int, int, int, int);
    auto loadTables = reinterpret_cast<Load>(lib.symbol("load_egbb_5men"));
    auto probe = reinterpret_cast<Probe>(lib.symbol("probe_egbb_5men"));
    ASSERT_TRUE(loadTables && probe);
    loadTables((dir.path + "/").c_str(), 1 << 20, 2);
    EXPECT_EQ(probe(0, 4, 60, 3, 0, 0, 0, 0, 0), EGBB_NOT_AVAILABLE);
    loadTables(nullptr, 1 << 20, 2);
    EXPECT_EQ(probe(0, 4, 60, 3, 0, 0, 0, 0, 0), EGBB_NOT_AVAILABLE);
    loadTables((realDir + "/").c_str(), 1 << 20, 2);
    EXPECT_GT(probe(0, 4, 60, 3, 0, 0, 0, 0, 0), 0);
}

}  // namespace
