// The installed engine as a user gets it: this build installed by its own
// install rules into a temporary prefix (no root needed, removed afterwards),
// started from folders other than its own, directly and by Debian's polyglot
// adapter, which drives it through the xboard protocol as xboard does.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "book/book.h"
#include "frontend/movetext.h"
#include "moves/movedo.h"
#include "search/root.h"
#include "support/engine.h"
#include "support/engineprocess.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* POLYGLOT = "/usr/games/polyglot";
constexpr const char* KRK_FEN = "8/8/8/4k3/8/8/8/R3K3 w - - 0 1";

// A fresh folder under /tmp, removed with all it holds when the test ends.
struct TempFolder {
    fs::path path;
    explicit TempFolder(const char* name) {
        std::string pattern = std::string("/tmp/korvan-") + name + "-XXXXXX";
        if (mkdtemp(pattern.data())) path = fs::canonical(pattern);
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path.empty()) fs::remove_all(path, ignored);
    }
};

int shell(const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// What a command prints on standard output.
std::string output(const std::string& command) {
    std::string text;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char chunk[4096];
        while (size_t n = fread(chunk, 1, sizeof chunk, pipe)) text.append(chunk, n);
        pclose(pipe);
    }
    return text;
}

// Installs this build under `prefix` as make install does; with a staging
// folder, under stage/prefix, the way a package is built.
int install(const fs::path& prefix, const fs::path& stage = {}) {
    std::string destdir = stage.empty() ? "" : "DESTDIR=" + stage.string() + " ";
    return shell(destdir + KORVAN_CMAKE " --install " KORVAN_BUILD_DIR " --prefix " +
                 prefix.string() + " >/dev/null");
}

// Every file (or link) below the folder, as paths relative to it.
std::set<std::string> filesBelow(const fs::path& folder) {
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (!entry.is_directory() || entry.is_symlink())
            files.insert(entry.path().lexically_relative(folder).string());
    return files;
}

bool contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

bool anyContains(const std::vector<std::string>& lines, const std::string& text) {
    for (const auto& line : lines)
        if (line.find(text) != std::string::npos) return true;
    return false;
}

// A line of xboard thinking output: depth, score, time, nodes and the line.
bool isThinking(const std::string& line) {
    std::istringstream words(line);
    std::string depth, score;
    return words >> depth >> score && depth.find_first_not_of("0123456789") == std::string::npos &&
           score.find_first_not_of("+-0123456789") == std::string::npos;
}

// The moves a Polyglot book file holds for the position, read straight from
// the file: every entry with the position's key, as "e2e4" texts (castling
// as the book writes it, king onto rook; none of the positions here castle).
std::set<std::string> bookMoves(const fs::path& book, const Position* position) {
    std::ifstream in(book, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto number = [&](size_t at, int size) {
        uint64_t value = 0;
        for (int i = 0; i < size; i++) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
        return value;
    };
    uint64_t key = getBookKey(position);
    std::set<std::string> moves;
    for (size_t at = 0; at + BOOK_ENTRY_SIZE <= bytes.size(); at += BOOK_ENTRY_SIZE) {
        if (number(at, 8) != key) continue;
        unsigned word = static_cast<unsigned>(number(at + 8, 2));
        std::string text = {
            static_cast<char>('a' + ((word >> 6) & 7)), static_cast<char>('1' + ((word >> 9) & 7)),
            static_cast<char>('a' + (word & 7)), static_cast<char>('1' + ((word >> 3) & 7))};
        if (word >> 12) text += "nbrq"[(word >> 12) - 1];
        moves.insert(text);
    }
    return moves;
}

class Installed : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        testInit();
        folder = new TempFolder("install");
        ASSERT_FALSE(folder->path.empty());
        prefix = folder->path / "prefix";
        ASSERT_EQ(install(prefix), 0);
        data = prefix / "share" / "korvan";
    }
    static void TearDownTestSuite() {
        delete folder;
        folder = nullptr;
    }
    static TempFolder* folder;
    static fs::path prefix, data;
};

TempFolder* Installed::folder = nullptr;
fs::path Installed::prefix, Installed::data;

