#include "support/boardcheck.h"

#include <cstring>

BoardSums boardSums(const Position* p) {
    BoardSums s;
    memset(&s, 0, sizeof s);
    for (int sq = 0; sq < 64; sq++) {
        int piece = p->board[sq];
        if (piece < WHITE_PAWN || piece > BLACK_KING) continue;
        s.bitboard[piece] |= bitOf(sq);
        s.bitboard[piece & 1] |= bitOf(sq);
        s.occupied |= bitOf(sq);
        s.key ^= zobrist.square[piece][sq];
        s.material[piece & 1] += PIECE_VALUE[piece];
        s.phase += PIECE_PHASE[piece];
        s.pvtOpening += pvt[piece][sq].opening;
        s.pvtEndgame += pvt[piece][sq].endgame;
    }
    if (p->player == BLACK) s.key ^= zobrist.turn;
    for (int i = 0; i < 4; i++)
        if (p->castling & (1 << i)) s.key ^= zobrist.castle[i];
    if (p->enPassant) s.key ^= zobrist.enPassant[p->enPassant & 7];
    return s;
}

std::string boardSumsMismatch(const Position* p) {
    BoardSums s = boardSums(p);
    for (int piece = 0; piece < 14; piece++)
        if (p->bitboard[piece] != s.bitboard[piece])
            return "bitboard of piece code " + std::to_string(piece);
    if (p->occupied != s.occupied) return "occupied";
    if (p->key != s.key) return "key";
    if (p->material[0] != s.material[0] || p->material[1] != s.material[1]) return "material";
    if (p->phase != s.phase) return "phase";
    if (p->pvtOpening != s.pvtOpening || p->pvtEndgame != s.pvtEndgame) return "piece-square sums";
    return "";
}
