#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

#include "base/output.h"
#include "eval/pawntable.h"
#include "frontend/movetext.h"
#include "moves/movedo.h"
#include "search/hash.h"
#include "support/engine.h"

#if defined(__SANITIZE_ADDRESS__)
// A 4 GB table the machine cannot give must come back as null, for the table
// to fall back to a smaller one, not end the test in the allocator's report.
extern "C" const char* __asan_default_options();
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }
#endif

namespace {

class Hash : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { testInit(); }
    void SetUp() override {
        allocationLimit = std::numeric_limits<uint64_t>::max();
        hashCreate(1);
    }
    void TearDown() override {
        stopFlag = 0;
        ponderSearch = 0;
        parallelStopFlag = 0;
        allocationLimit = std::numeric_limits<uint64_t>::max();
        hashDestroy();
        pawnTableDestroy();
    }
};

const Move someMove = moveMake(MOVE_NORMAL, E2, E4);
const Move otherMove = moveMake(MOVE_PROMOTE_QUEEN, B7, A8);

// A key that maps to slot `index` of the current table, for the n-th time.
uint64_t keyAt(uint64_t index, uint64_t n) { return index + n * hashTable.slotCount; }

struct Found {
    int hit;
    uint64_t info;
};

Found find(uint64_t key) {
    HashEntry* slot;
    Found f;
    f.hit = hashFind(&slot, key, &f.info);
    EXPECT_EQ(slot, hashSlot(key));
    return f;
}

void write(uint64_t key, int depth, int value, int type, Move move) {
    HashEntry* slot;
    uint64_t info;
    hashFind(&slot, key, &info);
    hashWrite(slot, key, depth, value, type, move);
}

TEST_F(Hash, SlotCountsAndEveryKeyMapsInside) {
    struct {
        int megabytes;
        uint64_t slots;
    } cases[] = {{1, 65536}, {64, 4194304}, {100, 6553600}, {4096, 268435456}};
    for (const auto& c : cases) {
        outCaptureBegin();
        hashCreate(c.megabytes);
        std::string said = outCaptureEnd();
        ASSERT_NE(hashTable.entries, nullptr);
        uint64_t slots = c.slots;
        if (c.megabytes == 4096 && !said.empty()) {
            // A machine without 4 GB to give gets the largest half that fits,
            // and is told so.
            uint64_t got = hashTable.slotCount;
            EXPECT_EQ(said, "info string not enough memory for the hash table of 4096 MB, using " +
                                std::to_string(got * sizeof(HashEntry) >> 20) + " MB\n");
            EXPECT_LT(got, c.slots);
            EXPECT_EQ(c.slots % got, 0u);
            EXPECT_EQ(got & (got - 1), 0u);
            slots = got;
        }
        EXPECT_EQ(said.empty(), slots == c.slots) << c.megabytes << ": " << said;
        EXPECT_EQ(hashTable.slotCount, slots) << c.megabytes;
        EXPECT_EQ(hashTable.freeSlots.load(), static_cast<int32_t>(slots));
        EXPECT_EQ(hashTable.generation.load(), 1);
        EXPECT_EQ(hashUsage(), 0);
        const uint64_t keys[] = {0,         1,          slots - 1,          slots,
                                 slots + 1, 1ULL << 32, 0xfedcba9876543210, ~0ULL};
        for (uint64_t key : keys) {
            uint64_t index = static_cast<uint64_t>(hashSlot(key) - hashTable.entries);
            EXPECT_LT(index, slots) << key;
            EXPECT_EQ(index, key % slots) << key;
        }
        // The far end of the table works like the start.
        write(~0ULL, 4, -17, HASH_UPPER, someMove);
        Found f = find(~0ULL);
        EXPECT_EQ(f.hit, 1);
        EXPECT_EQ(hashInfoValue(f.info), -17);
        hashDestroy();
    }
}

