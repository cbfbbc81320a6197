// Move generation, making and unmaking, the picker, the history table and the
// move texts of the position command.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/output.h"
#include "frontend/movetext.h"
#include "moves/movedo.h"
#include "moves/movegenerator.h"
#include "moves/picker.h"
#include "search/history.h"
#include "search/root.h"
#include "support/boardcheck.h"
#include "support/engine.h"
#include "support/reference.h"

namespace {

class MovesTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { testInit(); }
    void SetUp() override { historyClear(); }
};

std::string text(Move move) { return testMoveText(move); }

std::vector<std::string> texts(const MoveList& list) {
    std::vector<std::string> out;
    for (uint32_t i = 0; i < list.count; i++) out.push_back(text(list.moves[i]));
    return out;
}

std::vector<std::string> split(const std::string& words) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < words.size()) {
        size_t end = words.find(' ', start);
        if (end == std::string::npos) end = words.size();
        if (end > start) out.push_back(words.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

// The pseudo-legal move of the position with this text (0 if none).
Move findMove(const Position* p, const std::string& wanted) {
    MoveList list;
    tacticalMovesGenerate(p, &list);
    for (uint32_t i = 0; i < list.count; i++)
        if (text(list.moves[i]) == wanted) return list.moves[i];
    quietMovesGenerate(p, &list);
    for (uint32_t i = 0; i < list.count; i++)
        if (text(list.moves[i]) == wanted) return list.moves[i];
    return MOVE_NONE;
}

// Everything but the history stack, and the records below ply.
void expectSamePosition(const Position* a, const Position* b, const std::string& context) {
    EXPECT_EQ(0, memcmp(a, b, offsetof(Position, history))) << context;
    EXPECT_EQ(a->ply, b->ply) << context;
    for (int i = 0; i < a->ply && i < HISTORY_SIZE; i++)
        EXPECT_EQ(0, memcmp(&a->history[i], &b->history[i], sizeof(HistoryRecord)))
            << context << " record " << i;
}

// The incremental fields against a recomputation from the board.
void expectIncrementalFieldsRight(const Position* p, const std::string& context) {
    EXPECT_EQ(boardSumsMismatch(p), "") << context;
    positionIsOk(p);
}

const char* const VARIED[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
    "n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1",
    "8/8/3p4/KPp4r/8/8/8/7k w - c6 0 1",
    "8/8/8/8/k2Pp2Q/8/8/3K4 b - d3 0 1",
    "r3k2r/8/8/b7/8/8/8/R3K2R w KQkq - 0 1",
    "r3k3/1P6/8/8/8/8/6p1/4K2R w Kq - 0 1",
};

// Every legal move, made and unmade: the position comes back bit for bit and
// the incremental fields after the move match a recomputation. The legal
// moves and the check flag agree with the reference walker.
void checkEveryMove(Position* p, const std::string& context) {
    Position before;
    memcpy(&before, p, sizeof before);
    ReferenceBoard reference = referenceFrom(p);
    std::vector<std::string> legal;
    MoveList list;
    for (int stage = 0; stage < 2; stage++) {
        if (stage == 0)
            tacticalMovesGenerate(p, &list);
        else
            quietMovesGenerate(p, &list);
        for (uint32_t i = 0; i < list.count; i++) {
            Move move = list.moves[i];
            std::string where = context + " " + text(move);
            if (moveDo(p, move)) {
                legal.push_back(text(move));
                EXPECT_EQ(p->ply, before.ply + 1) << where;
                EXPECT_EQ(p->history[before.ply].move, move) << where;
                expectIncrementalFieldsRight(p, where);
                EXPECT_EQ(p->check, positionIsInCheck(p)) << where;
                moveUndo(p);
            }
            expectSamePosition(p, &before, where);
        }
    }
    std::sort(legal.begin(), legal.end());
    EXPECT_EQ(legal, referenceMoves(reference)) << context;
    EXPECT_EQ(p->check != 0, referenceInCheck(reference)) << context;
}

TEST_F(MovesTest, EveryMoveOfVariedPositionsUndoesExactly) {
    for (const char* fen : VARIED) {
        Position* p = testPosition(fen);
        checkEveryMove(p, fen);
        positionFree(p);
    }
}

TEST_F(MovesTest, RandomPlayoutsUndoExactly) {
    std::mt19937 random(12345);
#ifdef KORVAN_SANITIZED
    const int games = 3, plies = 60;
#else
    const int games = 12, plies = 160;
#endif
    for (const char* fen : VARIED) {
        for (int game = 0; game < games; game++) {
            Position* p = testPosition(fen);
            for (int ply = 0; ply < plies; ply++) {
                std::string context = std::string(fen) + " game " + std::to_string(game) + " ply " +
                                      std::to_string(ply);
                checkEveryMove(p, context);
                MoveList legal;
                legalMovesGenerate(p, &legal);
                if (legal.count == 0) break;
                ASSERT_EQ(moveDo(p, legal.moves[random() % legal.count]), 1) << context;
            }
            // Taking the whole game back leads to the start again.
            Position* start = testPosition(fen);
            while (p->ply > 0) moveUndo(p);
            expectSamePosition(p, start, fen);
            positionFree(start);
            positionFree(p);
        }
    }
}

struct IllegalCase {
    const char* fen;
    const char* move;
    const char* why;
};

TEST_F(MovesTest, IllegalMovesAreRefusedAndChangeNothing) {
    const IllegalCase cases[] = {
        {"4k3/4r3/8/8/8/8/4N3/4K3 w - - 0 1", "e2c3", "pinned knight"},
        {"4k3/4r3/8/8/8/3p4/4B3/4K3 w - - 0 1", "e2d3", "pinned bishop capturing"},
        {"8/8/8/3k4/8/3K4/8/8 w - - 0 1", "d3d4", "king next to king"},
        {"8/8/8/3k4/8/4K3/8/8 b - - 0 1", "d5e4", "black king next to king"},
        {"r3k2r/8/8/b7/8/8/8/R3K2R w KQkq - 0 1", "e1g1", "castling out of check"},
        {"r3k2r/8/8/b7/8/8/8/R3K2R w KQkq - 0 1", "e1c1", "castling out of check, queen side"},
        {"r3k2r/8/8/8/8/8/5r2/R3K2R w KQkq - 0 1", "e1g1", "castling through check"},
        {"4k3/8/8/8/8/8/6r1/4K2R w K - 0 1", "e1g1", "castling into check"},
        {"r3k2r/8/8/8/8/8/8/3RK1R1 b kq - 0 1", "e8g8", "black castling into check"},
        {"r3k2r/8/8/8/8/8/8/3RK1R1 b kq - 0 1", "e8c8", "black castling through check"},
        {"4k3/8/8/3pP3/8/8/5r2/4K2R w K d6 0 1", "e1g1",
         "castling through check, en passant pending"},
        {"8/8/8/8/k2Pp2Q/8/8/3K4 b - d3 0 1", "e4d3", "en passant exposing the king"},
        {"8/8/3p4/KPp4r/8/8/8/7k w - c6 0 1", "b5c6",
         "en passant exposing the king along the rank"},
        {"4k3/8/8/8/8/8/3p4/r3K3 w - - 0 1", "e1f1", "king stays on the attacked rank"},
    };
    for (const IllegalCase& c : cases) {
        Position* p = testPosition(c.fen);
        Move move = findMove(p, c.move);
        ASSERT_NE(move, MOVE_NONE) << c.why;
        Position before;
        memcpy(&before, p, sizeof before);
        EXPECT_EQ(moveDo(p, move), 0) << c.why;
        expectSamePosition(p, &before, c.why);
        positionFree(p);
    }
}

// Fields after one move; -1 = not checked.
struct MoveCase {
    const char* fen;
    const char* move;
    int check, extension, enPassant, castling, capture, staticMoves;
    const char* what;
};

TEST_F(MovesTest, MoveFlagsRightsAndEnPassant) {
    const MoveCase cases[] = {
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 5 1", "e2e4", 0, 0, 0, 15, 0, 0,
         "double step without a pawn beside"},
        {"4k3/8/8/8/3p4/8/4P3/4K3 w - - 3 1", "e2e4", 0, 0, E3, 0, 0, 0,
         "double step beside a pawn"},
        {"4k3/8/8/8/1p6/8/P7/4K3 w - - 0 1", "a2a4", 0, 0, A3, 0, 0, 0, "a-pawn steps beside b4"},
        {"4k3/8/8/8/7p/8/P7/4K3 w - - 0 1", "a2a4", 0, 0, 0, 0, 0, 0,
         "a-pawn steps, the pawn is on h4"},
        {"4k3/8/8/1p6/p7/8/8/4K3 w - - 0 1", "e1d1", 0, 0, 0, 0, 0, 1, "quiet king move"},
        {"4k3/p7/8/1P6/8/8/8/4K3 b - - 0 1", "a7a5", 0, 0, A6, 0, 0, 0,
         "black double step beside b5"},
        {"4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1", "e1g1", 0, 0, 0, 0, 0, 0, "castling king side"},
        {"r3k2r/8/8/8/8/8/8/4K3 b kq - 0 1", "e8c8", 0, 0, 0, 0, 0, 0, "black castling queen side"},
        {"r3k2r/8/8/8/8/8/8/4K1R1 b kq - 0 1", "e8c8", 0, 0, 0, 0, 0, 0,
         "queen side while g8 is attacked"},
        {"r3k2r/8/6N1/8/8/8/8/R3K2R w KQkq - 0 1", "g6e5", 0, 0, 0, 15, 0, 1, "knight leaves"},
        {"r3k2r/8/6N1/8/8/8/8/R3K2R w KQkq - 0 1", "g6h8", 0, 0, 0, 11, BLACK_ROOK, 0,
         "knight takes h8 rook"},
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "a1b1", 0, 0, 0, 13, 0, 1, "rook leaves a1"},
        {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "a1a8", 1, 1, 0, 5, BLACK_ROOK, 0,
         "rook takes rook"},
        {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", "h8h1", 1, 1, 0, 10, WHITE_ROOK, 0,
         "black takes h1"},
        {"4k3/8/3P4/8/8/8/8/4K3 w - - 0 1", "d6d7", 1, 1, 0, 0, 0, 0,
         "pawn to the seventh with check"},
        {"3k4/8/7P/8/8/8/8/4K3 w - - 0 1", "h6h7", 0, 1, 0, 0, 0, 0, "pawn to the seventh"},
        {"4k3/8/8/8/8/7p/8/4K3 b - - 0 1", "h3h2", 0, 1, 0, 0, 0, 0, "black pawn to its seventh"},
        {"4k3/8/8/8/8/8/6p1/4K3 b - - 0 1", "g2g1q", 1, 1, 0, 0, 0, 0, "promotion with check"},
        {"3k4/6P1/8/8/8/8/8/4K3 w - - 0 1", "g7g8n", 0, 0, 0, 0, 0, 0, "quiet promotion, no check"},
        {"r3k3/1P6/8/8/8/8/8/4K3 w q - 0 1", "b7a8n", 0, 1, 0, 0, BLACK_ROOK, 0,
         "capturing promotion"},
        {"4k3/8/8/8/8/8/8/R3K1N1 w Q - 0 1", "g1f3", 0, 0, 0, 2, 0, 1, "knight move keeps rights"},
        {"4k3/8/8/8/8/8/4p3/3RK3 b - - 0 1", "e2d1q", 1, 1, 0, 0, WHITE_ROOK, 0,
         "promotion takes next to king"},
        {"4k3/8/8/8/8/8/8/4K2R w K - 0 1", "h1h8", 1, 1, 0, 0, 0, 1, "rook check"},
        {"4k3/8/8/8/8/8/8/4KN2 w - - 0 1", "f1d2", 0, 0, 0, 0, 0, 1, "quiet knight"},
        {"4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", "e5d6", 0, 0, 0, 0, 0, 0, "en passant"},
    };
    for (const MoveCase& c : cases) {
        Position* p = testPosition(c.fen);
        Move move = findMove(p, c.move);
        ASSERT_NE(move, MOVE_NONE) << c.what;
        int player = p->player;
        ASSERT_EQ(moveDo(p, move), 1) << c.what;
        EXPECT_EQ(p->check, c.check) << c.what;
        EXPECT_EQ(p->extension, c.extension) << c.what;
        EXPECT_EQ(p->enPassant, c.enPassant) << c.what;
        EXPECT_EQ(p->castling, c.castling) << c.what;
        EXPECT_EQ(p->capture, c.capture) << c.what;
        EXPECT_EQ(p->staticMoves, c.staticMoves) << c.what;
        EXPECT_EQ(p->player, player ^ 1) << c.what;
        EXPECT_EQ(p->ply, 1) << c.what;
        expectIncrementalFieldsRight(p, c.what);
        positionFree(p);
    }
}

