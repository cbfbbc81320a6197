#include "support/evalpositions.h"

#include <fstream>

#include "moves/movedo.h"
#include "moves/picker.h"

namespace {

std::string placement(const int32_t* board, bool mirrored) {
    std::string text;
    for (int rank = 7; rank >= 0; rank--) {
        int empty = 0;
        for (int file = 0; file < 8; file++) {
            int piece = board[squareMake(file, mirrored ? 7 - rank : rank)];
            if (piece == EMPTY) {
                empty++;
                continue;
            }
            if (empty) text += static_cast<char>('0' + empty), empty = 0;
            text += PIECE_CHARS[mirrored ? piece ^ 1 : piece];
        }
        if (empty) text += static_cast<char>('0' + empty);
        if (rank) text += '/';
    }
    return text;
}

std::string castlingText(int castling) {
    std::string text;
    if (castling & CASTLE_WHITE_KING) text += 'K';
    if (castling & CASTLE_WHITE_QUEEN) text += 'Q';
    if (castling & CASTLE_BLACK_KING) text += 'k';
    if (castling & CASTLE_BLACK_QUEEN) text += 'q';
    return text.empty() ? "-" : text;
}

std::string squareText(int sq) {
    char name[3];
    squareToString(sq, name);
    return name;
}

std::string fenOf(const int32_t* board, bool mirrored, int player, int castling, int enPassant) {
    std::string fen = placement(board, mirrored);
    fen += player == WHITE ? " w " : " b ";
    fen += castlingText(castling);
    fen += ' ';
    fen += enPassant ? squareText(enPassant) : "-";
    return fen + " 0 1";
}

int randomSquare(GRand* g, const int32_t* board, int lo, int hi) {
    for (;;) {
        int sq = g_rand_int_range(g, lo, hi + 1);
        if (board[sq] == EMPTY) return sq;
    }
}

}  // namespace

std::string testFen(const Position* p) {
    return fenOf(p->board, false, p->player, p->castling, p->enPassant);
}

std::string testMirroredFen(const Position* p) {
    int castling = (p->castling & 3) << 2 | (p->castling >> 2 & 3);
    return fenOf(p->board, true, p->player ^ 1, castling, p->enPassant ? p->enPassant ^ 56 : 0);
}

std::string testRandomFen(GRand* g) {
    static constexpr int kingHomes[] = {E1, G1, C1, B1, H1, F1, A1, D1};
    static constexpr int pieceHomes[4][2] = {{B1, G1}, {C1, F1}, {A1, H1}, {D1, D1}};
    for (;;) {
        int32_t board[64] = {};
        int kings[2];
        for (int c = WHITE; c <= BLACK; c++) {
            do {
                int sq = g_rand_boolean(g) ? kingHomes[g_rand_int_range(g, 0, 8)]
                                           : g_rand_int_range(g, 0, 64);
                kings[c] = c == BLACK ? sq ^ 56 : sq;
            } while (board[kings[c]] != EMPTY ||
                     (c == BLACK && (attackKing[kings[WHITE]] & bitOf(kings[BLACK]))));
            board[kings[c]] = WHITE_KING + c;
        }
        for (int c = WHITE; c <= BLACK; c++) {
            int flip = c == BLACK ? 56 : 0;
            int pawns = g_rand_int_range(g, 0, 9);
            for (int i = 0; i < pawns; i++) {
                int home = squareMake(g_rand_int_range(g, 0, 8), 1) ^ flip;
                int sq = g_rand_boolean(g) && board[home] == EMPTY ? home
                                                                   : randomSquare(g, board, A2, H7);
                board[sq] = WHITE_PAWN + c;
            }
            for (int type = 0; type < 4; type++) {
                int count = g_rand_int_range(g, 0, type == 3 ? 2 : 3);
                if (type == 3 && g_rand_int_range(g, 0, 10) == 0) count = 2;
                for (int i = 0; i < count; i++) {
                    int home = pieceHomes[type][i & 1] ^ flip;
                    int sq = g_rand_int_range(g, 0, 3) == 0 && board[home] == EMPTY
                                 ? home
                                 : randomSquare(g, board, A1, H8);
                    board[sq] = WHITE_KNIGHT + 2 * type + c;
                }
            }
        }
        int player = g_rand_boolean(g) ? WHITE : BLACK;

        Position p;
        emptyPosition(&p);
        for (int sq = 0; sq < 64; sq++)
            if (board[sq]) addPiece(&p, board[sq], sq);
        if (squareAttacked(&p, kings[player ^ 1], player)) continue;

        // Sometimes the other side has just stepped a pawn two squares.
        int enPassant = 0;
        int them = player ^ 1, forward = player == WHITE ? 8 : -8;
        for (int file = 0; file < 8 && !enPassant; file++) {
            int stepped = squareMake(file, player == WHITE ? 4 : 3);
            int behind = stepped + forward, origin = stepped + 2 * forward;
            if (board[stepped] != WHITE_PAWN + them || board[behind] || board[origin]) continue;
            bool capturer = (file > 0 && board[stepped - 1] == WHITE_PAWN + player) ||
                            (file < 7 && board[stepped + 1] == WHITE_PAWN + player);
            if (capturer && g_rand_boolean(g)) enPassant = behind;
        }
        // Rights whose king or rook is not at home are dropped by the reader.
        int castling = g_rand_int_range(g, 0, 16);
        return fenOf(board, false, player, castling, enPassant);
    }
}