// The files go where the README and the manual page say, and make uninstall
// removes every one of them, installed straight or staged for a package.
TEST_F(Installed, FilesGoWhereTheReadmeSaysAndUninstallRemovesThem) {
    std::set<std::string> expected = {"bin/korvan",
                                      "bin/korvan-bench",
                                      "bin/korvan-perft",
                                      "share/man/man6/korvan.6",
                                      "share/korvan/bench.fen",
                                      "share/korvan/performance.bin"};
    if (KORVAN_HAVE_BITBASES) {
        expected.insert("share/korvan/egbb/egbbso64.so");
        // Every table the build made (the five-man ones too, when made).
        for (const auto& entry : fs::directory_iterator(fs::path(KORVAN_BUILD_DIR) / "egbb"))
            if (entry.path().extension() == ".ktb")
                expected.insert("share/korvan/egbb/" + entry.path().filename().string());
        EXPECT_GE(expected.size(), 35u + 7u);
    }
    EXPECT_EQ(filesBelow(prefix), expected);
    EXPECT_TRUE(fs::is_symlink(data / "performance.bin"));

    const struct {
        const char* prefix;  // absolute; placed below the test's folder unless staged
        bool staged;
    } cases[] = {{"/a", false}, {"/usr", true}};
    for (const auto& c : cases) {
        TempFolder root("uninstall");
        fs::path target = root.path.string() + c.prefix;
        fs::path stage = c.staged ? root.path / "stage" : fs::path();
        std::string prefixText = c.staged ? c.prefix : target.string();
        ASSERT_EQ(install(prefixText, stage), 0) << c.prefix;
        fs::path tree = c.staged ? stage : root.path;
        std::set<std::string> files;
        for (const auto& file : expected)
            files.insert((fs::path(prefixText) / file).lexically_relative("/").string());
        if (c.staged) {
            EXPECT_EQ(filesBelow(stage), files) << "staged under " << stage;
        }
        std::string destdir = c.staged ? " DESTDIR=" + stage.string() : "";
        EXPECT_EQ(
            shell("make -s -C " KORVAN_SOURCE_DIR " uninstall PREFIX=" + prefixText + destdir), 0);
        EXPECT_EQ(filesBelow(tree), std::set<std::string>()) << c.prefix;
    }
}