TEST_F(MovesTest, KeysOfPawnStepsAndCastling) {
    Position* p = positionNew();
    uint64_t key = p->key;
    ASSERT_EQ(moveDo(p, findMove(p, "e2e4")), 1);
    EXPECT_EQ(p->key,
              key ^ zobrist.square[WHITE_PAWN][E2] ^ zobrist.square[WHITE_PAWN][E4] ^ zobrist.turn);
    positionFree(p);

    // The en-passant key goes in with the step and out with the next move.
    p = testPosition("4k3/8/8/8/3p4/8/4P3/4K3 w - - 0 1");
    key = p->key;
    ASSERT_EQ(moveDo(p, findMove(p, "e2e4")), 1);
    EXPECT_EQ(p->key, key ^ zobrist.square[WHITE_PAWN][E2] ^ zobrist.square[WHITE_PAWN][E4] ^
                          zobrist.turn ^ zobrist.enPassant[4]);
    key = p->key;
    ASSERT_EQ(moveDo(p, findMove(p, "e8e7")), 1);
    EXPECT_EQ(p->key, key ^ zobrist.square[BLACK_KING][E8] ^ zobrist.square[BLACK_KING][E7] ^
                          zobrist.turn ^ zobrist.enPassant[4]);
    EXPECT_EQ(p->enPassant, 0);
    positionFree(p);

    p = testPosition("4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1");
    key = p->key;
    ASSERT_EQ(moveDo(p, CASTLE_E1G1), 1);
    EXPECT_EQ(p->key, key ^ zobrist.square[WHITE_KING][E1] ^ zobrist.square[WHITE_KING][G1] ^
                          zobrist.square[WHITE_ROOK][H1] ^ zobrist.square[WHITE_ROOK][F1] ^
                          zobrist.castle[0] ^ zobrist.castle[1] ^ zobrist.turn);
    positionFree(p);

    // A refused castling keeps the pending en-passant term in the key.
    p = testPosition("4k3/8/8/3pP3/8/8/5r2/4K2R w K d6 0 1");
    key = p->key;
    EXPECT_EQ(moveDo(p, CASTLE_E1G1), 0);
    EXPECT_EQ(p->key, key);
    EXPECT_EQ(p->enPassant, D6);
    positionFree(p);
}

