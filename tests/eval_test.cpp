#include <gtest/gtest.h>

#include <set>
#include <string>

#include "eval/evaluator.h"
#include "eval/pawntable.h"
#include "search/search.h"
#include "support/engine.h"
#include "support/evalpositions.h"

namespace {

class Eval : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        testInit();
        if (!pawnTable.entries) pawnTableCreate(PAWN_TABLE_MEGABYTES);
    }
};

struct Pair {
    int opening, endgame;
    bool operator==(const Pair&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Pair& p) {
    return out << "(" << p.opening << ", " << p.endgame << ")";
}

// The record as evaluate has it before the first additive term.
EvalInfo freshInfo(const Position* p) {
    EvalInfo info{};
    evalMaterial(p, &info);
    return info;
}

// What one term adds to the accumulators.
Pair termChange(void (*term)(const Position*, EvalInfo*), const Position* p, EvalInfo* info) {
    Pair before{info->opening, info->endgame};
    term(p, info);
    return {info->opening - before.opening, info->endgame - before.endgame};
}

TEST_F(Eval, GamePhaseFollowsTheMissingPieceUnits) {
    // Pieces removed from the initial set, by phase units.
    struct {
        const char* fen;
        int phase;
    } cases[] = {
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 0},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/R1BQKBNR w KQkq - 0 1", 11},  // 1
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/1NBQKBNR w Kkq - 0 1", 21},   // 2
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/2BQKBNR w Kkq - 0 1", 32},    // 3
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/2B1KBNR w Kkq - 0 1", 75},    // 7
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/4K3 w kq - 0 1", 128},        // 12
        {"4k3/pppppppp/8/8/8/8/PPPPPPPP/RN2K3 w - - 0 1", 224},            // 21
        {"4k3/8/8/8/8/8/8/N3K3 w - - 0 1", 245},                           // 23
        {"4k3/8/8/8/8/8/4P3/4K3 w - - 0 1", 256},                          // 24
        {"qqqqkqqq/8/8/8/8/8/8/QQQQKQQQ w - - 0 1", 0},                    // far above 24
    };
    for (const auto& c : cases) {
        Position* p = testPosition(c.fen);
        EXPECT_EQ(freshInfo(p).gamePhase, c.phase) << c.fen;
        positionFree(p);
    }
}

TEST_F(Eval, MaterialKingDangerAndBishopPair) {
    struct {
        const char* fen;
        Pair material;
        int dangerWhite, dangerBlack;
    } cases[] = {
        {"4k3/8/8/8/8/8/4P3/4K3 w - - 0 1", {70, 90}, 0, 0},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", {0, 0}, 1, 1},
        // A queen alone is no danger; a queen and any other piece is.
        {"3qk3/8/8/8/8/8/8/4K3 w - - 0 1", {-975, -975}, 0, 0},
        {"3qk1n1/8/8/8/8/8/8/4K3 w - - 0 1", {-1300, -1300}, 1, 0},
        {"4k3/8/8/8/8/8/8/3QKR2 w - - 0 1", {1475, 1475}, 0, 1},
        // Three bishops get the pair bonus once.
        {"4k3/8/8/8/8/8/8/1BBBK3 w - - 0 1", {3 * 325 + 50, 3 * 325 + 50}, 0, 0},
        {"2b1kb2/8/8/8/8/8/8/4K3 w - - 0 1", {-700, -700}, 0, 0},
        // Knights count 325 here, not the move-ordering value.
        {"4k3/8/8/8/8/8/8/1N2K3 w - - 0 1", {325, 325}, 0, 0},
    };
    for (const auto& c : cases) {
        Position* p = testPosition(c.fen);
        EvalInfo info = freshInfo(p);
        EXPECT_EQ((Pair{info.opening, info.endgame}), c.material) << c.fen;
        EXPECT_EQ(info.kingDanger[WHITE], c.dangerWhite) << c.fen;
        EXPECT_EQ(info.kingDanger[BLACK], c.dangerBlack) << c.fen;
        positionFree(p);
    }
}