TEST_F(Hash, FallsBackToTheLargestTableThatCanBeHad) {
    allocationLimit = 10 << 20;
    outCaptureBegin();
    hashCreate(64);
    std::string said = outCaptureEnd();
    EXPECT_EQ(hashTable.slotCount, 8u << 20 >> 4);  // 64 -> 32 -> 16 -> 8 MB
    EXPECT_EQ(said, "info string not enough memory for the hash table of 64 MB, using 8 MB\n");
    write(12345, 3, 1, HASH_EXACT, someMove);
    EXPECT_EQ(find(12345).hit, 1);

    allocationLimit = 300 << 10;
    outCaptureBegin();
    pawnTableCreate(PAWN_TABLE_MEGABYTES);
    said = outCaptureEnd();
    EXPECT_EQ(pawnTable.slotCount, 8192u);  // 1 MB -> 512 kB -> 256 kB
    EXPECT_EQ(said, "info string not enough memory for the pawn table of 1 MB, using 256 kB\n");
}

TEST_F(Hash, FreshTableMissesAndStoredFieldsComeBack) {
    GRand* g = g_rand_new_with_seed(3);
    for (int i = 0; i < 1000; i++) {
        uint64_t key = uint64_t{g_rand_int(g)} << 32 | g_rand_int(g) | 1;
        EXPECT_EQ(find(key).hit, 0);
    }
    g_rand_free(g);
    EXPECT_EQ(hashUsage(), 0);

    // Values are signed 16-bit: negative ones come back negative.
    struct {
        int depth, value, type;
        Move move;
    } cases[] = {
        {5, -300, HASH_LOWER, someMove}, {1, 300, HASH_UPPER, otherMove},
        {255, 0, HASH_EXACT, 0},         {9, 30000 - 7, HASH_EXACT, someMove},
        {9, 7 - 30000, HASH_UPPER, 0},   {2, -1, HASH_LOWER, CASTLE_E8C8},
        {3, -32768, HASH_EXACT, 0},      {3, 32767, HASH_EXACT, 0},
    };
    uint64_t key = 0x123456789abcdef1;
    for (const auto& c : cases) {
        key += 0x9e3779b97f4a7c15;
        write(key, c.depth, c.value, c.type, c.move);
        Found f = find(key);
        ASSERT_EQ(f.hit, 1);
        EXPECT_EQ(hashInfoDepth(f.info), c.depth);
        EXPECT_EQ(hashInfoValue(f.info), c.value);
        EXPECT_EQ(hashInfoType(f.info), c.type);
        EXPECT_EQ(hashInfoMove(f.info), c.move);
        EXPECT_EQ(hashInfoAge(f.info), 1);
        EXPECT_EQ(find(key ^ 1).hit, 0);
    }
}

TEST_F(Hash, ReplacementByDepthAndAge) {
    const uint64_t a = keyAt(77, 1), b = keyAt(77, 2);
    write(a, 7, 10, HASH_EXACT, someMove);
    // Shallower, same generation: ignored, even for another position.
    write(b, 3, 20, HASH_EXACT, otherMove);
    EXPECT_EQ(find(b).hit, 0);
    EXPECT_EQ(hashInfoDepth(find(a).info), 7);
    write(a, 6, 11, HASH_LOWER, otherMove);
    EXPECT_EQ(hashInfoValue(find(a).info), 10);
    // Equal depth replaces.
    write(b, 7, 20, HASH_UPPER, otherMove);
    EXPECT_EQ(find(a).hit, 0);
    EXPECT_EQ(hashInfoValue(find(b).info), 20);
    // An older generation loses its depth preference.
    hashNewSearch();
    write(a, 3, 30, HASH_EXACT, someMove);
    Found f = find(a);
    ASSERT_EQ(f.hit, 1);
    EXPECT_EQ(hashInfoDepth(f.info), 3);
    EXPECT_EQ(hashInfoAge(f.info), 2);
    EXPECT_EQ(find(b).hit, 0);
}