TEST_F(MovesTest, MaterialAndPhaseOfCapturesAndPromotions) {
    Position* p = testPosition("r3k3/1P6/8/8/8/8/8/4K3 w q - 0 1");
    int white = p->material[WHITE], black = p->material[BLACK], phase = p->phase;
    ASSERT_EQ(moveDo(p, findMove(p, "b7a8q")), 1);
    EXPECT_EQ(p->material[WHITE], white + 885);
    EXPECT_EQ(p->material[BLACK], black - 500);
    EXPECT_EQ(p->phase, phase + 4 - 2);
    EXPECT_EQ(p->capture, BLACK_ROOK);
    EXPECT_EQ(p->castling, 0);
    moveUndo(p);
    EXPECT_EQ(p->board[A8], BLACK_ROOK);
    EXPECT_EQ(p->board[B7], WHITE_PAWN);
    positionFree(p);

    // En passant: nothing recorded as captured, the pawn behind the square goes.
    p = testPosition("4k3/8/8/8/3pP3/8/8/4K3 b - e3 0 1");
    white = p->material[WHITE];
    ASSERT_EQ(moveDo(p, findMove(p, "d4e3")), 1);
    EXPECT_EQ(p->capture, EMPTY);
    EXPECT_EQ(p->board[E4], EMPTY);
    EXPECT_EQ(p->board[E3], BLACK_PAWN);
    EXPECT_EQ(p->material[WHITE], white - 90);
    moveUndo(p);
    EXPECT_EQ(p->board[E4], WHITE_PAWN);
    EXPECT_EQ(p->board[E3], EMPTY);
    EXPECT_EQ(p->capture, EMPTY);
    positionFree(p);
}

