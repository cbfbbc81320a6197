// Probes of the real bitbase library from several search threads at once.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "base/output.h"
#include "bitbases/egbb.h"
#include "search/search.h"
#include "support/engine.h"

namespace {

#ifdef KORVAN_SANITIZED
constexpr int SAMPLES = 2000;
#else
constexpr int SAMPLES = 10000;
#endif
constexpr int THREADS = 4;

// One legal position with kings and one or two more men (man2 0: none).
struct Sample {
    int whiteKing, blackKing, man, square, man2, square2, player;
};

void setUp(Position* p, const Sample& s) {
    emptyPosition(p);
    addPiece(p, WHITE_KING, s.whiteKing);
    addPiece(p, BLACK_KING, s.blackKing);
    addPiece(p, s.man, s.square);
    if (s.man2) addPiece(p, s.man2, s.square2);
    p->player = s.player;
}

// Random legal three- and four-man positions of every kind the tables hold,
// both colours.
std::vector<Sample> randomSamples(int count) {
    GRand* random = g_rand_new_with_seed(12345);
    std::vector<Sample> samples;
    Position* p = positionNew();
    while (static_cast<int>(samples.size()) < count) {
        Sample s;
        s.whiteKing = g_rand_int_range(random, 0, 64);
        s.blackKing = g_rand_int_range(random, 0, 64);
        s.man = g_rand_int_range(random, WHITE_PAWN, WHITE_KING);
        s.square = g_rand_int_range(random, 0, 64);
        s.man2 =
            g_rand_int_range(random, 0, 2) ? g_rand_int_range(random, WHITE_PAWN, WHITE_KING) : 0;
        s.square2 = g_rand_int_range(random, 0, 64);
        s.player = g_rand_int_range(random, 0, 2);
        Bitboard used = bitOf(s.whiteKing) | bitOf(s.blackKing);
        if (s.whiteKing == s.blackKing || (used & bitOf(s.square))) continue;
        if (s.man2 && ((used | bitOf(s.square)) & bitOf(s.square2))) continue;
        if (attackKing[s.whiteKing] & bitOf(s.blackKing)) continue;
        if ((s.man | 1) == BLACK_PAWN && (s.square < 8 || s.square >= 56)) continue;
        if ((s.man2 | 1) == BLACK_PAWN && (s.square2 < 8 || s.square2 >= 56)) continue;
        setUp(p, s);
        int waiting = s.player ^ 1;
        if (squareAttacked(p, bitFirst(p->bitboard[WHITE_KING + waiting]), s.player)) continue;
        samples.push_back(s);
    }
    positionFree(p);
    g_rand_free(random);
    return samples;
}

TEST(EgbbThreadsTest, ConcurrentProbesAgreeWithOneThread) {
    SKIP_WITHOUT_BITBASES();
    testInit();
    outCaptureBegin();
    // A cache of 1 MB: far too small for the four-man tables, so the threads
    // keep refilling slots that others are reading.
    egbbLoad(KORVAN_BUILD_DIR "/egbb", 1);
    ASSERT_EQ(outCaptureEnd(), "info string endgame bitbases loaded\n");

    std::vector<Sample> samples = randomSamples(SAMPLES);
    std::vector<int> expected(samples.size());
    Position* p = positionNew();
    int wins = 0, draws = 0, losses = 0;
    for (size_t i = 0; i < samples.size(); i++) {
        setUp(p, samples[i]);
        ASSERT_EQ(egbbProbe(p, &expected[i]), 1) << i;
        wins += expected[i] > 0;
        draws += expected[i] == 0;
        losses += expected[i] < 0;
    }
    positionFree(p);
    // The sample is varied enough to catch a verdict that flips.
    EXPECT_GT(wins, SAMPLES / 10);
    EXPECT_GT(draws, SAMPLES / 10);
    EXPECT_GT(losses, SAMPLES / 20);

    // The threads probe as search nodes deep in the tree do, every hit counted.
    constexpr int PLY = 40, ITERATION = 9;
    searchStats.bitbaseHits = 0;
    std::vector<int> mismatches(THREADS, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; t++) {
        threads.emplace_back([&, t] {
            Position* own = positionNew();
            // Each thread walks the samples from its own starting point, so that
            // different tables are probed at the same moment.
            size_t n = samples.size();
            for (size_t k = 0; k < n; k++) {
                size_t i = (k + t * n / THREADS) % n;
                setUp(own, samples[i]);
                int score = 0;
                if (!searchBitbaseProbe(own, PLY, ITERATION, true, &score) ||
                    score != searchBitbaseScore(own, expected[i], PLY, true))
                    mismatches[t]++;
            }
            positionFree(own);
        });
    }
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < THREADS; t++) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
    // Every concurrent hit is counted.
    EXPECT_EQ(searchStats.bitbaseHits.load(), THREADS * samples.size());
    egbbClose();
}

}  // namespace