TEST_F(Eval, TaperTruncatesTowardZero) {
    EvalInfo info{};
    struct {
        int phase, opening, endgame, expected;
    } cases[] = {
        {128, -3, 0, -1},       {128, 3, 0, 1},       {0, -384, 999, -384},
        {256, 999, -384, -384}, {11, -100, 100, -91},  // (-24500 + 1100) / 256 = -91.4
        {64, 0, -1, 0},
    };
    for (const auto& c : cases) {
        info.gamePhase = c.phase;
        info.opening = c.opening;
        info.endgame = c.endgame;
        EXPECT_EQ(taper(info), c.expected) << c.phase << " " << c.opening << " " << c.endgame;
    }
    EXPECT_EQ(quad(10, 70, 4), 28);
    EXPECT_EQ(quad(5, 55, 3), 10);
    EXPECT_EQ(quad(10, 110, 5), 70);
}

TEST_F(Eval, PieceSquareSumsFromFen) {
    // A white knight d4 adds (15, 10), a black one on d5 (its mirror) takes it away.
    Position* base = testPosition("4k3/8/8/8/8/8/8/4K3 w - - 0 1");
    Position* knight = testPosition("4k3/8/8/8/3N4/8/8/4K3 w - - 0 1");
    Position* both = testPosition("4k3/8/8/3n4/3N4/8/8/4K3 w - - 0 1");
    EXPECT_EQ(knight->pvtOpening - base->pvtOpening, 15);
    EXPECT_EQ(knight->pvtEndgame - base->pvtEndgame, 10);
    EXPECT_EQ(both->pvtOpening, base->pvtOpening);
    EXPECT_EQ(both->pvtEndgame, base->pvtEndgame);
    positionFree(base);
    positionFree(knight);
    positionFree(both);
}

TEST_F(Eval, PawnStructureExamples) {
    struct {
        const char* fen;
        Pair score;
        const char* whitePassed;
        const char* blackPassed;
    } cases[] = {
        {"6k1/pppppppp/8/8/8/8/PPPPPPPP/6K1 w - - 0 1", {0, 0}, "", ""},
        {"6k1/8/8/8/1P6/8/P7/6K1 w - - 0 1", {0, 0}, "a2 b4", ""},
        {"6k1/8/4p3/8/3P4/2P5/8/6K1 w - - 0 1", {30, 40}, "c3", ""},
        {"6k1/8/8/3P1P2/4P3/8/8/6K1 w - - 0 1", {0, 0}, "d5 e4 f5", ""},
        {"6k1/8/8/3PpP2/4P3/8/8/6K1 w - - 0 1", {2, 10}, "d5 f5", ""},
        {"6k1/8/3p4/8/4P3/8/8/6K1 w - - 0 1", {0, 0}, "", ""},
        {"6k1/8/8/8/8/4P3/4P3/6K1 w - - 0 1", {-40, -60}, "e3", ""},
        // Black's side of the same shapes.
        {"6k1/4p3/4p3/8/8/8/8/6K1 w - - 0 1", {40, 60}, "", "e6"},
        {"6k1/p7/8/1p6/8/8/8/6K1 w - - 0 1", {0, 0}, "", "a7 b5"},
        // a2 stays backward and open (-16, -10): the black pawn on b5 covers a4
        // after the double step; b5 is isolated and blocked (-10, -20).
        {"6k1/8/8/1p6/1P6/8/P7/6K1 w - - 0 1", {-6, 10}, "", ""},
        // c5 stays backward (b6 covers c6); d6 is passed.
        {"6k1/8/1p1P4/2P5/8/8/8/6K1 w - - 0 1", {4, 10}, "d6", ""},
        // e6 is a candidate on its sixth rank (35, 70); d5 is not backward.
        {"6k1/5p2/4P3/3P4/8/8/8/6K1 w - - 0 1", {55, 90}, "d5", ""},
    };
    for (const auto& c : cases) {
        Position* p = testPosition(c.fen);
        int score[2];
        Bitboard passed[2];
        evalPawnStructure(p, score, passed);
        EXPECT_EQ((Pair{score[0], score[1]}), c.score) << c.fen;
        EXPECT_EQ(passed[WHITE], squares(c.whitePassed)) << c.fen;
        EXPECT_EQ(passed[BLACK], squares(c.blackPassed)) << c.fen;

        // Through the pawn table, on a miss and then on a hit.
        for (int round = 0; round < 2; round++) {
            EvalInfo info = freshInfo(p);
            Pair change = termChange(evalPawns, p, &info);
            EXPECT_EQ(change, c.score) << c.fen << " round " << round;
            EXPECT_EQ(info.passed[WHITE], passed[WHITE]) << c.fen;
            EXPECT_EQ(info.passed[BLACK], passed[BLACK]) << c.fen;
        }
        positionFree(p);
    }
}