TEST_F(MovesTest, NullMove) {
    Position* p = testPosition("4k3/8/8/3pP3/8/8/8/4K3 w - d6 7 1");
    p->check = 1;  // the null move leaves the flag alone
    Position before;
    memcpy(&before, p, sizeof before);
    ASSERT_EQ(moveDo(p, MOVE_WORD_NULL), 1);
    EXPECT_EQ(p->player, BLACK);
    EXPECT_EQ(p->staticMoves, 0);
    EXPECT_EQ(p->enPassant, 0);
    EXPECT_EQ(p->check, 1);
    EXPECT_EQ(p->key, before.key ^ zobrist.turn ^ zobrist.enPassant[3]);
    EXPECT_EQ(0, memcmp(p->board, before.board, sizeof p->board));
    moveUndo(p);
    expectSamePosition(p, &before, "null move");
    positionFree(p);
}

TEST_F(MovesTest, TacticalGenerationOrderAndScores) {
    struct Case {
        const char* fen;
        const char* moves;
        std::vector<int32_t> scores;
    };
    const Case cases[] = {
        {"k6r/6P1/8/8/8/8/8/K7 w - - 0 1",
         "g7g8q g7g8r g7g8b g7g8n g7h8q g7h8r g7h8b g7h8n",
         {975, 500, 325, 300, 1475, 1000, 825, 800}},
        {"k5nr/6P1/8/8/8/8/8/K7 w - - 0 1", "g7h8q g7h8r g7h8b g7h8n", {1475, 1000, 825, 800}},
        {"k7/8/8/8/8/8/P6n/K7 w - - 0 1", "", {}},  // no wrap from the a-file
        {"k7/8/8/8/n7/8/7P/7K w - - 0 1", "", {}},  // nor from the h-file
        {"k7/p7/8/7N/8/8/8/K7 b - - 0 1", "", {}},  // nor for black
        {"4k3/8/8/3PpP2/8/8/8/4K3 w - e6 0 1", "d5e6 f5e6", {0, 0}},
        {"k7/4P3/8/8/8/8/8/3qK3 w - - 0 1",
         "e7e8q e7e8r e7e8b e7e8n e1d1",
         {975, 500, 325, 300, 975}},
        {"4k3/4r3/8/8/8/3p4/4B3/4K3 w - - 0 1", "e2d3", {-235}},  // pinned, still generated
        {"7k/8/8/3qr3/2P5/3N4/8/K7 w - - 0 1", "c4d5 d3e5", {885, 200}},
        {"4k3/8/8/8/8/8/1p6/R3K3 b Q - 0 1",
         "b2b1q b2b1r b2b1b b2b1n b2a1q b2a1r b2a1b b2a1n",
         {975, 500, 325, 300, 1475, 1000, 825, 800}},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "", {}},
    };
    for (const Case& c : cases) {
        Position* p = testPosition(c.fen);
        MoveList list;
        memset(&list, 0x5a, sizeof list);
        tacticalMovesGenerate(p, &list);
        EXPECT_EQ(texts(list), split(c.moves)) << c.fen;
        EXPECT_EQ(std::vector<int32_t>(list.scores, list.scores + list.count), c.scores) << c.fen;
        EXPECT_EQ(list.current, 0u);
        EXPECT_EQ(list.sortedUpTo, 0u);
        EXPECT_EQ(list.stage, 0x5a5a5a5a) << "the generator leaves the stage alone";
        positionFree(p);
    }

    // An en-passant square with no pawn beside it yields nothing.
    Position* p = testPosition("4k3/8/8/4p3/8/8/8/R3K3 w - - 0 1");
    p->enPassant = E6;
    MoveList list;
    tacticalMovesGenerate(p, &list);
    EXPECT_EQ(list.count, 0u);
    positionFree(p);
}

