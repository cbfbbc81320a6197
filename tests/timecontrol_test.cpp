// Time budgets and the limits derived from "go".
#include <gtest/gtest.h>

#include "frontend/uci.h"
#include "search/search.h"
#include "search/startsearch.h"
#include "support/engine.h"

namespace {

struct Budget {
    SearchParameter parameter;
    int player;
    int pondering;
    int expected;
    const char* what;
};

TEST(TimeControl, Budgets) {
    auto clocks = [](uint32_t wtime, uint32_t btime, uint32_t winc = 0, uint32_t binc = 0,
                     uint32_t movestogo = 40, uint32_t movetime = 0) {
        SearchParameter p{};
        p.wtime = wtime, p.btime = btime, p.winc = winc, p.binc = binc;
        p.movestogo = movestogo, p.movetime = movetime;
        return p;
    };
    Budget cases[] = {
        {clocks(60000, 60000), WHITE, 0, 1950, "equal clocks"},
        {clocks(60000, 60000, 1000, 1000), WHITE, 0, 3217, "with increments"},
        {clocks(60000, 30000), WHITE, 0, 3900, "twice the opponent's time"},
        {clocks(30000, 60000), BLACK, 0, 3900, "black to move"},
        {clocks(10050, 60000, 0, 0, 5), WHITE, 0, 1909, "few moves to go"},
        {clocks(60000, 60000, 0, 0, 40, 1500), WHITE, 0, 1500, "movetime wins"},
        {clocks(60000, 1000), WHITE, 1, 1950, "pondering ignores the ratio"},
        // The ratio rule gives 0 here; the whole clock would lose on time.
        {clocks(1000, 60000), WHITE, 0, 23, "short of time"},
        // A big lead never buys more than half the clock.
        {clocks(60000, 2000), WHITE, 0, 29975, "ratio above half the clock"},
        {clocks(20000, 1000), WHITE, 0, 9975, "ratio capped at half the clock"},
        {clocks(157, 463, 100, 100), WHITE, 0, 53, "low clock with increments"},
        {clocks(0, 0), WHITE, 0, 0, "no clocks: no limit"},
        {clocks(5, 60000), WHITE, 0, 1, "almost no time left"},
    };
    for (const Budget& c : cases) {
        Position p;
        emptyPosition(&p);
        p.player = c.player;
        EXPECT_EQ(getSearchTime(&p, c.parameter, c.pondering), c.expected) << c.what;
    }
}

TEST(TimeControl, LimitsDerivedFromGo) {
    struct {
        SearchParameter parameter;
        int depth;
        uint64_t nodes;
        int time;
    } cases[] = {
        {{.depth = 6}, 6, UINT64_MAX, 0},
        {{.infinite = 1}, 40, UINT64_MAX, 0},
        {{.depth = 6, .infinite = 1}, 40, UINT64_MAX, 0},
        {{.movetime = 1500}, 40, UINT64_MAX, 1500},
        {{.nodes = 50000}, 40, 50000, 0},
        {{.wtime = 60000, .btime = 60000}, 40, UINT64_MAX, 1950},
        {{}, 1, UINT64_MAX, 0},
        {{.depth = 1000}, MAX_SEARCH_DEPTH, UINT64_MAX, 0},
        {{.wtime = 60000, .btime = 60000, .infinite = 1}, 40, UINT64_MAX, 0},
    };
    for (auto& c : cases) {
        Position p;
        emptyPosition(&p);
        SearchLimits limits = searchLimits(&p, c.parameter, false);
        EXPECT_EQ(limits.depth, c.depth);
        EXPECT_EQ(limits.nodes, c.nodes);
        EXPECT_EQ(limits.milliseconds, c.time);
        EXPECT_EQ(limits.infinite, c.parameter.infinite != 0);
    }
}

TEST(TimeControl, GoLimitsAreReadFromAnyWhereInTheText) {
    struct {
        const char* text;
        SearchParameter expected;
        bool ponder;
    } cases[] = {
        {" depth 6\n", {.depth = 6}, false},
        {" wtime 60000 btime 59000 winc 1000 binc 900 movestogo 12",
         {.movestogo = 12, .wtime = 60000, .winc = 1000, .btime = 59000, .binc = 900},
         false},
        {" movestogo 5 binc 7 BTIME 3 WINC 2 WTIME 1",
         {.movestogo = 5, .wtime = 1, .winc = 2, .btime = 3, .binc = 7},
         false},
        {" ponder wtime 1000 btime 1000", {.wtime = 1000, .btime = 1000}, true},
        {" infinite", {.infinite = 1}, false},
        {" mate 3", {.mate = 1}, false},
        {" nodes 18446744073709551615", {.nodes = UINT64_MAX}, false},
        {" nodes 99999999999999999999999", {.nodes = UINT64_MAX}, false},
        {" movetime 4294967296", {.movetime = UINT32_MAX}, false},
        {" wtime -150 btime -3 winc 100", {.winc = 100}, false},
        {" depth x movetime", {}, false},
        {"", {}, false},
    };
    for (const auto& c : cases) {
        SearchParameter p;
        EXPECT_EQ(uciParseGo(c.text, &p), c.ponder) << c.text;
        EXPECT_EQ(p.depth, c.expected.depth) << c.text;
        EXPECT_EQ(p.nodes, c.expected.nodes) << c.text;
        EXPECT_EQ(p.movestogo, c.expected.movestogo) << c.text;
        EXPECT_EQ(p.wtime, c.expected.wtime) << c.text;
        EXPECT_EQ(p.winc, c.expected.winc) << c.text;
        EXPECT_EQ(p.btime, c.expected.btime) << c.text;
        EXPECT_EQ(p.binc, c.expected.binc) << c.text;
        EXPECT_EQ(p.movetime, c.expected.movetime) << c.text;
        EXPECT_EQ(p.infinite, c.expected.infinite) << c.text;
        EXPECT_EQ(p.mate, c.expected.mate) << c.text;
    }
}

}  // namespace