TEST_F(Eval, PatternExamples) {
    struct {
        const char* fen;
        Pair change;
    } cases[] = {
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", {0, 0}},
        {"4k3/8/8/8/8/3n4/3P4/2B1K3 w - - 0 1", {-60, 0}},
        {"4k3/8/8/8/8/4N3/4P3/4KB2 w - - 0 1", {-60, 0}},
        {"4kb2/4p3/4p3/8/8/8/8/4K3 w - - 0 1", {60, 0}},
        // Both trapped-bishop shapes on one wing pay once.
        {"1B2k3/B1p5/1p6/8/8/8/8/4K3 w - - 0 1", {-100, -100}},
        {"4k1B1/5p1B/6p1/8/8/8/8/4K3 w - - 0 1", {-100, -100}},
        {"4k3/8/8/8/8/1P6/b7/4K3 w - - 0 1", {100, 100}},
        {"4k3/8/8/8/8/8/2P5/1b2K3 w - - 0 1", {100, 100}},
        {"4k3/8/B7/1p6/8/8/8/4K3 w - - 0 1", {-50, -50}},
        {"4k3/8/7B/6p1/8/8/8/4K3 w - - 0 1", {-50, -50}},
        {"4k3/8/8/8/1P6/b7/8/4K3 w - - 0 1", {50, 50}},
        // Rooks shut in by their king.
        {"4k3/8/8/8/8/8/8/R1K5 w - - 0 1", {-50, 0}},
        {"4k3/8/8/8/8/8/7R/5K2 w - - 0 1", {-50, 0}},
        {"6kr/8/8/8/8/8/8/4K3 w - - 0 1", {50, 0}},
        {"1k6/r7/8/8/8/8/8/4K3 w - - 0 1", {50, 0}},
    };
    for (const auto& c : cases) {
        Position* p = testPosition(c.fen);
        EvalInfo info = freshInfo(p);
        EXPECT_EQ(termChange(evalPatterns, p, &info), c.change) << c.fen;
        positionFree(p);
    }
}

TEST_F(Eval, PieceExamples) {
    struct {
        const char* fen;
        int blackKingDanger;  // -1: as evalMaterial leaves it
        Pair change;
        int attackers, units;  // against the black king
    } cases[] = {
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", -1, {0, 0}, 0, 0},
        {"4k3/8/8/4N3/3P4/8/8/4K3 w - - 0 1", -1, {26, 16}, 1, 1},
        {"4k3/8/8/4N3/3P1P2/8/8/4K3 w - - 0 1", -1, {36, 16}, 1, 1},
        {"4k3/8/8/8/8/8/8/R3K3 w - - 0 1", -1, {16, 22}, 0, 0},
        {"4k3/8/8/8/8/8/P7/R3K3 w - - 0 1", -1, {-18, -26}, 0, 0},
        {"4k3/p7/8/8/8/8/8/R3K3 w - - 0 1", -1, {4, 8}, 0, 0},
        {"3k4/8/8/8/8/8/8/3R3K b - - 0 1", 1, {42, 34}, 1, 2},
        {"3k4/8/8/8/8/8/8/3R3K b - - 0 1", 0, {22, 34}, 1, 2},
        // Next to the king's file: 10 instead of 20.
        {"3k4/8/8/8/8/8/8/2R4K w - - 0 1", 1, {32, 34}, 1, 2},
        {"4k3/8/8/8/8/8/8/3QK3 w - - 0 1", -1, {2, 2}, 1, 4},
        // Knight c5 (16, 16), bishop d5 (35, 35), space 2 (15, 0).
        {"4k3/8/8/2NB4/8/8/8/4K3 w - - 0 1", -1, {66, 51}, 2, 2},
        // Rook on the seventh with the king on the eighth: 14 targets, open.
        {"4k3/R7/8/8/8/8/8/4K3 w - - 0 1", -1, {14 + 10 + 20, 28 + 10 + 40}, 1, 2},
        // Queen on the seventh next to the king: closeness 8.
        {"4k3/3Q4/8/8/8/8/8/4K3 b - - 0 1", -1, {8 + 10, 8 + 20}, 1, 4},
    };
    for (const auto& c : cases) {
        Position* p = testPosition(c.fen);
        EvalInfo info = freshInfo(p);
        if (c.blackKingDanger >= 0) info.kingDanger[BLACK] = c.blackKingDanger;
        EXPECT_EQ(termChange(evalPieces, p, &info), c.change) << c.fen;
        EXPECT_EQ(info.kingAttackers[BLACK], c.attackers) << c.fen;
        EXPECT_EQ(info.kingAttackUnits[BLACK], c.units) << c.fen;
        EXPECT_EQ(info.kingAttackers[WHITE], 0) << c.fen;
        positionFree(p);
    }
}