TEST_F(MovesTest, StaticGenerationOrderAndScores) {
    struct Case {
        const char* fen;
        const char* moves;
    };
    const Case cases[] = {
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
         "a2a3 b2b3 c2c3 d2d3 e2e3 f2f3 g2g3 h2h3 a2a4 b2b4 c2c4 d2d4 e2e4 f2f4 g2g4 h2h4 b1a3 "
         "b1c3 g1f3 g1h3"},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 1",
         "a7a6 b7b6 c7c6 d7d6 e7e6 f7f6 g7g6 h7h6 a7a5 b7b5 c7c5 d7d5 e7e5 f7f5 g7g5 h7h5 b8a6 "
         "b8c6 g8f6 g8h6"},
        {"4k3/8/8/8/8/8/8/RN2K2R w KQ - 0 1",
         "e1g1 b1d2 b1a3 b1c3 a1a2 a1a3 a1a4 a1a5 a1a6 a1a7 a1a8 h1f1 h1g1 "
         "h1h2 h1h3 h1h4 h1h5 h1h6 h1h7 h1h8 e1d1 e1f1 e1d2 e1e2 e1f2"},
        {"4k3/8/8/8/8/8/8/R3KB1R w KQ - 0 1",
         "e1c1 f1e2 f1g2 f1d3 f1h3 f1c4 f1b5 f1a6 a1b1 a1c1 a1d1 a1a2 a1a3 a1a4 a1a5 a1a6 a1a7 "
         "a1a8 "
         "h1g1 h1h2 h1h3 h1h4 h1h5 h1h6 h1h7 "
         "h1h8 e1d1 e1d2 e1e2 e1f2"},
        // In check with the rights and path intact: both castlings are generated.
        {"r3k2r/8/8/b7/8/8/8/R3K2R w KQkq - 0 1",
         "e1g1 e1c1 a1b1 a1c1 a1d1 a1a2 a1a3 a1a4 h1f1 h1g1 h1h2 h1h3 h1h4 h1h5 h1h6 h1h7 e1d1 "
         "e1f1 e1d2 e1e2 e1f2"},
        {"r3k2r/8/8/8/8/8/8/4K3 b kq - 0 1",
         "e8g8 e8c8 a8a1 a8a2 a8a3 a8a4 a8a5 a8a6 a8a7 a8b8 a8c8 a8d8 h8h1 h8h2 h8h3 h8h4 h8h5 "
         "h8h6 h8h7 h8f8 "
         "h8g8 e8d7 e8e7 e8f7 e8d8 e8f8"},
        // A pawn on the seventh has no quiet push; a blocked second square leaves the single step.
        {"4k3/P7/8/8/1n6/8/1P6/4K3 w - - 0 1", "b2b3 e1d1 e1f1 e1d2 e1e2 e1f2"},
        {"4k3/8/8/8/8/8/8/1r2K2R w K - 0 1",
         "e1g1 h1f1 h1g1 h1h2 h1h3 h1h4 h1h5 h1h6 h1h7 h1h8 e1d1 e1f1 e1d2 "
         "e1e2 e1f2"},
    };
    for (const Case& c : cases) {
        Position* p = testPosition(c.fen);
        MoveList list;
        quietMovesGenerate(p, &list);
        EXPECT_EQ(texts(list), split(c.moves)) << c.fen;
        for (uint32_t i = 0; i < list.count; i++) EXPECT_EQ(list.scores[i], 0);
        EXPECT_EQ(list.current, 0u);
        EXPECT_EQ(list.sortedUpTo, 0u);
        for (uint32_t i = 0; i < list.count; i++) {
            std::string t = text(list.moves[i]);
            bool castling = (t == "e1g1" || t == "e1c1" || t == "e8g8" || t == "e8c8") &&
                            p->board[moveFrom(list.moves[i])] >= WHITE_KING;
            EXPECT_EQ(moveType(list.moves[i]), castling ? MOVE_CASTLE : MOVE_NORMAL) << t;
        }
        positionFree(p);
    }
}

TEST_F(MovesTest, QuietScoresComeFromHistory) {
    Position* p = positionNew();
    historyAdd(G1, F3, 3);
    historyAdd(E2, E4, 5);
    historyAdd(E2, E4, 1);
    MoveList list;
    quietMovesGenerate(p, &list, &quietHistory);
    for (uint32_t i = 0; i < list.count; i++) {
        std::string t = text(list.moves[i]);
        EXPECT_EQ(list.scores[i], t == "g1f3" ? 8 : t == "e2e4" ? 34 : 0) << t;
    }
    // Without scores, every quiet move scores 0.
    quietMovesGenerate(p, &list);
    for (uint32_t i = 0; i < list.count; i++) EXPECT_EQ(list.scores[i], 0) << text(list.moves[i]);
    // The root list comes out best history first, ties in generation order.
    RootMoveList root;
    rootMovesGenerate(p, &root);
    ASSERT_EQ(root.count, 20u);
    EXPECT_EQ(text(root.moves[0].move), "e2e4");
    EXPECT_EQ(text(root.moves[1].move), "g1f3");
    EXPECT_EQ(text(root.moves[2].move), "a2a3");
    EXPECT_EQ(text(root.moves[19].move), "g1h3");
    positionFree(p);
}

TEST_F(MovesTest, HistoryBonusIsBoundedAndTheTableHalves) {
    historyAdd(A1, A2, 0);
    historyAdd(A1, A3, -3);
    historyAdd(A1, A4, 40);
    EXPECT_EQ(quietHistory[A1][A2].load(), 1);
    EXPECT_EQ(quietHistory[A1][A3].load(), 1);
    EXPECT_EQ(quietHistory[A1][A4].load(), 1 << HISTORY_MAX_SHIFT);

    quietHistory[B1][B2].store(HISTORY_LIMIT - 10);
    quietHistory[C1][C2].store(101);
    historyAdd(B1, B2, 5);
    EXPECT_EQ(quietHistory[B1][B2].load(), (HISTORY_LIMIT - 10) / 2 + 32);
    EXPECT_EQ(quietHistory[C1][C2].load(), 50);
    EXPECT_EQ(quietHistory[A1][A4].load(), 1 << (HISTORY_MAX_SHIFT - 1));

    for (int i = 0; i < 5000; i++) historyAdd(D1, D2, 64);
    EXPECT_GT(quietHistory[D1][D2].load(), 0);
    EXPECT_LE(quietHistory[D1][D2].load(), HISTORY_LIMIT);

    historyClear();
    for (auto& row : quietHistory)
        for (auto& entry : row) ASSERT_EQ(entry.load(), 0);
}