// Nothing is stored while the search really ends; a ponder search whose time
// has run out (stop set, still pondering) goes on storing.
TEST_F(Hash, NothingIsStoredWhileStopping) {
    struct {
        int stop, pondering, parallelStop;
        bool stored;
    } cases[] = {
        {1, 0, 0, false}, {0, 0, 1, false}, {1, 1, 1, false},
        {1, 1, 0, true},  {0, 1, 0, true},  {0, 0, 0, true},
    };
    int value = 60;
    for (const auto& c : cases) {
        const uint64_t key = keyAt(5, 3), other = keyAt(6, 4);
        write(key, 2, 50, HASH_EXACT, someMove);
        const HashEntry before = *hashSlot(key);
        stopFlag = c.stop;
        ponderSearch = c.pondering;
        parallelStopFlag = c.parallelStop;
        write(key, 9, ++value, HASH_LOWER, otherMove);
        write(other, 9, value, HASH_LOWER, otherMove);
        bool stored = hashSlot(key)->info != before.info;
        hashWriteBestMove(other, 10, value, otherMove);
        stopFlag = ponderSearch = parallelStopFlag = 0;
        EXPECT_EQ(stored, c.stored) << c.stop << c.pondering << c.parallelStop;
        if (c.stored) {
            EXPECT_EQ(hashInfoValue(find(key).info), value);
            EXPECT_EQ(hashInfoDepth(find(other).info), 10);
        } else {
            EXPECT_EQ(hashSlot(key)->lock, before.lock);
        }
        hashClear();
    }
}

TEST_F(Hash, BestMoveReplacesWhateverTheSlotHolds) {
    const uint64_t a = keyAt(9, 1), b = keyAt(9, 2);
    write(a, 20, 1, HASH_LOWER, someMove);
    int32_t used = hashTable.freeSlots.load();
    hashWriteBestMove(b, 2, -40, otherMove);
    EXPECT_EQ(hashTable.freeSlots.load(), used);  // the slot was not empty
    Found f = find(b);
    ASSERT_EQ(f.hit, 1);
    EXPECT_EQ(hashInfoDepth(f.info), 2);
    EXPECT_EQ(hashInfoType(f.info), HASH_EXACT);
    EXPECT_EQ(hashInfoValue(f.info), -40);
    EXPECT_EQ(hashInfoMove(f.info), otherMove);
    hashWriteBestMove(keyAt(10, 1), 2, 0, someMove);
    EXPECT_EQ(hashTable.freeSlots.load(), used - 1);
}

TEST_F(Hash, UsageCountsTheCurrentGeneration) {
    for (uint64_t i = 0; i < hashTable.slotCount; i++) write(keyAt(i, 1), 1, 0, HASH_EXACT, 0);
    EXPECT_EQ(hashUsage(), 1000);
    hashNewSearch();
    EXPECT_EQ(hashUsage(), 0);
    // Found entries join the current generation, once each.
    for (uint64_t i = 0; i < hashTable.slotCount / 2; i++) ASSERT_EQ(find(keyAt(i, 1)).hit, 1);
    for (uint64_t i = 0; i < hashTable.slotCount / 2; i++) ASSERT_EQ(find(keyAt(i, 1)).hit, 1);
    EXPECT_EQ(hashUsage(), 500);
    // Overwriting an old entry counts it too.
    for (uint64_t i = hashTable.slotCount / 2; i < hashTable.slotCount / 4 * 3; i++)
        write(keyAt(i, 2), 1, 0, HASH_EXACT, 0);
    EXPECT_EQ(hashUsage(), 750);
    hashClear();
    EXPECT_EQ(hashUsage(), 0);
    EXPECT_EQ(hashTable.generation.load(), 1);
    EXPECT_EQ(find(keyAt(3, 1)).hit, 0);
    EXPECT_EQ(find(keyAt(hashTable.slotCount / 2, 2)).hit, 0);
}

TEST_F(Hash, GenerationWrapsAt65535) {
    hashTable.generation = 65534;
    write(keyAt(1, 1), 4, -5, HASH_LOWER, someMove);
    hashNewSearch();
    EXPECT_EQ(hashTable.generation.load(), 65535);
    write(keyAt(2, 1), 6, -6, HASH_UPPER, otherMove);
    hashNewSearch();
    EXPECT_EQ(hashTable.generation.load(), 1);
    EXPECT_EQ(hashUsage(), 0);
    for (uint64_t key : {keyAt(1, 1), keyAt(2, 1)}) {
        uint64_t info;
        ASSERT_EQ(hashFindAgain(hashSlot(key), key, &info), 1);
        EXPECT_EQ(hashInfoAge(info), 0);
    }
    uint64_t info;
    ASSERT_EQ(hashFindAgain(hashSlot(keyAt(2, 1)), keyAt(2, 1), &info), 1);
    EXPECT_EQ(hashInfoDepth(info), 6);
    EXPECT_EQ(hashInfoValue(info), -6);
    EXPECT_EQ(hashInfoMove(info), otherMove);
    // Age 0 is older than every generation: a shallower write replaces it.
    write(keyAt(2, 2), 1, 0, HASH_EXACT, 0);
    EXPECT_EQ(find(keyAt(2, 2)).hit, 1);
}

