#include <gtest/gtest.h>

#include <cstring>

#include "base/output.h"
#include "board/position.h"
#include "support/boardcheck.h"
#include "support/engine.h"

namespace {

class PositionTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { testInit(); }
};

TEST_F(PositionTest, StartPositionFields) {
    Position* p = positionNew();
    EXPECT_EQ(p->occupied, 0xffff00000000ffffULL);
    EXPECT_EQ(p->bitboard[WHITE], 0xffffULL);
    EXPECT_EQ(p->castling, 15);
    EXPECT_EQ(p->player, WHITE);
    EXPECT_EQ(p->phase, 24);
    EXPECT_EQ(p->material[WHITE], 3945);
    EXPECT_EQ(p->material[BLACK], 3945);
    EXPECT_EQ(p->pvtOpening, 0);
    EXPECT_EQ(p->pvtEndgame, 0);
    EXPECT_EQ(p->ply, 0);
    EXPECT_EQ(p->enPassant, 0);
    EXPECT_EQ(p->check, 0);
    EXPECT_EQ(p->board[E1], WHITE_KING);
    EXPECT_EQ(p->board[D8], BLACK_QUEEN);
    EXPECT_EQ(boardSumsMismatch(p), "");
    positionIsOk(p);

    // The same men placed one by one differ only by the castling keys.
    Position* q = positionNew();
    emptyPosition(q);
    for (int sq = 0; sq < 64; sq++)
        if (p->board[sq]) addPiece(q, p->board[sq], sq);
    EXPECT_EQ(q->key, p->key ^ zobrist.castle[0] ^ zobrist.castle[1] ^ zobrist.castle[2] ^
                          zobrist.castle[3]);
    positionFree(p);
    positionFree(q);
}

TEST_F(PositionTest, AddPieceOfAKingChangesNeitherMaterialNorPhase) {
    Position p;
    emptyPosition(&p);
    addPiece(&p, WHITE_KING, G1);
    EXPECT_EQ(p.material[WHITE], 0);
    EXPECT_EQ(p.phase, 0);
    EXPECT_EQ(p.key, zobrist.square[WHITE_KING][G1]);
    EXPECT_EQ(p.pvtOpening, 50);
    EXPECT_EQ(p.pvtEndgame, -48);
    EXPECT_EQ(p.bitboard[WHITE_KING], bitOf(G1));
    EXPECT_EQ(p.board[G1], WHITE_KING);
    addPiece(&p, BLACK_QUEEN, D8);
    EXPECT_EQ(p.material[BLACK], 975);
    EXPECT_EQ(p.phase, 4);
    EXPECT_EQ(p.bitboard[BLACK], bitOf(D8));
    EXPECT_EQ(p.occupied, bitOf(G1) | bitOf(D8));
}