// Hand-loads legal quiet moves of the start position with the given scores.
void loadList(MoveList* list, const std::vector<std::string>& moves,
              const std::vector<int32_t>& scores, uint32_t sortedUpTo, const Position* p) {
    list->count = static_cast<uint32_t>(moves.size());
    list->current = 0;
    list->sortedUpTo = sortedUpTo;
    list->stage = STAGE_QUIET;
    for (size_t i = 0; i < moves.size(); i++) {
        list->moves[i] = findMove(p, moves[i]);
        list->scores[i] = scores[i];
    }
}

std::vector<std::string> pickAll(Position* p, MoveList* list) {
    std::vector<std::string> out;
    while (Move move = nextMoveDo(p, list)) {
        out.push_back(text(move));
        moveUndo(p);
    }
    return out;
}

TEST_F(MovesTest, PickerOrder) {
    Position* p = positionNew();
    MoveList list;
    loadList(&list, {"a2a3", "b2b3", "c2c3", "d2d3"}, {5, 9, 9, 1}, 0, p);
    EXPECT_EQ(pickAll(p, &list), split("b2b3 c2c3 a2a3 d2d3"));

    loadList(&list, {"a2a3", "b2b3", "c2c3", "d2d3", "e2e3", "f2f3"}, {-4, 7, 0, 7, 100, -4}, 0, p);
    EXPECT_EQ(pickAll(p, &list), split("e2e3 b2b3 d2d3 c2c3 a2a3 f2f3"));

    // A replayed list: no sorting, the stored order, then 0.
    loadList(&list, {"a2a3", "b2b3", "c2c3"}, {1, 2, 3}, 3, p);
    EXPECT_EQ(pickAll(p, &list), split("a2a3 b2b3 c2c3"));
    uint32_t count = list.count;
    EXPECT_EQ(nextMoveDo(p, &list), MOVE_NONE);
    EXPECT_EQ(list.count, count) << "nothing generated after the end";

    // Illegal entries are skipped.
    Position* q = testPosition("4k3/4r3/8/8/8/8/4N3/4K3 w - - 0 1");
    loadList(&list, {"e2c3", "e1d1", "e2g3"}, {9, 5, 7}, 0, q);
    EXPECT_EQ(pickAll(q, &list), split("e1d1"));
    positionFree(q);
    positionFree(p);
}

TEST_F(MovesTest, PickerStages) {
    // Captures by score, then the quiet moves; a fresh list needs only pickerStart.
    Position* p = testPosition("7k/8/8/3qr3/2P5/3N4/8/K7 w - - 0 1");
    MoveList list;
    memset(&list, 0xff, sizeof list);
    pickerStart(&list);
    std::vector<std::string> order;
    while (Move move = nextMoveDo(p, &list)) {
        order.push_back(text(move));
        if (order.size() <= 2)
            EXPECT_EQ(list.stage, STAGE_TACTICAL);
        else
            EXPECT_EQ(list.stage, STAGE_QUIET);
        moveUndo(p);
    }
    ASSERT_GE(order.size(), 3u);
    EXPECT_EQ(order[0], "c4d5");
    EXPECT_EQ(order[1], "d3e5");
    EXPECT_EQ(order[2], "c4c5");
    EXPECT_EQ(nextMoveDo(p, &list), MOVE_NONE);
    EXPECT_EQ(nextMoveDo(p, &list), MOVE_NONE);

    // Captures only: the quiescence picker never goes on to quiet moves.
    pickerStart(&list);
    std::vector<std::string> captures;
    while (Move move = nextTacticalMoveDo(p, &list)) {
        captures.push_back(text(move));
        moveUndo(p);
    }
    EXPECT_EQ(captures, split("c4d5 d3e5"));
    EXPECT_EQ(list.stage, STAGE_TACTICAL);
    positionFree(p);

    // In check with only quiet answers: nothing for the quiescence picker.
    p = testPosition("4k3/8/8/8/8/8/r7/4K3 w - - 0 1");
    Position before;
    memcpy(&before, p, sizeof before);
    pickerStart(&list);
    EXPECT_EQ(nextTacticalMoveDo(p, &list), MOVE_NONE);
    expectSamePosition(p, &before, "quiescence picker in check");
    positionFree(p);
}