TEST_F(Hash, FindRejuvenatesButFind2DoesNot) {
    const uint64_t key = keyAt(123, 5);
    write(key, 8, 99, HASH_EXACT, someMove);
    hashNewSearch();
    uint64_t info;
    ASSERT_EQ(hashFindAgain(hashSlot(key), key, &info), 1);
    EXPECT_EQ(hashInfoAge(info), 1);
    EXPECT_EQ(hashUsage(), 0);
    HashEntry* slot;
    ASSERT_EQ(hashFind(&slot, key, &info), 1);
    EXPECT_EQ(hashInfoAge(info), 1);  // as read
    ASSERT_EQ(hashFindAgain(slot, key, &info), 1);
    EXPECT_EQ(hashInfoAge(info), 2);
    EXPECT_EQ(hashInfoValue(info), 99);
    EXPECT_EQ(hashTable.freeSlots.load(), static_cast<int32_t>(hashTable.slotCount) - 1);
    // Now of the current generation, the deeper entry holds.
    hashWrite(slot, keyAt(123, 6), 3, 0, HASH_EXACT, 0);
    EXPECT_EQ(find(key).hit, 1);
}

TEST_F(Hash, TornOrForeignSlotsMiss) {
    // The lock of one write with the info of another verifies for neither.
    const uint64_t a = keyAt(40, 2), b = keyAt(40, 3);
    write(a, 5, 5, HASH_EXACT, someMove);
    HashEntry* slot = hashSlot(a);
    const uint64_t lockA = slot->lock;
    write(b, 6, 6, HASH_LOWER, otherMove);
    EXPECT_EQ(find(a).hit, 0);
    slot->lock = lockA;
    EXPECT_EQ(find(a).hit, 0);
    EXPECT_EQ(find(b).hit, 0);
}

TEST_F(Hash, PawnSlotsVerifyTheirKey) {
    pawnTableCreate(PAWN_TABLE_MEGABYTES);
    ASSERT_NE(pawnTable.entries, nullptr);
    EXPECT_EQ(pawnTable.slotCount, 32768u);
    const uint64_t key = 0x5555aaaa12345678ULL;
    PawnHashEntry* slot;
    int score[2] = {99, 99};
    Bitboard passed[2] = {1, 1};
    EXPECT_EQ(pawnTableFind(key, &slot, score, passed), 0);
    EXPECT_EQ(passed[0], 0u);  // the cleared slot's sets
    EXPECT_EQ(slot, pawnTable.entries + key % pawnTable.slotCount);

    const int stored[2] = {-37, 1234};
    const Bitboard sets[2] = {squares("a2 d5"), squares("h7")};
    pawnTableWrite(key, slot, stored, sets);
    ASSERT_EQ(pawnTableFind(key, &slot, score, passed), 1);
    EXPECT_EQ(score[0], -37);
    EXPECT_EQ(score[1], 1234);
    EXPECT_EQ(passed[0], sets[0]);
    EXPECT_EQ(passed[1], sets[1]);

    // Another key of the same slot misses, and still gets the slot's sets.
    PawnHashEntry* other;
    passed[0] = passed[1] = 0;
    EXPECT_EQ(pawnTableFind(key + pawnTable.slotCount, &other, score, passed), 0);
    EXPECT_EQ(other, slot);
    EXPECT_EQ(passed[0], sets[0]);

    // One word changed by another writer: a miss.
    slot->passed[1] ^= 4;
    EXPECT_EQ(pawnTableFind(key, &slot, score, passed), 0);

    // Without a table every probe misses and writes go nowhere.
    pawnTableDestroy();
    EXPECT_EQ(pawnTableFind(key, &slot, score, passed), 0);
    EXPECT_EQ(slot, nullptr);
    pawnTableWrite(key, slot, stored, sets);
}

