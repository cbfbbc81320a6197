// The engine keeps no files of its own: a whole session with searches, the book
// and the bitbases, run under a tracer in a fresh working directory, opens
// nothing for writing, creates, renames or removes nothing.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "support/engine.h"
#include "support/engineprocess.h"

namespace {

namespace fs = std::filesystem;

// System calls that change the file system.
const std::set<std::string> kWritingCalls = {
    "creat",   "mkdir", "mkdirat", "rename",   "renameat",  "renameat2", "unlink",      "unlinkat",
    "rmdir",   "link",  "linkat",  "symlink",  "symlinkat", "truncate",  "ftruncate",   "mknod",
    "mknodat", "chmod", "fchmod",  "fchmodat", "utimensat", "fallocate", "memfd_create"};

// The name of the system call a line of the trace shows ("1234 openat(...").
std::string callName(const std::string& line) {
    size_t start = line.find(' ');
    if (start == std::string::npos) return "";
    size_t end = line.find('(', start);
    return end == std::string::npos ? "" : line.substr(start + 1, end - start - 1);
}

// Whether the traced call changes a file: a writing call, or an open for writing.
bool writesFiles(const std::string& line) {
    std::string name = callName(line);
    if (kWritingCalls.count(name)) return true;
    if (name != "open" && name != "openat" && name != "openat2") return false;
    for (const char* flag : {"O_WRONLY", "O_RDWR", "O_CREAT", "O_TRUNC", "O_APPEND"})
        if (line.find(flag) != std::string::npos) return true;
    return false;
}

TEST(Resources, TheTraceCheckSeesWrites) {
    EXPECT_TRUE(
        writesFiles(R"(15859 openat(AT_FDCWD, "/tmp/x", O_WRONLY|O_CREAT|O_TRUNC, 0666) = 3)"));
    EXPECT_TRUE(writesFiles(R"(15859 unlink("/tmp/x") = 0)"));
    EXPECT_TRUE(writesFiles(R"(15859 mkdir("/tmp/y", 0777) = 0)"));
    EXPECT_FALSE(
        writesFiles(R"(15788 openat(AT_FDCWD, "/etc/ld.so.cache", O_RDONLY|O_CLOEXEC) = 3)"));
    EXPECT_FALSE(writesFiles(R"(15788 write(1, "readyok\n", 8) = 8)"));
}

TEST(Resources, TheEngineWritesNoFile) {
    if (access("/usr/bin/strace", X_OK) != 0) GTEST_SKIP() << "strace is not installed";
    char pattern[] = "/tmp/korvan-nowrite-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    fs::path root = pattern;
    fs::path work = root / "work", home = root / "home", tmp = root / "tmp";
    for (const auto& dir : {work, home, tmp}) fs::create_directory(dir);
    fs::path trace = root / "trace.log";

    // Temporary files and settings would go under these.
    std::string oldHome = getenv("HOME") ? getenv("HOME") : "";
    std::string oldTmp = getenv("TMPDIR") ? getenv("TMPDIR") : "";
    std::string oldAsan = getenv("ASAN_OPTIONS") ? getenv("ASAN_OPTIONS") : "";
    setenv("HOME", home.c_str(), 1);
    setenv("TMPDIR", tmp.c_str(), 1);
    // The leak checker of sanitizer builds refuses to run under a tracer.
    setenv("ASAN_OPTIONS", (oldAsan + (oldAsan.empty() ? "" : ":") + "detect_leaks=0").c_str(), 1);
    {
        EngineProcess engine(work.string(), {"/usr/bin/strace", "-f", "-qq", "-o", trace.string(),
                                             "-e", "trace=%file,%desc"});
        engine.send("uci");
        engine.readUntil("uciok", 30000);
        engine.send("setoption name Book File value " KORVAN_BUILD_DIR "/performance.bin");
        if (KORVAN_HAVE_BITBASES)
            engine.send("setoption name Bitbases Path value " KORVAN_BUILD_DIR "/egbb");
        engine.send("setoption name Hash value 16");
        engine.send("isready");
        std::vector<std::string> lines = engine.readUntil("readyok", 30000);
        EXPECT_EQ(linesStartingWith(lines, "info string book (").at(0).find("loaded"),
                  linesStartingWith(lines, "info string book (").at(0).size() - 6);
        if (KORVAN_HAVE_BITBASES) {
            EXPECT_FALSE(linesStartingWith(lines, "info string endgame bitbases loaded").empty());
        }
        const char* session[] = {
            "ucinewgame",
            "position startpos",
            "go wtime 2000 btime 2000",
            "position startpos moves e2e4 e7e5 g1f3",
            "go depth 5",
            "position fen 8/8/8/8/8/5k2/8/5K1R w - - 0 1",
            "go depth 7",
            "setoption name Threads value 2",
            "setoption name Clear Hash",
            "position fen r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP1B1PPP/R2QKB1R w KQ - 0 8",
            "go nodes 30000",
        };
        // Each search answers once, before the next command.
        size_t searches = 0, answers = 0;
        for (const char* command : session) {
            engine.send(command);
            if (strncmp(command, "go", 2) != 0) continue;
            searches++;
            answers += linesStartingWith(engine.readUntil("bestmove", 60000), "bestmove ").size();
        }
        engine.send("isready");
        answers += linesStartingWith(engine.readUntil("readyok", 30000), "bestmove").size();
        EXPECT_EQ(answers, searches);
        engine.send("debug");
        engine.send("quit");
        EXPECT_EQ(engine.wait(30000), 0);
    }
    if (oldHome.empty())
        unsetenv("HOME");
    else
        setenv("HOME", oldHome.c_str(), 1);
    if (oldTmp.empty())
        unsetenv("TMPDIR");
    else
        setenv("TMPDIR", oldTmp.c_str(), 1);

    std::ifstream in(trace);
    std::string line;
    int calls = 0;
    bool sawBook = false, sawBitbases = false;
    while (std::getline(in, line)) {
        calls++;
        EXPECT_FALSE(writesFiles(line)) << line;
        if (line.find("performance.bin") != std::string::npos) sawBook = true;
        if (line.find("egbbso64.so") != std::string::npos) sawBitbases = true;
    }
    // The trace did see the engine at work.
    EXPECT_GT(calls, 20);
    EXPECT_TRUE(sawBook);
    if (KORVAN_HAVE_BITBASES) {
        EXPECT_TRUE(sawBitbases);
    }
    for (const auto& dir : {work, home, tmp})
        EXPECT_TRUE(fs::is_empty(dir)) << dir << " is not empty";
    fs::remove_all(root);
    SKIP_WITHOUT_BITBASES("the session ran without loading them");
}

}  // namespace