TEST_F(MovesTest, RootListOfMateStalemateAndSingleMove) {
    struct Case {
        const char* fen;
        const char* moves;
    };
    const Case cases[] = {
        {"rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3", ""},  // mated
        {"k7/8/1Q6/8/8/8/8/K7 b - - 0 1", ""},                                  // stalemate
        {"k7/2R5/1K6/8/8/8/8/8 b - - 0 1", "a8b8"},
        {"4k3/8/8/8/8/8/r7/r3K3 w - - 0 1", ""},  // mated by two rooks
        {"4k3/8/8/3pP3/8/8/8/r3K3 w - d6 0 1", "e1e2 e1f2 e1d2"},
    };
    for (const Case& c : cases) {
        Position* p = testPosition(c.fen);
        Position before;
        memcpy(&before, p, sizeof before);
        RootMoveList root;
        memset(&root, 0x77, sizeof root);
        rootMovesGenerate(p, &root);
        std::vector<std::string> got;
        for (uint32_t i = 0; i < root.count; i++) {
            got.push_back(text(root.moves[i].move));
            const RootMove& r = root.moves[i];
            EXPECT_EQ(r.score, 0);
            EXPECT_EQ(r.depth, 0u);
            EXPECT_EQ(r.selDepth, 0);
            EXPECT_EQ(r.nps, 0u);
            EXPECT_EQ(r.time, 0);
            EXPECT_EQ(r.nodes, 0u);
            EXPECT_EQ(r.pv[0], MOVE_NONE);
        }
        std::vector<std::string> want = split(c.moves);
        std::sort(got.begin(), got.end());
        std::sort(want.begin(), want.end());
        EXPECT_EQ(got, want) << c.fen;
        expectSamePosition(p, &before, c.fen);
        positionFree(p);
    }
}

TEST_F(MovesTest, CheckAndLegalityPredicates) {
    struct Case {
        const char* fen;
        int inCheck, good;
    };
    // positionGood asks about the side that just moved (not to move).
    const Case cases[] = {
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 0, 1},
        {"4k3/8/8/8/8/8/5p2/4K3 w - - 0 1", 1, 1},  // pawn check from f2
        {"4k3/8/8/8/8/8/5p2/6K1 w - - 0 1", 1, 1},
        {"4k3/8/8/8/8/8/8/r3K3 w - - 0 1", 1, 1},    // rook along the rank
        {"4k3/8/8/8/8/8/8/r1n1K3 w - - 0 1", 0, 1},  // blocked by a man of either colour
        {"4k3/8/8/8/8/8/8/r1N1K3 w - - 0 1", 0, 1},
        {"4k3/8/8/8/8/3n4/8/4K3 w - - 0 1", 1, 1},
        {"4k3/8/8/8/1b6/8/8/4K3 w - - 0 1", 1, 1},
    };
    for (const Case& c : cases) {
        Position* p = testPosition(c.fen);
        EXPECT_EQ(positionIsInCheck(p), c.inCheck) << c.fen;
        EXPECT_EQ(p->check, c.inCheck) << c.fen;
        EXPECT_EQ(positionGood(p), c.good) << c.fen;
        positionFree(p);
    }

    // Kings side by side: no check for the side to move, but the position is
    // illegal for the side that moved; built by hand, FEN refuses it.
    Position p;
    emptyPosition(&p);
    addPiece(&p, WHITE_KING, E1);
    addPiece(&p, BLACK_KING, E2);
    EXPECT_EQ(positionIsInCheck(&p), 0);
    EXPECT_EQ(positionGood(&p), 0);
    // The side that moved left its king to a rook.
    emptyPosition(&p);
    addPiece(&p, WHITE_KING, E1);
    addPiece(&p, BLACK_KING, E8);
    addPiece(&p, WHITE_ROOK, E4);
    p.player = BLACK;
    EXPECT_EQ(positionIsInCheck(&p), 1);
    EXPECT_EQ(positionGood(&p), 1);
    p.player = WHITE;
    EXPECT_EQ(positionGood(&p), 0);
}

TEST_F(MovesTest, Repetition) {
    Position* p = positionNew();
    EXPECT_EQ(positionRepeat(p), 0);
    ASSERT_EQ(stringMovesDo(p, "g1f3 g8f6 f3g1 f6g8"), 1);
    EXPECT_EQ(p->staticMoves, 4);
    EXPECT_EQ(positionRepeat(p), 1);
    ASSERT_EQ(stringMovesDo(p, "g1f3 g8f6 f3g1 f6g8"), 1);
    EXPECT_EQ(positionRepeat(p), 2);
    ASSERT_EQ(stringMovesDo(p, "g1f3"), 1);
    EXPECT_EQ(positionRepeat(p), 2);  // the position after Nf3 stood twice before
    ASSERT_EQ(stringMovesDo(p, "e7e5"), 1);
    EXPECT_EQ(positionRepeat(p), 0);  // a pawn move ends the scan
    positionFree(p);

    // Three plies since the last pawn move: never a repetition.
    p = positionNew();
    ASSERT_EQ(stringMovesDo(p, "e2e4 g8f6 g1f3 f6g8"), 1);
    EXPECT_EQ(p->staticMoves, 3);
    EXPECT_EQ(positionRepeat(p), 0);
    positionFree(p);
}

