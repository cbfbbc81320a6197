// The bitbase library against the plain endgame solver, every legal position of
// every three-man material and of small four-man ones, distances included.
#include <gmodule.h>
#include <gtest/gtest.h>

#include <string>

#include "support/engine.h"
#include "tbsolve.h"

namespace {

class EgbbSolverTest : public ::testing::Test {
  protected:
    static inline GModule* module = nullptr;
    static inline TbProbeFunction probe = nullptr;
    static inline TbSolver* solver = nullptr;

    static void SetUpTestSuite() {
        testInit();
        solver = new TbSolver;
        solver->threads = 2;
        if (!KORVAN_HAVE_BITBASES) return;
        std::string dir = std::string(KORVAN_BUILD_DIR) + "/egbb";
        module = g_module_open((dir + "/egbbso64.so").c_str(), G_MODULE_BIND_LAZY);
        gpointer load = nullptr, found = nullptr;
        if (!module || !g_module_symbol(module, "load_egbb_5men", &load) ||
            !g_module_symbol(module, "probe_egbb_5men", &found))
            return;
        reinterpret_cast<void (*)(const char*, int, int)>(load)((dir + "/").c_str(), 16 << 20, 2);
        probe = reinterpret_cast<TbProbeFunction>(found);
    }
    static void TearDownTestSuite() {
        delete solver;
        if (module) g_module_close(module);
    }

    const TbTable& solve(const char* name) {
        TbMaterial material;
        EXPECT_TRUE(tbMaterialParse(name, &material)) << name;
        return tbSolve(solver, material);
    }
};

std::string examplesOf(const TbCheck& check) {
    std::string text;
    for (const std::string& example : check.examples) text += "\n  " + example;
    return text;
}

// Facts of the solved tables that hold whatever the library says.
TEST_F(EgbbSolverTest, SolvedThreeManTablesHaveTheKnownShape) {
    const struct {
        const char* name;
        int longest;  // longest distance to mate in plies (of a loss: one more than the win)
        bool blackCanWin;
    } cases[] = {
        {"KQvK", 20, false}, {"KBvK", 0, false}, {"KNvK", 0, false},
    // The rook's 34 passes take long under the sanitizers.
#ifndef KORVAN_SANITIZED
        {"KRvK", 32, false}, {"KvKR", 32, true},
#endif
    };
    for (const auto& c : cases) {
        const TbTable& table = solve(c.name);
        EXPECT_EQ(tbMaterialName(table.material), c.name);
        EXPECT_EQ(table.stats.longest, c.longest) << c.name;
        EXPECT_EQ(table.stats.wins[1] > 0, c.blackCanWin) << c.name;
        // The lone king never wins, and a lone minor piece never mates.
        EXPECT_EQ(table.stats.wins[c.blackCanWin ? 0 : 1], 0u) << c.name;
        if (c.longest == 0) {
            EXPECT_EQ(table.stats.losses[0] + table.stats.losses[1], 0u) << c.name;
        }
    }
}

TEST_F(EgbbSolverTest, ThreeManMaterialsAgreeWithTheLibrary) {
    SKIP_WITHOUT_BITBASES();
    ASSERT_NE(probe, nullptr) << g_module_error();
    // The Gaviota test covers the black men; the rook's 34 passes and the
    // pawn's 58 take long under the sanitizers.
#ifdef KORVAN_SANITIZED
    const char* names[] = {"KQvK", "KBvK", "KNvK"};
#else
    const char* names[] = {"KQvK", "KRvK", "KBvK", "KNvK", "KPvK"};
#endif
    for (const char* name : names) {
        TbCheck check = tbCheck(solve(name), probe, 5);
        EXPECT_GT(check.positions, 0u) << name;
        EXPECT_EQ(check.disagreements, 0u) << name << examplesOf(check);
        EXPECT_EQ(check.unavailable, 0u) << name << examplesOf(check);
    }
}

// The four-man materials take minutes each: their proof is the benchmark
// tools/bench.d/tbsolve.sh (korvan-tbsolve --all-4).

}  // namespace
