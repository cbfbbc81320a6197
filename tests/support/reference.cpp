#include "support/reference.h"

#include <algorithm>

namespace {

struct RefMove {
    int from, to;
    int promotion;  // colourless kind 1..4 = knight, bishop, rook, queen; 0 none
    bool castle, enPassant, doubleStep;
};

// Kinds: 1 pawn, 2 knight, 3 bishop, 4 rook, 5 queen, 6 king (code / 2).
int kindOf(int piece) { return piece / 2; }
int colourOf(int piece) { return piece & 1; }
int pieceOf(int kind, int colour) { return kind * 2 + colour; }

bool onBoard(int file, int rank) { return file >= 0 && file < 8 && rank >= 0 && rank < 8; }

constexpr int knightSteps[8][2] = {{1, 2},   {2, 1},   {2, -1}, {1, -2},
                                   {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}};
constexpr int kingSteps[8][2] = {{1, 0},  {1, 1},   {0, 1},  {-1, 1},
                                 {-1, 0}, {-1, -1}, {0, -1}, {1, -1}};
constexpr int rookDirections[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
constexpr int bishopDirections[4][2] = {{1, 1}, {1, -1}, {-1, 1}, {-1, -1}};

// Is the square attacked by any man of colour `by`? Looks outward from it.
bool attacked(const ReferenceBoard& b, int sq, int by) {
    int file = sq % 8, rank = sq / 8;
    // A pawn of `by` attacks diagonally forward, so it stands one rank behind.
    int pawnRank = by == 0 ? rank - 1 : rank + 1;
    for (int df : {-1, 1})
        if (onBoard(file + df, pawnRank) && b.board[pawnRank * 8 + file + df] == pieceOf(1, by))
            return true;
    for (auto& s : knightSteps)
        if (onBoard(file + s[0], rank + s[1]) &&
            b.board[(rank + s[1]) * 8 + file + s[0]] == pieceOf(2, by))
            return true;
    for (auto& s : kingSteps)
        if (onBoard(file + s[0], rank + s[1]) &&
            b.board[(rank + s[1]) * 8 + file + s[0]] == pieceOf(6, by))
            return true;
    for (int slider = 0; slider < 2; slider++) {
        auto& directions = slider == 0 ? rookDirections : bishopDirections;
        int kind = slider == 0 ? 4 : 3;
        for (auto& d : directions) {
            for (int f = file + d[0], r = rank + d[1]; onBoard(f, r); f += d[0], r += d[1]) {
                int piece = b.board[r * 8 + f];
                if (!piece) continue;
                if (colourOf(piece) == by && (kindOf(piece) == kind || kindOf(piece) == 5))
                    return true;
                break;
            }
        }
    }
    return false;
}

int kingSquare(const ReferenceBoard& b, int colour) {
    for (int sq = 0; sq < 64; sq++)
        if (b.board[sq] == pieceOf(6, colour)) return sq;
    return -1;
}

void addPawnMove(std::vector<RefMove>& out, int from, int to, bool lastRank) {
    if (lastRank) {
        for (int promotion = 4; promotion >= 1; promotion--)
            out.push_back({from, to, promotion, false, false, false});
    } else {
        out.push_back({from, to, 0, false, false, false});
    }
}

std::vector<RefMove> pseudoMoves(const ReferenceBoard& b) {
    std::vector<RefMove> out;
    int us = b.side;
    for (int sq = 0; sq < 64; sq++) {
        int piece = b.board[sq];
        if (!piece || colourOf(piece) != us) continue;
        int file = sq % 8, rank = sq / 8;
        switch (kindOf(piece)) {
            case 1: {
                int forward = us == 0 ? 1 : -1;
                int nextRank = rank + forward;
                bool last = nextRank == (us == 0 ? 7 : 0);
                if (onBoard(file, nextRank) && !b.board[nextRank * 8 + file]) {
                    addPawnMove(out, sq, nextRank * 8 + file, last);
                    int startRank = us == 0 ? 1 : 6;
                    int twoRank = rank + 2 * forward;
                    if (rank == startRank && !b.board[twoRank * 8 + file])
                        out.push_back({sq, twoRank * 8 + file, 0, false, false, true});
                }
                for (int df : {-1, 1}) {
                    if (!onBoard(file + df, nextRank)) continue;
                    int to = nextRank * 8 + file + df;
                    if (b.board[to] && colourOf(b.board[to]) != us) addPawnMove(out, sq, to, last);
                    if (to == b.enPassant) out.push_back({sq, to, 0, false, true, false});
                }
                break;
            }
            case 2:
            case 6: {
                auto& steps = kindOf(piece) == 2 ? knightSteps : kingSteps;
                for (auto& s : steps) {
                    if (!onBoard(file + s[0], rank + s[1])) continue;
                    int to = (rank + s[1]) * 8 + file + s[0];
                    if (!b.board[to] || colourOf(b.board[to]) != us)
                        out.push_back({sq, to, 0, false, false, false});
                }
                break;
            }
            default: {
                int kind = kindOf(piece);
                for (int slider = 0; slider < 2; slider++) {
                    if (slider == 0 && kind == 3) continue;
                    if (slider == 1 && kind == 4) continue;
                    auto& directions = slider == 0 ? rookDirections : bishopDirections;
                    for (auto& d : directions) {
                        for (int f = file + d[0], r = rank + d[1]; onBoard(f, r);
                             f += d[0], r += d[1]) {
                            int to = r * 8 + f;
                            if (b.board[to] && colourOf(b.board[to]) == us) break;
                            out.push_back({sq, to, 0, false, false, false});
                            if (b.board[to]) break;
                        }
                    }
                }
            }
        }
    }
    // Castling: right held, king and rook at home, path empty, and neither the
    // king's square nor the two it crosses or lands on attacked.
    int them = us ^ 1, base = us == 0 ? 0 : 56;
    int kingRight = us == 0 ? 1 : 4, queenRight = us == 0 ? 2 : 8;
    if (b.board[base + 4] == pieceOf(6, us)) {
        if ((b.castling & kingRight) && b.board[base + 7] == pieceOf(4, us) && !b.board[base + 5] &&
            !b.board[base + 6] && !attacked(b, base + 4, them) && !attacked(b, base + 5, them) &&
            !attacked(b, base + 6, them))
            out.push_back({base + 4, base + 6, 0, true, false, false});
        if ((b.castling & queenRight) && b.board[base] == pieceOf(4, us) && !b.board[base + 1] &&
            !b.board[base + 2] && !b.board[base + 3] && !attacked(b, base + 4, them) &&
            !attacked(b, base + 3, them) && !attacked(b, base + 2, them))
            out.push_back({base + 4, base + 2, 0, true, false, false});
    }
    return out;
}

ReferenceBoard play(const ReferenceBoard& b, const RefMove& m) {
    ReferenceBoard n = b;
    int us = b.side;
    int piece = n.board[m.from];
    n.board[m.from] = 0;
    n.board[m.to] = m.promotion ? pieceOf(m.promotion + 1, us) : piece;
    if (m.enPassant) n.board[us == 0 ? m.to - 8 : m.to + 8] = 0;
    if (m.castle) {
        int base = us == 0 ? 0 : 56;
        bool kingSide = m.to == base + 6;
        n.board[kingSide ? base + 7 : base] = 0;
        n.board[kingSide ? base + 5 : base + 3] = pieceOf(4, us);
    }
    // A right goes when its king or rook leaves home or is taken there.
    for (int sq : {m.from, m.to}) {
        if (sq == 4) n.castling &= ~3;
        if (sq == 7) n.castling &= ~1;
        if (sq == 0) n.castling &= ~2;
        if (sq == 60) n.castling &= ~12;
        if (sq == 63) n.castling &= ~4;
        if (sq == 56) n.castling &= ~8;
    }
    n.enPassant = m.doubleStep ? (m.from + m.to) / 2 : -1;
    n.side = us ^ 1;
    return n;
}

std::vector<std::pair<RefMove, ReferenceBoard>> legalMoves(const ReferenceBoard& b) {
    std::vector<std::pair<RefMove, ReferenceBoard>> out;
    for (const RefMove& m : pseudoMoves(b)) {
        ReferenceBoard n = play(b, m);
        if (!attacked(n, kingSquare(n, b.side), n.side)) out.emplace_back(m, n);
    }
    return out;
}

}  // namespace

ReferenceBoard referenceFrom(const Position* position) {
    ReferenceBoard b;
    for (int sq = 0; sq < 64; sq++) b.board[sq] = position->board[sq];
    b.side = position->player;
    b.castling = position->castling;
    b.enPassant = position->enPassant ? position->enPassant : -1;
    return b;
}

namespace {

std::string moveText(const RefMove& m) {
    std::string text;
    for (int sq : {m.from, m.to}) {
        text += static_cast<char>('a' + sq % 8);
        text += static_cast<char>('1' + sq / 8);
    }
    if (m.promotion) text += "nbrq"[m.promotion - 1];
    return text;
}

}  // namespace

std::vector<std::string> referenceMoves(const ReferenceBoard& b) {
    std::vector<std::string> texts;
    for (auto& [m, n] : legalMoves(b)) texts.push_back(moveText(m));
    std::sort(texts.begin(), texts.end());
    return texts;
}

std::vector<ReferenceChild> referenceChildren(const ReferenceBoard& b) {
    std::vector<ReferenceChild> children;
    for (auto& [m, n] : legalMoves(b))
        children.push_back({moveText(m), m.from, m.to, m.promotion, n});
    return children;
}

uint64_t referencePerft(const ReferenceBoard& b, int depth) {
    if (depth == 0) return 1;
    auto moves = legalMoves(b);
    if (depth == 1) return moves.size();
    uint64_t nodes = 0;
    for (auto& [m, n] : moves) nodes += referencePerft(n, depth - 1);
    return nodes;
}

bool referenceInCheck(const ReferenceBoard& b) {
    return attacked(b, kingSquare(b, b.side), b.side ^ 1);
}
