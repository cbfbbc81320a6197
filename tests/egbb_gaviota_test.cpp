// The bitbase library against the Gaviota tables probed directly: every legal
// three-man position, both sides to move, the same verdict, and for the queen
// and the rook the same distance to mate.
#include <gmodule.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/engine.h"
#include "tbsolve.h"

#if KORVAN_HAVE_GAVIOTA
#include <gtb-probe.h>
#endif

namespace {

#if KORVAN_HAVE_GAVIOTA
struct Material {
    const char* name;
    bool distances;  // compare distances too, not only the verdict
};
const Material MATERIALS[] = {{"KQvK", true},  {"KRvK", true}, {"KBvK", false}, {"KNvK", false},
                              {"KPvK", false}, {"KvKQ", true}, {"KvKR", true},  {"KvKB", false},
                              {"KvKN", false}, {"KvKP", false}};

// Gaviota's answer as the library's score: 20000 - 40 * plies for the side to move
// winning, the negation for it losing, 0 for a draw, 99999 when unknown.
int gaviotaScore(const TbTable& table, uint32_t index) {
    int squares[TB_MAX_MEN];
    int player = tbIndexSquares(table, index, squares);
    unsigned white[3] = {unsigned(squares[0]), tb_NOSQUARE, tb_NOSQUARE};
    unsigned black[3] = {unsigned(squares[1]), tb_NOSQUARE, tb_NOSQUARE};
    unsigned char whiteMen[3] = {tb_KING, tb_NOPIECE, tb_NOPIECE};
    unsigned char blackMen[3] = {tb_KING, tb_NOPIECE, tb_NOPIECE};
    int man = table.material.men[0];
    static constexpr unsigned char GTB_MAN[] = {tb_PAWN, tb_KNIGHT, tb_BISHOP, tb_ROOK, tb_QUEEN};
    unsigned char gtbMan = GTB_MAN[(man - WHITE_PAWN) / 2];
    if (man & 1) {
        black[1] = unsigned(squares[2]);
        blackMen[1] = gtbMan;
    } else {
        white[1] = unsigned(squares[2]);
        whiteMen[1] = gtbMan;
    }
    unsigned info = 0, plies = 0;
    if (!tb_probe_hard(unsigned(player), tb_NOSQUARE, tb_NOCASTLE, white, black, whiteMen, blackMen,
                       &info, &plies))
        return 99999;
    if (info == tb_DRAW) return 0;
    if (info != tb_WMATE && info != tb_BMATE) return 99999;
    int score = 20000 - 40 * int(plies);
    return (info == tb_WMATE) == (player == WHITE) ? score : -score;
}

int sign(int score) { return (score > 0) - (score < 0); }
#endif

TEST(EgbbGaviota, EveryThreeManPositionHasGaviotasAnswer) {
#if !KORVAN_HAVE_GAVIOTA
    GTEST_SKIP() << "built without the Gaviota library or tables (libgaviotatb-dev, gaviotatb)";
#else
    SKIP_WITHOUT_BITBASES();
    testInit();
    std::vector<TbTable> tables;
    for (const Material& m : MATERIALS) {
        TbTable table;
        ASSERT_TRUE(tbMaterialParse(m.name, &table.material));
        table.values.assign(size_t{2} << 18, 0);
        tables.push_back(table);
    }

    // Gaviota's code is not thread-safe and keeps one state: all its answers
    // first, then the library's (which holds its own copy of that code).
    Position* position = positionNew();
    std::vector<std::vector<int> > expected(tables.size());
    const char** gtbPaths = tbpaths_add(tbpaths_init(), KORVAN_GAVIOTA_DIR);
    // The folder gtbN holds the tables of compression scheme N.
    const char* gtbDir = KORVAN_GAVIOTA_DIR;
    tb_init(0, gtbDir[strlen(gtbDir) - 1] - '0', gtbPaths);
    tbcache_init(size_t{16} << 20, 16);
    ASSERT_NE(tb_availability(), 0u) << KORVAN_GAVIOTA_DIR;
    for (size_t t = 0; t < tables.size(); t++)
        for (uint32_t index = 0; index < tables[t].values.size(); index++)
            expected[t].push_back(tbPositionSet(tables[t], index, position)
                                      ? gaviotaScore(tables[t], index)
                                      : 100000);
    tbcache_done();
    tb_done();
    tbpaths_done(gtbPaths);

    std::string dir = std::string(KORVAN_BUILD_DIR) + "/egbb";
    GModule* module = g_module_open((dir + "/egbbso64.so").c_str(), G_MODULE_BIND_LAZY);
    gpointer load = nullptr, found = nullptr;
    ASSERT_TRUE(module && g_module_symbol(module, "load_egbb_5men", &load) &&
                g_module_symbol(module, "probe_egbb_5men", &found))
        << g_module_error();
    reinterpret_cast<void (*)(const char*, int, int)>(load)((dir + "/").c_str(), 16 << 20, 2);
    auto probe = reinterpret_cast<TbProbeFunction>(found);
    for (size_t t = 0; t < tables.size(); t++) {
        const TbTable& table = tables[t];
        int squares[TB_MAX_MEN], mismatches = 0;
        uint64_t positions = 0;
        for (uint32_t index = 0; index < table.values.size(); index++) {
            int want = expected[t][index];
            if (want == 100000) continue;
            positions++;
            ASSERT_NE(want, 99999) << "Gaviota does not know " << tbFen(table, index);
            int player = tbIndexSquares(table, index, squares);
            int man = table.material.men[0];
            int code = 6 - (man - WHITE_PAWN) / 2 + (man & 1) * 6;
            int got = probe(player, squares[0], squares[1], code, squares[2], 0, 0, 0, 0);
            bool same = MATERIALS[t].distances ? got == want : sign(got) == sign(want);
            if (!same && mismatches++ < 5)
                ADD_FAILURE() << MATERIALS[t].name << " " << tbFen(table, index) << ": library "
                              << got << ", Gaviota " << want;
        }
        EXPECT_EQ(mismatches, 0) << MATERIALS[t].name;
        EXPECT_GT(positions, 0u) << MATERIALS[t].name;
    }
    g_module_close(module);
    positionFree(position);
#endif
}

}  // namespace