// Started from any folder, the engine finds the installed book and bitbases;
// a book in the folder it is started in still comes first. The options'
// defaults read as before.
TEST_F(Installed, FindsItsDataFromAnyWorkingFolder) {
    TempFolder own("own-book");
    fs::create_symlink(data / "performance.bin", own.path / "performance.bin");
    const struct {
        fs::path folder;
        std::string book;
    } cases[] = {{"/", (data / "performance.bin").string()}, {own.path, "./performance.bin"}};
    for (const auto& c : cases) {
        EngineProcess engine({(prefix / "bin" / "korvan").string()}, c.folder, {});
        engine.send("uci");
        std::vector<std::string> lines = engine.readUntil("uciok");
        EXPECT_TRUE(contains(lines, "info string book (" + c.book + ") loaded")) << c.folder;
        EXPECT_EQ(contains(lines, "info string endgame bitbases loaded"),
                  static_cast<bool>(KORVAN_HAVE_BITBASES))
            << c.folder;
        EXPECT_TRUE(contains(lines, "option name Book File type string default ./performance.bin"));
        EXPECT_TRUE(contains(lines, "option name Bitbases Path type string default ./egbb"));

        // The first move comes from the book, without a search.
        engine.send("position startpos");
        engine.send("go depth 20");
        lines = engine.readUntil("bestmove");
        Position* start = testPosition("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
        std::string move = lines.back().substr(9, 4);
        EXPECT_TRUE(bookMoves(data / "performance.bin", start).count(move)) << move;
        EXPECT_FALSE(anyContains(lines, " pv ")) << c.folder;
        positionFree(start);

        if (KORVAN_HAVE_BITBASES) {
            engine.send(std::string("position fen ") + KRK_FEN);
            engine.send("go depth 8");
            EXPECT_TRUE(anyContains(engine.readUntil("bestmove"), " bbhits ")) << c.folder;
        }
    }
}

// The manual page entry of an option as the "uci" answer describes it, for
// example `.BR "Bitbases Cache Size" " (spin, default 16, 1 to 256)"`.
std::string manualEntry(const std::string& optionLine) {
    std::istringstream words(optionLine.substr(std::string("option name ").size()));
    std::string word, name, type, shown, min, max;
    while (words >> word && word != "type") name += (name.empty() ? "" : " ") + word;
    words >> type;
    while (words >> word) {
        if (word == "default") words >> shown;
        if (word == "min") words >> min;
        if (word == "max") words >> max;
    }
    std::string entry = " (" + type;
    if (type != "button") entry += ", default " + shown;
    if (type == "spin") entry += ", " + min + " to " + max;
    if (name.find(' ') != std::string::npos) name = '"' + name + '"';
    return ".BR " + name + " \"" + entry + ")\"";
}

// The installed manual page renders without a warning and documents every
// option the engine offers, with the type, default and range its "uci"
// answer shows.
TEST_F(Installed, ManualPageRendersAndDescribesEveryOption) {
    fs::path page = prefix / "share" / "man" / "man6" / "korvan.6";
    std::ifstream in(page);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EngineProcess engine;
    engine.send("uci");
    std::vector<std::string> options = linesStartingWith(engine.readUntil("uciok"), "option name ");
    EXPECT_EQ(options.size(), 10u);
    for (const auto& option : options)
        EXPECT_NE(text.find(manualEntry(option) + "\n"), std::string::npos) << manualEntry(option);
    if (access("/usr/bin/groff", X_OK) != 0) GTEST_SKIP() << "groff is missing";
    EXPECT_EQ(output("groff -ww -z -man " + page.string() + " 2>&1"), "");
}

// The installed bench finds its positions from any folder and gives the
// build's signature.
TEST_F(Installed, BenchReadsItsInstalledPositions) {
    auto signature = [](const std::string& text) {
        size_t at = text.find("Nodes searched");
        return at == std::string::npos ? "" : text.substr(at, text.find('\n', at) - at);
    };
    std::string installed =
        signature(output("cd / && " + (prefix / "bin").string() + "/korvan-bench 4 2>&1"));
    EXPECT_NE(installed, "");
    EXPECT_EQ(installed, signature(output(KORVAN_BUILD_DIR "/tools/korvan-bench 4 2>&1")));
    EXPECT_EQ(installed,
              signature(output("cd / && " + (prefix / "bin").string() + "/korvan bench 4 2>&1")));
}

// A GUI's side of an xboard game over Debian's polyglot adapter: the installed
// engine, found through PATH and started by polyglot in another folder, plays
// with a clock; every move it sends is checked for legality here.
class XboardGame {
  public:
    XboardGame(const fs::path& bin, const fs::path& work, const fs::path& log)
        : adapter_({POLYGLOT, "-noini", "-ec", "korvan", "-ed", "/", "-log", "true", "-lf",
                    log.string()},
                   work.string(),
                   {"PATH=" + bin.string() + ":/usr/bin:/bin", "HOME=" + work.string()}),
          position_(positionNew()) {
        adapter_.send("xboard");
        adapter_.send("protover 2");
        adapter_.readUntil("feature done=1");
    }
    ~XboardGame() {
        adapter_.send("quit");
        positionFree(position_);
    }

    // A new game from the position, the engine to move with `seconds` on
    // each clock; the engine plays the side to move.
    void start(const std::string& fen, int seconds) {
        adapter_.send("new");
        adapter_.send("easy");
        adapter_.send("post");
        adapter_.send("force");
        adapter_.send("level 0 0:" + std::to_string(seconds) + " 0");
        adapter_.send("setboard " + fen);
        ASSERT_EQ(positionSetFen(position_, fen.c_str()), 1);
        engineClockMs_ = guiClockMs_ = seconds * 1000;
        sendClocks();
        adapter_.send("go");
    }

    // The engine's answer: its move, legal in the game's position and played
    // on it, and whether it came with no thinking (a book move). Fails the
    // test and returns "" when no legal move came.
    std::string engineMove(bool* thought) {
        auto begin = std::chrono::steady_clock::now();
        std::vector<std::string> lines = adapter_.readUntil("move ", 15000);
        engineClockMs_ -= std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - begin)
                              .count();
        EXPECT_GT(engineClockMs_, 0) << "the engine overstepped its clock";
        if (lines.empty() || lines.back().rfind("move ", 0) != 0) return "";
        *thought = std::any_of(lines.begin(), lines.end(), isThinking);
        std::string text = lines.back().substr(5);
        Move move = moveFromText(position_, text.c_str());
        EXPECT_NE(move, 0u) << "illegal move " << text;
        if (!move || !moveDo(position_, move)) return "";
        return text;
    }

    // The GUI's move, then the engine thinks on its reply.
    void guiMove(const std::string& text) {
        Move move = moveFromText(position_, text.c_str());
        ASSERT_NE(move, 0u) << text;
        ASSERT_EQ(moveDo(position_, move), 1);
        guiClockMs_ -= 10;
        sendClocks();
        adapter_.send("usermove " + text);
    }

    // Analysis mode on the position: the thinking lines that come within
    // `ms`, and no move.
    std::vector<std::string> analyse(const std::string& fen, int ms) {
        adapter_.send("new");
        adapter_.send("force");
        adapter_.send("post");
        adapter_.send("setboard " + fen);
        adapter_.send("analyze");
        std::vector<std::string> thinking;
        std::string line;
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        for (int64_t left = ms; left > 0 && adapter_.readLine(&line, static_cast<int>(left));) {
            EXPECT_NE(line.rfind("move ", 0), 0u) << "a move while analysing: " << line;
            if (isThinking(line)) thinking.push_back(line);
            left = std::chrono::duration_cast<std::chrono::milliseconds>(
                       end - std::chrono::steady_clock::now())
                       .count();
        }
        adapter_.send("exit");
        return thinking;
    }

    Position* position() { return position_; }

  private:
    void sendClocks() {
        adapter_.send("time " + std::to_string(engineClockMs_ / 10));
        adapter_.send("otim " + std::to_string(guiClockMs_ / 10));
    }

    EngineProcess adapter_;
    Position* position_;
    int64_t engineClockMs_ = 0, guiClockMs_ = 0;
};