TEST_F(MovesTest, StringMovesDo) {
    Position* p = positionNew();
    ASSERT_EQ(stringMovesDo(p, "E2E4 e7E5\tg1F3 \n"), 1);
    EXPECT_EQ(p->ply, 3);
    EXPECT_EQ(p->board[F3], WHITE_KNIGHT);
    EXPECT_EQ(stringMovesDo(p, ""), 1);
    EXPECT_EQ(stringMovesDo(p, "   "), 1);
    EXPECT_EQ(p->ply, 3);
    positionFree(p);

    p = testPosition("4k3/P7/8/8/8/8/8/4K2R w K - 0 1");
    ASSERT_EQ(stringMovesDo(p, "a7a8Q"), 1);
    EXPECT_EQ(p->board[A8], WHITE_QUEEN);
    positionFree(p);

    struct Refused {
        const char* fen;
        const char* moves;
        int plyAfter;
        const char* bad;
    };
    std::string longWord(10000, 'e');
    std::string longText = "e2e4 " + longWord;
    const Refused cases[] = {
        {"4k3/8/8/8/8/8/8/4K2R w K - 0 1", "O-O", 0, "O-O"},
        {"4k3/8/8/8/8/8/8/4K2R w K - 0 1", "e1h1", 0, "e1h1"},
        {"4k3/P7/8/8/8/8/8/4K3 w - - 0 1", "a7a8", 0, "a7a8"},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "e2e4 e7e5 e1e2 e8e7 e2e4", 4,
         "e2e4"},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "e2e4 e2e4q", 1, "e2e4q"},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "e2e4 null", 1, "null"},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", longText.c_str(), 1,
         "eeeeeeeeee"},
        {"4k3/4r3/8/8/8/8/4N3/4K3 w - - 0 1", "e2c3", 0, "e2c3"},  // pinned
    };
    for (const Refused& c : cases) {
        Position* q = testPosition(c.fen);
        outCaptureBegin();
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(stringMovesDo(q, c.moves), 0) << c.moves;
        std::string errors = ::testing::internal::GetCapturedStderr();
        std::string printed = outCaptureEnd();
        EXPECT_EQ(q->ply, c.plyAfter) << c.moves;
        EXPECT_NE(errors.find(std::string("Can not make move (") + c.bad), std::string::npos)
            << errors;
        EXPECT_NE(printed.find("Ply:" + std::to_string(c.plyAfter)), std::string::npos)
            << "the position is printed at the failure";
        positionFree(q);
    }
}

// Knights walk out and back; now and then a pawn pair moves, 1500 plies and
// more in all. The history is compacted on the way, and repetitions are
// still found at the end.
TEST_F(MovesTest, LongGameFitsTheHistory) {
    const char* pawnPairs[] = {"a2a3 a7a6", "b2b3 b7b6", "c2c3 c7c6", "d2d3 d7d6",
                               "e2e3 e7e6", "g2g3 g7g6", "h2h3 h7h6", "a3a4 a6a5"};
    std::string game, pawnsOnly;
    for (const char* pair : pawnPairs) {
        for (int i = 0; i < 48; i++) game += "g1f3 g8f6 f3g1 f6g8 ";
        game += std::string(pair) + " ";
        pawnsOnly += std::string(pair) + " ";
    }
    game += "g1f3 g8f6 f3g1 f6g8 g1f3 g8f6 f3g1 f6g8";
    ASSERT_GE(split(game).size(), 1500u);

    Position* p = positionNew();
    ASSERT_EQ(stringMovesDo(p, game.c_str()), 1);
    EXPECT_LE(p->ply, HISTORY_SIZE);
    EXPECT_EQ(positionRepeat(p), 2);
    EXPECT_EQ(p->staticMoves, 8);

    Position* q = positionNew();
    ASSERT_EQ(stringMovesDo(q, pawnsOnly.c_str()), 1);
    EXPECT_EQ(p->key, q->key);
    EXPECT_EQ(0, memcmp(p->board, q->board, sizeof p->board));

    // The knight shuffle without pawn moves repeats all the way back.
    std::string shuffle;
    for (int i = 0; i < 400; i++) shuffle += "g1f3 g8f6 f3g1 f6g8 ";
    Position* r = positionNew();
    ASSERT_EQ(stringMovesDo(r, shuffle.c_str()), 1);
    EXPECT_EQ(r->staticMoves, 1600);
    EXPECT_GE(positionRepeat(r), 1);
    EXPECT_LE(r->ply, HISTORY_SIZE);
    // The recent history is intact: the last moves can still be taken back.
    Position* start = positionNew();
    EXPECT_EQ(r->key, start->key);
    for (int i = 0; i < 8; i++) moveUndo(r);
    EXPECT_EQ(r->key, start->key);
    EXPECT_EQ(r->staticMoves, 1592);
    positionFree(start);
    positionFree(p);
    positionFree(q);
    positionFree(r);
}

using MovesDeathTest = MovesTest;

TEST_F(MovesDeathTest, UnknownMoveTypesAreFatal) {
    for (int type : {0, 6, 8, 10, 13, 14, 15}) {
        Position* p = positionNew();
        EXPECT_DEATH(moveDo(p, moveMake(type, E2, E4)), "[0-9]: Wrong move type!") << type;
        positionFree(p);
    }
    Position* p = positionNew();
    ASSERT_EQ(moveDo(p, findMove(p, "e2e4")), 1);
    p->history[p->ply - 1].move = moveMake(6, E2, E4);
    EXPECT_DEATH(moveUndo(p), ": \nWrong move type!\n");
    positionFree(p);

    // A move past the end of the history stack would corrupt memory.
    p = positionNew();
    p->ply = HISTORY_SIZE;
    EXPECT_DEATH(moveDo(p, findMove(p, "e2e4")), "History overflow!");
    positionFree(p);
}

}  // namespace