TEST_F(Hash, DestroyIsHarmlessTwice) {
    hashDestroy();
    EXPECT_EQ(hashTable.entries, nullptr);
    hashDestroy();
    pawnTableDestroy();
    pawnTableDestroy();
    EXPECT_EQ(pawnTable.entries, nullptr);
    EXPECT_EQ(hashUsage(), 0);
}

}  // namespace

namespace {

// The legal move of the position with the given text.
Move legalMove(Position* p, const char* text) {
    Move move = moveFromText(p, text);
    if (!move) ADD_FAILURE() << "no move " << text;
    return move;
}

// Stores the line in the table, each move under the key of the position it is
// played from; the position is taken back to where it was.
void storeLine(Position* p, const std::vector<const char*>& line) {
    int made = 0;
    for (const char* text : line) {
        Move move = legalMove(p, text);
        hashWriteBestMove(p->key, 5, 0, move);
        ASSERT_EQ(moveDo(p, move), 1) << text;
        made++;
    }
    while (made--) moveUndo(p);
}

std::vector<std::string> collected(Position* p) {
    Move pv[15];
    for (Move& m : pv) m = 0xffff;
    hashCollectPV(p, pv);
    std::vector<std::string> texts;
    int n = 0;
    for (; n < 14 && pv[n]; n++) {
        char name[MOVE_TEXT_SIZE];
        moveToString(pv[n], name);
        texts.push_back(name);
    }
    EXPECT_LT(n, 14) << "no closing 0";
    EXPECT_EQ(pv[14], 0xffffu) << "written past 14 entries";
    return texts;
}

void expectSamePosition(const Position* a, const Position* b) {
    EXPECT_EQ(0, memcmp(a, b, offsetof(Position, history)));
    EXPECT_EQ(0, memcmp(a->history, b->history, a->ply * sizeof(HistoryRecord)));
}

using Line = std::vector<std::string>;

TEST_F(Hash, CollectPVFollowsTheStoredLine) {
    Position* p = testPosition("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    ASSERT_EQ(stringMovesDo(p, "d2d4 d7d5"), 1);
    Position before;
    memcpy(&before, p, sizeof before);

    EXPECT_EQ(collected(p), Line{});
    storeLine(p, {"c2c4", "e7e6", "b1c3", "g8f6", "c1g5"});
    EXPECT_EQ(collected(p), (Line{"c2c4", "e7e6", "b1c3", "g8f6", "c1g5"}));
    expectSamePosition(p, &before);

    // A knight dance returns to the first position: 13 moves and no more.
    storeLine(p, {"g1f3", "g8f6", "f3g1", "f6g8"});
    Line cycle = collected(p);
    ASSERT_EQ(cycle.size(), 13u);
    EXPECT_EQ(cycle[0], "g1f3");
    EXPECT_EQ(cycle[12], "g1f3");
    expectSamePosition(p, &before);
    positionFree(p);
}

TEST_F(Hash, CollectPVStopsAtMovesThatDoNotStand) {
    // Black to move is in check from the bishop: the stored e8d8 is no move of
    // the position and e7e6 leaves the king attacked.
    Position* p = testPosition("rnbqkbnr/ppp1pppp/8/1B1p4/4P3/8/PPPP1PPP/RNBQK1NR b KQkq - 1 2");
    Position before;
    memcpy(&before, p, sizeof before);
    for (Move stored : {moveMake(MOVE_NORMAL, E8, D8), moveMake(MOVE_NORMAL, E7, E6),
                        moveMake(MOVE_NORMAL, E3, E4), moveMake(MOVE_CAPTURE, H1, H8)}) {
        write(p->key, 9, 0, HASH_EXACT, stored);
        EXPECT_EQ(collected(p), Line{});
        expectSamePosition(p, &before);
        hashNewSearch();
    }
    // The answer that stands, followed by one that does not.
    storeLine(p, {"c7c6"});
    ASSERT_EQ(moveDo(p, legalMove(p, "c7c6")), 1);
    write(p->key, 9, 0, HASH_EXACT, moveMake(MOVE_NORMAL, B5, B5));
    moveUndo(p);
    EXPECT_EQ(collected(p), Line{"c7c6"});
    expectSamePosition(p, &before);
    positionFree(p);
}

}  // namespace