// Promotions can put sixteen or more pieces in the enemy half; the bonus stays
// at its last entry instead of reading past the table.
TEST_F(Eval, SpaceWeightTakesAnyCount) {
    const int expected[] = {0, 0, 15, 30, 60, 90, 90, 90, 90, 90, 90, 90, 90, 90, 90, 90};
    for (int count = 0; count <= 64; count++)
        EXPECT_EQ(spaceWeight(count), count < 16 ? expected[count] : 90) << count;
    // Sixteen knights on black's side: evaluated without reading past the table.
    Position* p = testPosition("K7/NNNNNNNN/NNNNNNNN/8/8/8/8/7k w - - 0 1");
    Position* mirror = testPosition("7K/8/8/8/8/nnnnnnnn/nnnnnnnn/k7 b - - 0 1");
    EXPECT_EQ(evaluate(p, -30000, 30000, 1), evaluate(mirror, -30000, 30000, 1));
    positionFree(p);
    positionFree(mirror);
}

// Material no game can reach but a record can hold (here up to 30 queens on
// one side): the score stays below the mate scores, which the search reads
// as mates and which a table entry's 16 bits cannot hold.
TEST_F(Eval, ScoresStayBelowTheMateScores) {
    const char* fens[] = {
        "4k3/QQQQQQQQ/RRRRRRRR/QQQQQQQQ/6pP/8/QQQQQQQ1/QQQQKQQQ b - - 0 1",
        "k7/pp6/8/8/QQQQQQQQ/QQQQQQQQ/QQQQQQQQ/QQQQKQQQ w - - 0 1",
        "qqqqkqqq/qqqqqqqq/qqqqqqqq/qqqqqqqq/8/8/PP6/K7 b - - 0 1",
    };
    for (const char* fen : fens) {
        Position* p = testPosition(fen);
        for (int pv = 0; pv <= 1; pv++) {
            int score = evaluate(p, -100, 100, pv);
            EXPECT_LE(score, EVAL_LIMIT) << fen;
            EXPECT_GE(score, -EVAL_LIMIT) << fen;
        }
        positionFree(p);
    }
    static_assert(EVAL_LIMIT < MATE_BOUND);
}