// The lone king's defence: take the rook when it hangs, else keep as far
// from the edge as it can.
std::string defence(Position* position) {
    RootMoveList list;
    rootMovesGenerate(position, &list);
    std::string best;
    int bestScore = -1;
    for (uint32_t i = 0; i < list.count; i++) {
        Move move = list.moves[i].move;
        int to = moveTo(move);
        int file = to % 8, rank = to / 8;
        int score = position->board[to] ? 100 : std::min({file, 7 - file, rank, 7 - rank});
        if (score > bestScore) bestScore = score, best = testMoveText(move);
    }
    return best;
}

TEST_F(Installed, PolyglotPlaysItsBookAndItsBitbasesAndAnalysesThroughXboard) {
    if (access(POLYGLOT, X_OK) != 0) GTEST_SKIP() << POLYGLOT << " is missing (make setup)";
    TempFolder work("polyglot");
    fs::path log = work.path / "polyglot.log";
    {
        XboardGame game(prefix / "bin", work.path, log);

        // An opening with a clock: the engine plays white from the initial
        // position, the GUI answers with the book's first move for black
        // (or any legal move out of book).
        game.start("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 10);
        int bookMovesPlayed = 0;
        for (int move = 0; move < 6; move++) {
            std::set<std::string> book = bookMoves(data / "performance.bin", game.position());
            bool thought = true;
            std::string text = game.engineMove(&thought);
            ASSERT_NE(text, "");
            if (!thought && book.count(text)) bookMovesPlayed++;
            if (move == 0) {
                EXPECT_FALSE(thought) << "the first move was searched: " << text;
            }
            if (move == 5) break;
            std::set<std::string> replies = bookMoves(data / "performance.bin", game.position());
            RootMoveList legal;
            rootMovesGenerate(game.position(), &legal);
            ASSERT_GT(legal.count, 0u);
            game.guiMove(replies.empty() ? testMoveText(legal.moves[0].move) : *replies.begin());
        }
        EXPECT_GE(bookMovesPlayed, 1);

        // King and rook against king, the king in the centre: the engine
        // mates (with its bitbases at about a third of a second a move).
        if (KORVAN_HAVE_BITBASES) {
            game.start(KRK_FEN, 10);
            bool mated = false;
            for (int move = 0; move < 40 && !mated; move++) {
                bool thought;
                std::string text = game.engineMove(&thought);
                ASSERT_NE(text, "") << "move " << move;
                RootMoveList legal;
                rootMovesGenerate(game.position(), &legal);
                mated = legal.count == 0 && positionIsInCheck(game.position());
                ASSERT_TRUE(legal.count > 0 || mated) << "stalemate";
                if (!mated) game.guiMove(defence(game.position()));
            }
            EXPECT_TRUE(mated) << "no mate within 40 moves";
        }

        // Analysis of the initial position, which the book knows: the
        // engine searches and shows its thinking.
        EXPECT_FALSE(
            game.analyse("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 1500).empty());
    }

    // polyglot's log of the engine's side: what it loaded and its probes.
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(
        text.str().find("info string book (" + (data / "performance.bin").string() + ") loaded"),
        std::string::npos);
    if (KORVAN_HAVE_BITBASES) {
        EXPECT_NE(text.str().find("info string endgame bitbases loaded"), std::string::npos);
        EXPECT_NE(text.str().find(" bbhits "), std::string::npos);
    }
}

}  // namespace