TEST_F(PositionTest, StartFenEqualsStartPositionInEveryField) {
    Position* fen = testPosition("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    Position* start = positionNew();
    EXPECT_EQ(0, memcmp(fen, start, sizeof(Position)));
    positionFree(fen);
    positionFree(start);
}

TEST_F(PositionTest, FenFields) {
    struct {
        const char* fen;
        int player, castling, enPassant, check;
    } cases[] = {
        {"4k3/8/8/8/8/8/8/4K3 w - - 0 1", WHITE, 0, 0, 0},
        {"r3k3/8/8/8/8/8/8/4K2R W Kq -", WHITE, 9, 0, 0},
        {"r3k3/8/8/8/8/8/8/4K2R x Kq -", WHITE, 9, 0, 0},
        {"4k3/8/8/8/8/8/8/4K3 b - - 7 40", BLACK, 0, 0, 0},
        // Rights without their king or rook at home are dropped.
        {"4k3/8/8/8/8/8/8/R3K3 w KQkq -", WHITE, 2, 0, 0},
        // Checks through each kind of attacker.
        {"4k3/8/8/8/8/8/8/q3K3 w - -", WHITE, 0, 0, 1},
        {"4k3/8/8/8/8/8/8/4K2q w - -", WHITE, 0, 0, 1},
        {"4k3/8/8/8/8/3n4/8/4K3 w - -", WHITE, 0, 0, 1},
        {"4k3/8/8/8/8/8/3p4/4K3 w - -", WHITE, 0, 0, 1},
        {"4k3/8/8/8/8/8/8/b3K3 w - -", WHITE, 0, 0, 0},
        {"4k3/8/8/8/1b6/8/8/4K3 w - -", WHITE, 0, 0, 1},
        // En passant kept when a pawn of the side to move can take.
        {"4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", WHITE, 0, D6, 0},
        {"4k3/8/8/3p4/8/8/8/4K3 w - d6 0 1", WHITE, 0, 0, 0},
        {"4k3/8/8/8/3Pp3/8/8/4K3 b - d3", BLACK, 0, D3, 0},
        {"4k3/8/8/8/3P4/8/8/4K3 b - d3", BLACK, 0, 0, 0},
    };
    for (const auto& c : cases) {
        Position* p = testPosition(c.fen);
        EXPECT_EQ(p->player, c.player) << c.fen;
        EXPECT_EQ(p->castling, c.castling) << c.fen;
        EXPECT_EQ(p->enPassant, c.enPassant) << c.fen;
        EXPECT_EQ(p->check, c.check) << c.fen;
        EXPECT_EQ(p->staticMoves, 0);
        EXPECT_EQ(p->ply, 0);
        EXPECT_EQ(boardSumsMismatch(p), "");
        positionIsOk(p);
        positionFree(p);
    }
}

TEST_F(PositionTest, BadFenIsRefusedAndLeavesThePositionAsItWas) {
    const char* bad[] = {
        "",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR",             // fields missing
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w",           // castling missing
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq",      // en passant missing
        "rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",    // nine squares
        "rnbqkbnr/pppppppp/p8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",   // nine squares
        "rnbqkbnr/pppppppp/7/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",    // seven squares
        "rnbqkbnr/pppppppp/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",      // seven ranks
        "rnbqkbnr/pppppppp/8/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",  // nine ranks
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNX w KQkq -",    // bad letter
        "rnbq1bnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",    // no black king
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBKKBNR w KQkq -",    // two white kings
        "Pnbqkbnr/pppppppp/8/8/8/8/1PPPPPPP/RNBQKBNR w KQkq -",    // pawn on the last rank
        "4k3/8/8/8/8/8/8/4K2p w - -",                              // pawn on the first rank
        "4k2R/8/8/8/8/8/8/4K3 w - -",                              // side not to move in check
        "8/8/8/8/8/8/8/3kK3 w - -",                                // kings side by side
        "4k3/8/8/3pP3/8/8/8/4K3 w - d3",                           // en passant on the wrong rank
        "4k3/8/8/3pP3/8/8/8/4K3 w - a1",                           // square 0, the wrong rank too
        "4k3/8/8/8/3Pp3/8/8/4K3 b - a1",                           // and with black to move
        "4k3/8/8/4P3/8/8/8/4K3 w - d6",                            // no pawn that stepped
        "4k3/8/8/3pP3/8/8/8/4K3 w - z6",                           // not a square
        "4k3/8/8/3pP3/8/8/8/4K3 w - D6",                           // upper-case file
    };
    for (const char* fen : bad) {
        Position* p = positionNew();
        Position before;
        memcpy(&before, p, sizeof before);
        EXPECT_EQ(positionSetFen(p, fen), 0) << fen;
        EXPECT_EQ(0, memcmp(&before, p, sizeof before)) << fen;
        positionFree(p);
    }
}

TEST_F(PositionTest, MoveMaterialByType) {
    Position* p = testPosition("r3k3/1P6/8/8/8/8/8/4K3 w - -");
    EXPECT_EQ(moveMaterial(p, moveMake(MOVE_NORMAL, E1, E2)), 0);
    EXPECT_EQ(moveMaterial(p, CASTLE_E1G1), 0);
    EXPECT_EQ(moveMaterial(p, moveMake(MOVE_CAPTURE, B7, A8)), 500);
    EXPECT_EQ(moveMaterial(p, moveMake(MOVE_EN_PASSANT, B5, C6)), 90);
    EXPECT_EQ(moveMaterial(p, moveMake(MOVE_PROMOTE_KNIGHT, B7, B8)), 210);
    EXPECT_EQ(moveMaterial(p, moveMake(MOVE_PROMOTE_BISHOP, B7, B8)), 235);
    EXPECT_EQ(moveMaterial(p, moveMake(MOVE_PROMOTE_ROOK, B7, A8)), 410);
    EXPECT_EQ(moveMaterial(p, moveMake(MOVE_PROMOTE_QUEEN, B7, A8)), 885);
    positionFree(p);
}

TEST_F(PositionTest, MoveMaterialOfANullMoveIsFatal) {
    Position* p = positionNew();
    EXPECT_DEATH(moveMaterial(p, MOVE_WORD_NULL), "Wrong move type \\(move material\\)!");
    EXPECT_DEATH(moveMaterial(p, moveMake(6, E2, E4)), "Wrong move type");
    positionFree(p);
}

TEST_F(PositionTest, PrintOfTheStartPosition) {
    Position* p = positionNew();
    outCaptureBegin();
    positionPrint(p);
    std::string text = outCaptureEnd();
    EXPECT_EQ(text.rfind("rnbqkbnr\npppppppp\n# # # # \n # # # #\n", 0), 0u) << text;
    for (const char* line :
         {"\n\nPlayer: White\n", "\nPly:0\n", "\nCapture:X\n", "\nCastling:15\n", "\nRepeat:0\n",
          "\nMaterial:0\n", "\nPhase:24\n", "\nPVT(opening/endgame):0/0\n", "\nHistory: \n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    positionFree(p);
}

TEST_F(PositionTest, ConsistencyCheckStopsAtTheFirstDisagreement) {
    Position* p = positionNew();
    positionIsOk(p);  // quiet on a good position
    p->material[WHITE] += 1;
    EXPECT_DEATH(positionIsOk(p), "1. Material value is wrong \\(0\\)");
    p->material[WHITE] -= 1;
    p->board[E4] = WHITE_QUEEN;  // on the board but in no bitboard
    EXPECT_DEATH(positionIsOk(p), "3. Bitboard is wrong \\(piece=Q,square=28\\)");
    p->board[E4] = EMPTY;
    p->bitboard[WHITE_KING] |= bitOf(E4);  // in a bitboard but not on the board
    EXPECT_DEATH(positionIsOk(p), "2. Bitboard is wrong \\(piece=K,square=28\\)");
    positionFree(p);
}

TEST_F(PositionTest, SquareAndPieceText) {
    char text[3];
    struct {
        int square;
        const char* name;
    } cases[] = {{A1, "a1"}, {H1, "h1"}, {A8, "a8"}, {H8, "h8"}, {E4, "e4"}};
    for (const auto& c : cases) {
        squareToString(c.square, text);
        EXPECT_STREQ(text, c.name);
        EXPECT_EQ(stringToSquare(c.name), c.square);
    }
    EXPECT_EQ(stringToSquare("E4"), -1);
    EXPECT_EQ(stringToSquare("e9"), -1);
    EXPECT_EQ(charToPiece('q'), BLACK_QUEEN);
    EXPECT_EQ(charToPiece('K'), WHITE_KING);
    EXPECT_EQ(charToPiece('x'), -1);
}

TEST_F(PositionTest, MoveText) {
    char text[MOVE_TEXT_SIZE];
    struct {
        Move move;
        const char* text;
    } cases[] = {
        {0, "a1a1"},
        {MOVE_WORD_NULL, "null"},
        {moveMake(MOVE_PROMOTE_QUEEN, D7, C8), "d7c8q"},
        {moveMake(MOVE_PROMOTE_KNIGHT, B2, A1), "b2a1n"},
        {CASTLE_E1G1, "e1g1"},
        {CASTLE_E8C8, "e8c8"},
        {moveMake(6, E2, E4), "e2e4"},
        {moveMake(10, E2, E4), "e2e4"},
    };
    for (const auto& c : cases) {
        moveToString(c.move, text);
        EXPECT_STREQ(text, c.text);
    }
    EXPECT_EQ(CASTLE_E1G1, moveMake(MOVE_CASTLE, E1, G1));
    EXPECT_EQ(CASTLE_E1C1, moveMake(MOVE_CASTLE, E1, C1));
    EXPECT_EQ(CASTLE_E8G8, moveMake(MOVE_CASTLE, E8, G8));
    EXPECT_EQ(CASTLE_E8C8, moveMake(MOVE_CASTLE, E8, C8));
}

TEST_F(PositionTest, BitPicture) {
    outCaptureBegin();
    chessBitPrint(1);
    chessBitPrint(Bitboard{1} << 63);
    std::string text = outCaptureEnd();
    std::string row0 = "00000000\n";
    std::string a1 = row0 + row0 + row0 + row0 + row0 + row0 + row0 + "10000000\n\n";
    std::string h8 = "00000001\n" + row0 + row0 + row0 + row0 + row0 + row0 + "00000000\n\n";
    EXPECT_EQ(text, a1 + h8);
}

}  // namespace
