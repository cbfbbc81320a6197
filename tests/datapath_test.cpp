// Which file the engine opens for a relative "Book File" or "Bitbases Path":
// the working directory's first, the data folder's when the working directory
// has none.
#include "frontend/datapath.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

// A working directory with a book of its own and a data folder with a book,
// a bitbase folder and a second book, all in a fresh temporary folder.
class DataPath : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/korvan-datapath-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        work = root / "work";
        data = root / "share" / "korvan";
        fs::create_directories(work);
        fs::create_directories(data / "egbb");
        for (const fs::path& file :
             {work / "local.bin", data / "performance.bin", data / "local.bin", data / "other.bin"})
            std::ofstream(file) << "x";
        saved = fs::current_path();
        fs::current_path(work);
    }
    void TearDown() override {
        fs::current_path(saved);
        fs::remove_all(root);
    }
    fs::path root, work, data, saved;
};

TEST_F(DataPath, ARelativeNameMissingHereIsTakenFromTheDataFolder) {
    const std::string folder = data.string();
    const struct {
        std::string name;
        std::string expected;
    } cases[] = {
        // The defaults, as the options hold them.
        {"./performance.bin", folder + "/performance.bin"},
        {"./egbb", folder + "/egbb"},
        // Without "./", and with the dot written more than once.
        {"performance.bin", folder + "/performance.bin"},
        {"././/performance.bin", folder + "/performance.bin"},
        // The working directory's own file comes first.
        {"./local.bin", "./local.bin"},
        {"local.bin", "local.bin"},
        // Nowhere: the name as given (so the engine's message names it).
        {"./missing.bin", "./missing.bin"},
        {"sub/other.bin", "sub/other.bin"},
        // An absolute name is never redirected, nor is an empty one.
        {"/nonexistent/performance.bin", "/nonexistent/performance.bin"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(dataPathIn(c.name, folder), c.expected) << c.name;
}

TEST_F(DataPath, WithoutADataFolderEveryNameStaysAsGiven) {
    for (const char* name : {"./performance.bin", "./egbb", "./local.bin"})
        EXPECT_EQ(dataPathIn(name, ""), name);
}

// Test programs run from the build tree, which has no data folder: there the
// engine looks in its working directory only, as a build always has.
TEST(DataFolder, TheBuildTreeHasNone) { EXPECT_EQ(dataDirectory(), ""); }

}  // namespace