TEST_F(Eval, KingSafetyExamples) {
    struct {
        const char* fen;
        int castling;         // -1: as read from the record
        int whiteKingDanger;  // -1: as evalMaterial leaves it
        int attackers, units;
        int change;
    } cases[] = {
        {"r2qk3/8/8/8/8/8/5PPP/6K1 w - - 0 1", -1, -1, 0, 0, 0},
        {"r2qk3/8/8/8/8/8/5P1P/6K1 w - - 0 1", -1, -1, 0, 0, -72},
        {"r2qk3/8/8/6p1/8/8/5P1P/6K1 w - - 0 1", -1, -1, 0, 0, -92},
        {"r2qk3/8/8/6p1/8/8/5P1P/6K1 w - - 0 1", -1, 0, 0, 0, -10},
        {"r2qk3/8/8/8/8/8/5PPP/4K3 w - - 0 1", CASTLE_WHITE_KING, -1, 0, 0, -59},
        {"r2qk3/8/8/8/8/8/5PPP/4K3 w - - 0 1", -1, -1, 0, 0, -108},
        {"r2qk3/8/8/8/8/6P1/7P/7K w - - 0 1", -1, -1, 0, 0, -11},
        {"r2qk3/8/8/8/8/8/PPP5/2K5 w - - 0 1", -1, -1, 0, 0, -36},
        {"r2qk3/8/8/8/8/8/PPP5/1K6 w - - 0 1", -1, -1, 0, 0, 0},
        {"r2qk3/8/8/8/8/P7/1P6/K7 w - - 0 1", -1, -1, 0, 0, 0},
        // Storm only, shelter off: pawns on their sixth, fifth and fourth rank.
        {"4k3/8/8/8/8/8/8/6K1 w - - 0 1", -1, -1, 3, 5, -75},
        {"4k3/8/8/8/8/8/8/6K1 w - - 0 1", -1, -1, 1, 9, 0},
        {"4k3/8/8/8/8/8/8/6K1 w - - 0 1", -1, -1, 12, 30, -600},
        {"4k3/8/8/8/5p2/6p1/8/6K1 w - - 0 1", -1, -1, 0, 0, -50},
        {"4k3/8/8/8/8/8/7p/6K1 w - - 0 1", -1, -1, 0, 0, 0},
    };
    for (const auto& c : cases) {
        Position* p = testPosition(c.fen);
        if (c.castling >= 0) p->castling = c.castling;
        EvalInfo info = freshInfo(p);
        if (c.whiteKingDanger >= 0) info.kingDanger[WHITE] = c.whiteKingDanger;
        info.kingAttackers[WHITE] = c.attackers;
        info.kingAttackUnits[WHITE] = c.units;
        Pair change = termChange(evalKing, p, &info);
        EXPECT_EQ(change, (Pair{c.change, 0})) << c.fen;
        positionFree(p);
    }

    // The initial position: both kings pay 11.
    Position* start = testPosition("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    EXPECT_EQ(shelterSquare(start, E1, WHITE), 11);
    EXPECT_EQ(shelterSquare(start, E8, BLACK), 11);
    EvalInfo info = freshInfo(start);
    EXPECT_EQ(termChange(evalKing, start, &info), (Pair{0, 0}));
    positionFree(start);
}

TEST_F(Eval, ShelterAndStormFiles) {
    Position* p = testPosition("4k3/1p6/2p5/3P2p1/4P3/5P1P/1P4P1/4K3 w - - 0 1");
    struct {
        int file, rank, colour, shelter;
    } shelter[] = {
        {1, 0, WHITE, 0},  {5, 0, WHITE, 11}, {4, 0, WHITE, 20}, {3, 0, WHITE, 27},
        {7, 0, WHITE, 11}, {0, 0, WHITE, 36}, {6, 2, WHITE, 36}, {1, 7, BLACK, 0},
        {2, 7, BLACK, 11}, {6, 7, BLACK, 20}, {3, 7, BLACK, 36}, {6, 3, BLACK, 36},
    };
    for (const auto& c : shelter)
        EXPECT_EQ(shelterFile(p, c.file, c.rank, c.colour), c.shelter)
            << c.file << " " << c.rank << " " << c.colour;
    // White king: black g5 is on its fourth rank. Black king: white d5 on its
    // fifth, e4 on its fourth, f3 on its third.
    int storm[2][8] = {{0, 0, 0, 0, 0, 0, 10, 0}, {0, 0, 0, 20, 10, 0, 0, 0}};
    for (int c = WHITE; c <= BLACK; c++)
        for (int f = 0; f < 8; f++) EXPECT_EQ(stormFile(p, f, c), storm[c][f]) << c << " " << f;
    positionFree(p);
}

TEST_F(Eval, PassedPawnExamples) {
    struct {
        const char* fen;
        Pair change;
    } cases[] = {
        {"4k3/8/8/4P3/8/8/8/4K3 w - - 0 1", {28, 61}},
        {"k7/8/8/4P3/8/8/8/4K3 w - - 0 1", {28, 313}},
        {"k7/8/8/4P3/8/8/8/4K3 b - - 0 1", {28, 73}},
        {"k7/7r/8/4P3/8/8/8/4K3 w - - 0 1", {28, 73}},
        {"k7/4N3/8/4P3/8/8/8/4K3 w - - 0 1", {28, 73}},
        {"8/4kPK1/8/8/8/8/8/8 b - - 0 1", {70, 955}},
        {"8/4kP2/6K1/8/8/8/8/8 b - - 0 1", {70, 150}},
        {"K7/P7/8/8/8/8/8/2k5 w - - 0 1", {70, 280}},
        {"1K6/P7/8/8/8/8/8/2k5 w - - 0 1", {70, 1075}},
        {"7k/8/8/8/8/8/P7/K7 w - - 0 1", {10, 20}},
        {"3k4/8/8/8/3p4/8/8/7K w - - 0 1", {-28, -73}},
        // The second-rank double step: a2 counts as a3, four moves against a
        // king five steps from a8.
        {"7k/8/8/8/8/8/P7/K7 b - - 0 1", {10, 20}},
        // Unstoppable on its fourth rank: delta 920 - 20 + 80, scaled by 26.
        {"7K/8/8/8/3P4/8/8/k7 b - - 0 1", {16, 120}},
    };
    for (const auto& c : cases) {
        Position* p = testPosition(c.fen);
        EvalInfo info = freshInfo(p);
        evalPawns(p, &info);
        EXPECT_EQ(termChange(evalPasser, p, &info), c.change) << c.fen;
        positionFree(p);
    }
}

TEST_F(Eval, PasserHelpers) {
    struct {
        const char* fen;
        int sq, colour, unstoppable, escorted;
    } cases[] = {
        {"k7/8/8/4P3/8/8/8/4K3 w - - 0 1", E5, WHITE, 1, 0},
        {"k7/8/8/4P3/8/8/8/4K3 b - - 0 1", E5, WHITE, 0, 0},
        {"8/6k1/8/8/8/8/P7/K7 w - - 0 1", A2, WHITE, 1, 0},  // as from a3: 5 < 6
        {"8/6k1/8/8/8/8/P7/K7 b - - 0 1", A2, WHITE, 0, 0},
        {"8/4kPK1/8/8/8/8/8/8 b - - 0 1", F7, WHITE, 0, 1},
        {"K7/P7/8/8/8/8/8/2k5 w - - 0 1", A7, WHITE, 0, 0},
        {"1K6/P7/8/8/8/8/8/2k5 w - - 0 1", A7, WHITE, 1, 1},
        {"k6K/7P/8/8/8/8/8/8 w - - 0 1", H7, WHITE, 0, 0},
        {"7K/8/8/8/8/8/1kp5/8 w - - 0 1", C2, BLACK, 1, 1},
        {"8/8/8/8/8/8/6p1/1K4k1 w - - 0 1", G2, BLACK, 0, 1},
    };
    for (const auto& c : cases) {
        Position* p = testPosition(c.fen);
        EXPECT_EQ(unstoppablePasser(p, c.sq, c.colour), c.unstoppable) << c.fen;
        EXPECT_EQ(kingPasser(p, c.sq, c.colour), c.escorted) << c.fen;
        positionFree(p);
    }
    EXPECT_EQ(pawnAttDist(E5, E1, WHITE), 5);
    EXPECT_EQ(pawnDefDist(E5, A8, WHITE), 4);
    EXPECT_EQ(pawnDefDist(D4, H1, BLACK), 4);
}

TEST_F(Eval, WholeEvaluationExamples) {
    struct {
        const char* fen;
        int score;
    } cases[] = {
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 20},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1", 20},
        // Material 90, piece squares 4, isolated open pawn -20, tempo 10, passer 61.
        {"4k3/8/8/4P3/8/8/8/4K3 w - - 0 1", 145},
        {"4k3/8/8/4P3/8/8/8/4K3 b - - 0 1", -125},
        // Bare kings on mirrored squares: the tempo alone.
        {"4k3/8/8/8/8/8/8/4K3 w - - 0 1", 10},
    };
    for (const auto& c : cases) {
        Position* p = testPosition(c.fen);
        EXPECT_EQ(evaluate(p, -30000, 30000, 1), c.score) << c.fen;
        EXPECT_EQ(evaluate(p, -30000, 30000, 0), c.score) << c.fen;
        positionFree(p);
    }
}

