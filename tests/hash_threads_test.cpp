#include <gtest/gtest.h>

#include <limits>
#include <thread>
#include <vector>

#include "base/output.h"
#include "eval/evaluator.h"
#include "eval/pawntable.h"
#include "search/hash.h"
#include "support/engine.h"
#include "support/evalpositions.h"

namespace {

#ifdef KORVAN_SANITIZED
constexpr int ROUNDS = 20000;
#else
constexpr int ROUNDS = 300000;
#endif
constexpr int THREADS = 3;

// Every field of a stored entry follows from its key, so any hit that does not
// match was put together from two writes. The value differs for every key of
// the pool, so two writes never differ in the low fields alone.
int depthOf(uint64_t key) { return 1 + static_cast<int>(key % 40); }
int valueOf(uint64_t key) { return static_cast<int>((key >> 16) * 997 + (key & 0xffff)) - 16000; }
int typeOf(uint64_t key) { return static_cast<int>(key % 3); }
Move moveOf(uint64_t key) { return static_cast<Move>((key >> 3) & 0xffff); }

// Stores the key's entry at the depth, as the search does.
void write(uint64_t key, int depth) {
    HashEntry* slot;
    uint64_t info;
    hashFind(&slot, key, &info);
    hashWrite(slot, key, depth, valueOf(key), typeOf(key), moveOf(key));
}

TEST(HashThreads, ConcurrentWritersNeverProduceAMixedHit) {
    testInit();
    hashCreate(1);
    std::atomic<int> mixed{0}, hits{0};
    auto worker = [&](int seed) {
        uint64_t x = 0x9e3779b97f4a7c15ULL * (seed + 1);
        for (int i = 0; i < ROUNDS; i++) {
            x ^= x << 13, x ^= x >> 7, x ^= x << 17;
            // 64 slots, 32 keys each: writers keep colliding.
            uint64_t key = (x & 63) + ((x >> 8) & 31) * hashTable.slotCount + 1;
            HashEntry* slot;
            uint64_t info;
            if (hashFind(&slot, key, &info)) {
                hits.fetch_add(1, std::memory_order_relaxed);
                if (hashInfoDepth(info) != depthOf(key) || hashInfoValue(info) != valueOf(key) ||
                    hashInfoType(info) != typeOf(key) || hashInfoMove(info) != moveOf(key))
                    mixed.fetch_add(1, std::memory_order_relaxed);
            }
            // New generations now and then (far from the wrap-around).
            if (seed == 0 && i % 1000 == 0) hashNewSearch();
            hashWrite(slot, key, depthOf(key), valueOf(key), typeOf(key), moveOf(key));
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; t++) threads.emplace_back(worker, t);
    for (auto& t : threads) t.join();
    EXPECT_EQ(mixed.load(), 0);
    EXPECT_GT(hits.load(), 0);
    hashDestroy();
}

TEST(HashThreads, UsageCountsEverySlotWrittenOnce) {
    testInit();
    hashCreate(1);
    const uint32_t slots = hashTable.slotCount;
    // Old entries everywhere: a new generation counts them as free again.
    for (uint32_t i = 0; i < slots; i += 3) write(i + 1, 5);
    hashNewSearch();
    EXPECT_EQ(hashUsage(), 0);
    // Each thread fills its own quarter of the table, every slot twice (the
    // second write deeper), while the others count into the same total.
    const uint32_t quarter = slots / 4;
    auto worker = [&](int t) {
        for (int depth : {3, 9})
            for (uint32_t i = t * quarter; i < (t + 1) * quarter; i++) write(i, depth);
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; t++) threads.emplace_back(worker, t);
    for (auto& t : threads) t.join();
    EXPECT_EQ(hashUsage(), THREADS * 250);
    hashDestroy();
}

TEST(HashThreads, ConcurrentEvaluationsAgreeWithFreshOnes) {
    testInit();
    GRand* g = g_rand_new_with_seed(23);
    std::vector<Position*> positions;
    for (const auto& fen : testGamePositions()) positions.push_back(testPosition(fen.c_str()));
    for (int i = 0; i < 200; i++) positions.push_back(testPosition(testRandomFen(g).c_str()));
    g_rand_free(g);

    // Reference scores without a pawn table.
    pawnTableDestroy();
    std::vector<int> expected;
    for (Position* p : positions) expected.push_back(evaluate(p, -30000, 30000, 1));

    // A pawn table of four slots: the threads overwrite each other all the time.
    allocationLimit = 4 * sizeof(PawnHashEntry);
    outCaptureBegin();
    pawnTableCreate(PAWN_TABLE_MEGABYTES);
    outCaptureEnd();
    allocationLimit = std::numeric_limits<uint64_t>::max();
    ASSERT_EQ(pawnTable.slotCount, 4u);

    std::atomic<int> wrong{0};
    auto worker = [&](int seed) {
        int rounds = ROUNDS / 1000;
        for (int r = 0; r < rounds; r++)
            for (size_t i = 0; i < positions.size(); i++) {
                size_t k = (i * 7 + seed * 13 + r) % positions.size();
                if (evaluate(positions[k], -30000, 30000, 1) != expected[k])
                    wrong.fetch_add(1, std::memory_order_relaxed);
            }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; t++) threads.emplace_back(worker, t);
    for (auto& t : threads) t.join();
    EXPECT_EQ(wrong.load(), 0);
    pawnTableDestroy();
    for (Position* p : positions) positionFree(p);
}

}  // namespace