std::vector<std::string> testPlayoutFens(GRand* g, const std::string& fen, int plies, int every) {
    std::vector<std::string> fens;
    Position* p = positionNew();
    if (!positionSetFen(p, fen.c_str())) {
        positionFree(p);
        return fens;
    }
    for (int ply = 1; ply <= plies; ply++) {
        MoveList list;
        legalMovesGenerate(p, &list);
        if (list.count == 0) break;
        Move move = list.moves[g_rand_int_range(g, 0, static_cast<int32_t>(list.count))];
        if (!moveDo(p, move)) break;
        if (ply % every == 0) fens.push_back(testFen(p));
    }
    positionFree(p);
    return fens;
}

const std::vector<std::string>& testGamePositions() {
    static const std::vector<std::string> positions = {
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1",
        "rnbqkbnr/pp1ppppp/8/2p5/4P3/8/PPPP1PPP/RNBQKBNR w KQkq c6 0 2",
        "r1bqkbnr/pppp1ppp/2n5/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R b KQkq - 3 3",
        "rnbqkb1r/ppp2ppp/4pn2/3p2B1/2PP4/2N5/PP2PPPP/R2QKBNR b KQkq - 3 4",
        "rnbq1rk1/ppp1ppbp/3p1np1/8/2PPP3/2N2N2/PP3PPP/R1BQKB1R b KQ - 1 5",
        "rnbqkbnr/pp3ppp/4p3/2ppP3/3P4/8/PPP2PPP/RNBQKBNR w KQkq - 0 4",
        "rn1qkbnr/pp2pppp/2p5/5b2/3PN3/8/PPP2PPP/R1BQKBNR w KQkq - 1 5",
        "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3",
        "r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - 4 4",
        "rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3",
        "r1b1k2r/ppppnppp/2n2q2/2b5/3NP3/2P1B3/PP3PPP/RN1QKB1R w KQkq - 1 7",
        "r1bq1rk1/pp2ppbp/2np1np1/8/3NP3/2N1BP2/PPPQ2PP/R3KB1R w KQ - 3 9",
        "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
        "r2q1rk1/pb1nbppp/1p2pn2/2pp4/2PP4/1P2PN2/PB1NBPPP/R2Q1RK1 w - - 0 10",
        "2kr3r/ppp2ppp/2n5/2b1p3/4P1b1/2NP1N2/PPP2PPP/R1B2RK1 w - - 0 10",
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
        "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
        "2r3k1/pp3ppp/2n1p3/3pP3/3P4/P4N2/1P3PPP/2R3K1 w - - 0 20",
        "4r1k1/pp3pp1/2p4p/3q4/3P4/1Q3N1P/PP3PP1/4R1K1 w - - 0 25",
        "3r2k1/1p3ppp/p1p5/8/2P1n3/1P2B3/P4PPP/3R2K1 b - - 0 25",
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
        "8/8/1p1r1k2/p1pPN1p1/P3KnP1/1P6/8/3R4 b - - 0 1",
        "1K1k4/1P6/8/8/8/8/r7/2R5 w - - 0 1",
        "8/k7/3p4/p2P1p2/P2P1P2/8/8/K7 w - - 0 1",
        "8/5pk1/6p1/7p/3K3P/6P1/5P2/8 w - - 0 40",
        "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1",
        "8/8/8/4k3/8/8/3KP3/8 w - - 0 1",
        "8/8/3k4/8/2Pp4/8/8/4K3 b - c3 0 1",
        "8/3k4/8/8/8/8/2pK4/8 w - - 0 1",
        "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP1B1PPP/R2QKB1R w KQ - 0 8",
    };
    return positions;
}

std::vector<std::string> testReadFens(const std::string& path) {
    std::vector<std::string> fens;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        fens.push_back(line);
    }
    return fens;
}
