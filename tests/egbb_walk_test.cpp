// The verifier's walk over a material's positions and its lists of
// materials: the shortened walk of the five-man tables still meets every
// position up to the board's mirror images, and --all-5 checks the tables in
// the order the generator makes them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "support/engine.h"
#include "tbsolve.h"
#if KORVAN_HAVE_GENERATOR
#include "material.h"
#endif

namespace {

TbMaterial parsed(const char* name) {
    TbMaterial material;
    EXPECT_TRUE(tbMaterialParse(name, &material)) << name;
    return material;
}

// One number for all mirror images of a placement: the smallest index over the
// board's symmetries (only the a-h mirror with pawns), identical men sorted.
uint64_t classOf(const TbWalk& walk, int player, const int* squares) {
    int men = tbMen(walk.material);
    uint64_t best = UINT64_MAX;
    for (int symmetry = 0; symmetry < (walk.pawns ? 2 : 8); symmetry++) {
        int image[TB_MAX_MEN];
        for (int i = 0; i < men; i++) {
            int sq = squares[i];
            if (symmetry & 1) sq ^= 7;
            if (symmetry & 2) sq ^= 56;
            if (symmetry & 4) sq = (sq & 7) << 3 | sq >> 3;
            image[i] = sq;
        }
        for (int i = 2; i < men; i++)
            for (int j = i; j > 2 && walk.material.men[j - 3] == walk.material.men[j - 2] &&
                            image[j - 1] > image[j];
                 j--)
                std::swap(image[j - 1], image[j]);
        best = std::min(best, tbIndexOf(walk.material, player, image));
    }
    return best;
}

struct Walked {
    std::unordered_map<uint64_t, int> classes;     // how often each was met
    std::unordered_set<uint64_t> kingsOnDiagonal;  // classes met with both kings on a1-h8
    uint64_t positions = 0;
};

Walked walkAll(const TbWalk& walk) {
    Walked walked;
    Position* p = positionNew();
    for (int unit = 0; unit < TB_WALK_UNITS; unit++) {
        if (!tbWalkUnit(walk, unit)) continue;
        tbWalkPositions(walk, unit, p, [&](int player, const int* squares, Position*) {
            walked.positions++;
            uint64_t c = classOf(walk, player, squares);
            walked.classes[c]++;
            if (squares[0] % 9 == 0 && squares[1] % 9 == 0) walked.kingsOnDiagonal.insert(c);
        });
    }
    positionFree(p);
    return walked;
}

class EgbbWalkTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { testInit(); }
};

// Walked number by number, the walk meets exactly the numbers that are legal
// positions (the ones the four-man check counts).
TEST_F(EgbbWalkTest, EveryNumberWalkMeetsEveryLegalNumber) {
    for (const char* name : {"KQvK", "KPvK", "KvKR"}) {
        TbTable table;
        table.material = parsed(name);
        Position* p = positionNew();
        uint64_t legal = 0;
        for (uint64_t index = 0; index < tbSize(table.material); index++)
            legal += tbPositionSet(table, index, p);
        positionFree(p);
        EXPECT_EQ(walkAll(tbWalkMake(table.material, true)).positions, legal) << name;
    }
}

// The short walk meets one position of every set of mirror images, each one
// once but for the few with both kings on the long diagonal, and identical men
// in one order.
TEST_F(EgbbWalkTest, ShortWalkMeetsEveryMirrorImageOnce) {
    // The four-man ones, with identical men, take seconds under the sanitizers.
#ifdef KORVAN_SANITIZED
    const char* names[] = {"KQvK", "KPvK", "KvKR"};
#else
    const char* names[] = {"KQvK", "KPvK", "KvKR", "KNNvK", "KPPvK"};
#endif
    for (const char* name : names) {
        TbMaterial material = parsed(name);
        Walked all = walkAll(tbWalkMake(material, true));
        Walked some = walkAll(tbWalkMake(material, false));
        EXPECT_EQ(some.classes.size(), all.classes.size()) << name;
        for (const auto& [c, times] : some.classes) {
            ASSERT_TRUE(all.classes.count(c)) << name;
            // Twice only with both kings on a1-h8 (its mirror image keeps them).
            ASSERT_LE(times, 2) << name;
            if (times == 2) {
                ASSERT_TRUE(some.kingsOnDiagonal.count(c)) << name;
            }
        }
    }
}

TEST_F(EgbbWalkTest, FiveManNamesParse) {
    for (const char* name : {"KRBvKR", "KQvKRP", "KNNNvK", "KPPvKP"}) {
        TbMaterial material = parsed(name);
        EXPECT_EQ(tbMen(material), 5) << name;
        EXPECT_EQ(tbMaterialName(material), name);
    }
    TbMaterial material;
    EXPECT_FALSE(tbMaterialParse("KRBvKRN", &material));
    EXPECT_FALSE(tbMaterialParse("KQQvKX", &material));
}

TEST_F(EgbbWalkTest, MaterialListsAreTheGenerators) {
#if KORVAN_HAVE_GENERATOR
    std::vector<std::string> generated[6];
    for (const egbb::Material& m : egbb::materialsUpTo(5))
        generated[m.men()].push_back(egbb::materialName(m));
    for (int men = 3; men <= 5; men++) {
        std::vector<std::string> ours = tbMaterialsOfMen(men);
        if (men < 5) {
            // Their order is ours alone; the generator makes them before any five-man one.
            std::sort(ours.begin(), ours.end());
            std::sort(generated[men].begin(), generated[men].end());
        }
        EXPECT_EQ(ours, generated[men]) << men << " men";
    }
    EXPECT_EQ(tbMaterialsOfMen(5).size(), 110u);
#else
    GTEST_SKIP() << "built without the bitbase library and its generator";
#endif
}

}  // namespace