// The score before the lazy test, as evaluate computes it.
int cheapScore(const Position* p) {
    EvalInfo info = freshInfo(p);
    info.opening += p->pvtOpening;
    info.endgame += p->pvtEndgame;
    evalPawns(p, &info);
    int tempo = p->player == WHITE ? 1 : -1;
    info.opening += 20 * tempo;
    info.endgame += 10 * tempo;
    evalPatterns(p, &info);
    return p->player == WHITE ? taper(info) : -taper(info);
}

TEST_F(Eval, LazyEvaluationAtTheWindowEdges) {
    // A knight missing (phase 11) and pieces whose mobility moves the full score.
    const char* fens[] = {
        "r1bqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1",
        "r2qk2r/ppp2ppp/2n5/3pp3/1b1P2b1/2N1PN2/PP3PPP/R2QKB1R w KQkq - 0 8",
    };
    for (const char* fen : fens) {
        Position* p = testPosition(fen);
        int s = cheapScore(p);
        int full = evaluate(p, -30000, 30000, 1);
        ASSERT_NE(s, full) << fen;
        // Failing high: s - 200 >= beta.
        EXPECT_EQ(evaluate(p, s - 260, s - 200, 0), s) << fen;
        EXPECT_EQ(evaluate(p, s - 260, s - 199, 0), full) << fen;
        // Failing low: s + 200 <= alpha.
        EXPECT_EQ(evaluate(p, s + 200, s + 260, 0), s) << fen;
        EXPECT_EQ(evaluate(p, s + 199, s + 260, 0), full) << fen;
        // A principal-variation node always gets everything.
        EXPECT_EQ(evaluate(p, s - 260, s - 200, 1), full) << fen;
        EXPECT_EQ(evaluate(p, s + 200, s + 260, 1), full) << fen;
        positionFree(p);
    }
    // With every piece on the board the lazy test is never made.
    Position* start = testPosition("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    EXPECT_EQ(evaluate(start, 10000, 10001, 0), 20);
    positionFree(start);
}

// A position and its colour-flipped mirror evaluate the same for the side to
// move, with and without lazy evaluation, through the pawn table and without.
void expectSymmetric(const std::string& fen) {
    Position* p = testPosition(fen.c_str());
    std::string mirrored = testMirroredFen(p);
    Position* q = testPosition(mirrored.c_str());
    const int windows[][2] = {{-30000, 30000}, {-1, 1},    {-300, -100}, {100, 300},
                              {-900, -800},    {500, 520}, {-50, 50}};
    EXPECT_EQ(evaluate(p, -30000, 30000, 1), evaluate(q, -30000, 30000, 1))
        << fen << " / " << mirrored;
    for (const auto& w : windows)
        EXPECT_EQ(evaluate(p, w[0], w[1], 0), evaluate(q, w[0], w[1], 0))
            << fen << " / " << mirrored << " window " << w[0] << " " << w[1];
    positionFree(p);
    positionFree(q);
}

TEST_F(Eval, ColourFlippedMirrorsScoreTheSame) {
    for (const auto& fen : testGamePositions()) expectSymmetric(fen);
    GRand* g = g_rand_new_with_seed(17);
    for (int i = 0; i < 600; i++) expectSymmetric(testRandomFen(g));
    // Random games from the start and from the game positions.
    for (int game = 0; game < 40; game++) {
        const auto& games = testGamePositions();
        const std::string& from = game % 2 ? games[game % games.size()] : games[0];
        for (const auto& fen : testPlayoutFens(g, from, 120, 3)) expectSymmetric(fen);
    }
    g_rand_free(g);
}

TEST_F(Eval, MirroredFenRoundTrip) {
    for (const auto& fen : testGamePositions()) {
        Position* p = testPosition(fen.c_str());
        Position* q = testPosition(testMirroredFen(p).c_str());
        EXPECT_EQ(testMirroredFen(q), testFen(p));
        positionFree(p);
        positionFree(q);
    }
}

// Every structure the table hands back equals a fresh computation, whatever
// was stored before, colour-exchanged structures included.
TEST_F(Eval, PawnTableAgreesWithFreshComputation) {
    GRand* g = g_rand_new_with_seed(5);
    std::vector<std::string> fens = testGamePositions();
    for (int i = 0; i < 400; i++) fens.push_back(testRandomFen(g));
    g_rand_free(g);
    for (int round = 0; round < 2; round++) {
        for (const auto& fen : fens) {
            Position* p = testPosition(fen.c_str());
            // The same squares with the colours exchanged, kings kept.
            Position* swapped = positionNew();
            emptyPosition(swapped);
            for (int sq = 0; sq < 64; sq++) {
                int piece = p->board[sq];
                if (piece == WHITE_PAWN || piece == BLACK_PAWN) piece ^= 1;
                if (piece) addPiece(swapped, piece, sq);
            }
            for (const Position* x :
                 {static_cast<const Position*>(p), static_cast<const Position*>(swapped)}) {
                int score[2];
                Bitboard passed[2];
                evalPawnStructure(x, score, passed);
                EvalInfo info = freshInfo(x);
                Pair change = termChange(evalPawns, x, &info);
                EXPECT_EQ(change, (Pair{score[0], score[1]})) << fen;
                EXPECT_EQ(info.passed[WHITE], passed[WHITE]) << fen;
                EXPECT_EQ(info.passed[BLACK], passed[BLACK]) << fen;
            }
            bool hasPawns = p->bitboard[WHITE_PAWN] | p->bitboard[BLACK_PAWN];
            if (hasPawns) {
                EXPECT_NE(pawnKey(p), pawnKey(swapped)) << fen;
            }
            positionFree(p);
            positionFree(swapped);
        }
    }
}

// Pawns on the seventh rank changed only the top bits of the multiplied sets,
// so structures that differ there alone often shared a key (one of every few
// thousand pairs), and the table handed one structure's score to the other.
TEST_F(Eval, StructuresDifferingOnTheSeventhRankGetTheirOwnKeys) {
    std::set<uint64_t> keys;
    int structures = 0;
    const Bitboard below = squares("a4 b2 c2 d3 e4 f2 g2 h2"), belowBlack = squares("b4 d5 h5");
    for (int white = 0; white < 256; white++)
        for (int black = 0; black < 256; black++) {
            if (white & black) continue;
            structures++;
            keys.insert(pawnKey(below | Bitboard(white) << 48, belowBlack | Bitboard(black) << 48));
        }
    EXPECT_EQ(static_cast<int>(keys.size()), structures);

    // Two structures a run of the core fuzzer found sharing a key: each reads
    // back its own score, whichever was stored first.
    const char* fens[] = {"R3k3/pppppPPP/8/8/Pp6/8/1RRRRRRR/4K3 b - - 0 1",
                          "knbq1bnr/pppppp1p/8/8/Pp6/1K3BBB/8/RNBQ1BBB b - - 0 1"};
    for (int order = 0; order < 2; order++)
        for (int i = 0; i < 2; i++) {
            Position* p = testPosition(fens[i ^ order]);
            int score[2];
            Bitboard passed[2];
            evalPawnStructure(p, score, passed);
            EvalInfo info = freshInfo(p);
            EXPECT_EQ(termChange(evalPawns, p, &info), (Pair{score[0], score[1]}))
                << fens[i ^ order];
            EXPECT_EQ(info.passed[WHITE], passed[WHITE]);
            EXPECT_EQ(info.passed[BLACK], passed[BLACK]);
            positionFree(p);
        }
}

TEST_F(Eval, PawnKeysSpreadOverTheSlots) {
    // Structures that agree on a1..g2 and differ further up must still land
    // in different slots.
    GRand* g = g_rand_new_with_seed(9);
    std::set<uint64_t> keys, slots;
    const Bitboard low = squares("a2 b2 c2 f2 g2");
    const int n = 2000;
    for (int i = 0; i < n; i++) {
        Bitboard white = low, black = 0;
        for (int k = 0; k < 6; k++) {
            white |= bitOf(g_rand_int_range(g, A3, H7 + 1));
            black |= bitOf(g_rand_int_range(g, A3, H7 + 1));
        }
        black &= ~white;
        uint64_t key = pawnKey(white, black);
        keys.insert(key);
        slots.insert(key % pawnTable.slotCount);
        EXPECT_NE(key, pawnKey(black, white));
    }
    g_rand_free(g);
    EXPECT_GT(keys.size(), n * 99 / 100);
    EXPECT_GT(slots.size(), n * 9 / 10);  // about 60 collisions expected in 32768 slots
    EXPECT_NE(pawnKey(0, 0), 0u);
}

}  // namespace
