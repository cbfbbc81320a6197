#include "moves/movegenerator.h"

namespace {

constexpr Bitboard RANK_1 = 0x00000000000000ffULL;
constexpr Bitboard RANK_3 = 0x0000000000ff0000ULL;
constexpr Bitboard RANK_6 = 0x0000ff0000000000ULL;
constexpr Bitboard RANK_8 = 0xff00000000000000ULL;

// Appends moves to a list through a local count, so that the compiler keeps it
// in a register; a list that is full takes no more moves (no legal position
// comes near the capacity, but nothing may write past it).
struct ListWriter {
    Move* moves;
    int32_t* scores;
    uint32_t count = 0;

    explicit ListWriter(MoveList* list) : moves(list->moves), scores(list->scores) {}

    void add(Move move, int32_t score) {
        if (count < MAX_MOVES) {
            moves[count] = move;
            scores[count] = score;
            count++;
        }
    }

    // The four promotions onto one square, queen first; bonus is the value of
    // the captured man (0 for a push).
    void addPromotions(int from, int to, int32_t bonus) {
        add(moveMake(MOVE_PROMOTE_QUEEN, from, to), bonus + 975);
        add(moveMake(MOVE_PROMOTE_ROOK, from, to), bonus + 500);
        add(moveMake(MOVE_PROMOTE_BISHOP, from, to), bonus + 325);
        add(moveMake(MOVE_PROMOTE_KNIGHT, from, to), bonus + 300);
    }

    void finish(MoveList* list) {
        list->count = count;
        list->current = 0;
        list->sortedUpTo = 0;
    }
};

// Captures of one man: victim value less the attacker's (a king counts 0).
inline void addCaptures(ListWriter& out, const Position* p, int from, Bitboard targets,
                        int32_t attacker) {
    while (targets) {
        int to = bitPopFirst(targets);
        out.add(moveMake(MOVE_CAPTURE, from, to), PIECE_VALUE[p->board[to]] - attacker);
    }
}

// Pawn captures onto a target set; the from-square is to - delta. Captures onto
// the last rank are the four promotions.
inline void addPawnCaptures(ListWriter& out, const Position* p, Bitboard targets, int delta) {
    while (targets) {
        int to = bitPopFirst(targets);
        int from = to - delta;
        int32_t victim = PIECE_VALUE[p->board[to]];
        if (to > 55 || to < 8)
            out.addPromotions(from, to, victim);
        else
            out.add(moveMake(MOVE_CAPTURE, from, to), victim - 90);
    }
}

// Scores for lists without quiet scores of their own.
const QuietScores noQuietScores{};

inline void addQuiets(ListWriter& out, const QuietScores& scores, int from, Bitboard targets) {
    while (targets) {
        int to = bitPopFirst(targets);
        out.add(moveMake(MOVE_NORMAL, from, to), scores[from][to].load(std::memory_order_relaxed));
    }
}

inline void addPawnQuiets(ListWriter& out, const QuietScores& scores, Bitboard targets, int delta) {
    while (targets) {
        int to = bitPopFirst(targets);
        int from = to - delta;
        out.add(moveMake(MOVE_NORMAL, from, to), scores[from][to].load(std::memory_order_relaxed));
    }
}

}  // namespace

void tacticalMovesGenerate(const Position* p, MoveList* list) {
    ListWriter out(list);
    const int us = p->player, them = us ^ 1;
    const Bitboard* bb = p->bitboard;
    const Bitboard enemy = bb[them];
    const Bitboard empty = ~p->occupied;
    const Bitboard pawns = bb[WHITE_PAWN + us];

    if (us == WHITE) {
        Bitboard pushes = (pawns << 8) & empty & RANK_8;
        while (pushes) {
            int to = bitPopFirst(pushes);
            out.addPromotions(to - 8, to, 0);
        }
        addPawnCaptures(out, p, (pawns << 9) & enemy & NOT_FILE_A, 9);
        addPawnCaptures(out, p, (pawns << 7) & enemy & NOT_FILE_H, 7);
    } else {
        Bitboard pushes = (pawns >> 8) & empty & RANK_1;
        while (pushes) {
            int to = bitPopFirst(pushes);
            out.addPromotions(to + 8, to, 0);
        }
        addPawnCaptures(out, p, (pawns >> 7) & enemy & NOT_FILE_A, -7);
        addPawnCaptures(out, p, (pawns >> 9) & enemy & NOT_FILE_H, -9);
    }

    if (p->enPassant) {
        // The pawns that attack the square are where an enemy pawn on it would attack.
        Bitboard takers = attackPawn[them][p->enPassant] & pawns;
        while (takers) out.add(moveMake(MOVE_EN_PASSANT, bitPopFirst(takers), p->enPassant), 0);
    }

    const Bitboard occupied = p->occupied;
    for (Bitboard b = bb[WHITE_KNIGHT + us]; b;) {
        int from = bitPopFirst(b);
        addCaptures(out, p, from, attackKnight[from] & enemy, 300);
    }
    for (Bitboard b = bb[WHITE_BISHOP + us]; b;) {
        int from = bitPopFirst(b);
        addCaptures(out, p, from, bishopAttacks(from, occupied) & enemy, 325);
    }
    for (Bitboard b = bb[WHITE_ROOK + us]; b;) {
        int from = bitPopFirst(b);
        addCaptures(out, p, from, rookAttacks(from, occupied) & enemy, 500);
    }
    for (Bitboard b = bb[WHITE_QUEEN + us]; b;) {
        int from = bitPopFirst(b);
        addCaptures(out, p, from, queenAttacks(from, occupied) & enemy, 975);
    }
    int king = bitFirst(bb[WHITE_KING + us]);
    addCaptures(out, p, king, attackKing[king] & enemy, 0);

    out.finish(list);
}

void quietMovesGenerate(const Position* p, MoveList* list, const QuietScores* quietScores) {
    ListWriter out(list);
    const QuietScores& scores = quietScores ? *quietScores : noQuietScores;
    const int us = p->player;
    const Bitboard* bb = p->bitboard;
    const Bitboard empty = ~p->occupied;
    const Bitboard pawns = bb[WHITE_PAWN + us];

    if (us == WHITE) {
        Bitboard single = (pawns << 8) & empty;
        addPawnQuiets(out, scores, single & ~RANK_8, 8);
        addPawnQuiets(out, scores, ((single & RANK_3) << 8) & empty, 16);
        if ((p->castling & CASTLE_WHITE_KING) && !(p->occupied & (bitOf(F1) | bitOf(G1))))
            out.add(CASTLE_E1G1, scores[E1][G1].load(std::memory_order_relaxed));
        if ((p->castling & CASTLE_WHITE_QUEEN) &&
            !(p->occupied & (bitOf(B1) | bitOf(C1) | bitOf(D1))))
            out.add(CASTLE_E1C1, scores[E1][C1].load(std::memory_order_relaxed));
    } else {
        Bitboard single = (pawns >> 8) & empty;
        addPawnQuiets(out, scores, single & ~RANK_1, -8);
        addPawnQuiets(out, scores, ((single & RANK_6) >> 8) & empty, -16);
        if ((p->castling & CASTLE_BLACK_KING) && !(p->occupied & (bitOf(F8) | bitOf(G8))))
            out.add(CASTLE_E8G8, scores[E8][G8].load(std::memory_order_relaxed));
        if ((p->castling & CASTLE_BLACK_QUEEN) &&
            !(p->occupied & (bitOf(B8) | bitOf(C8) | bitOf(D8))))
            out.add(CASTLE_E8C8, scores[E8][C8].load(std::memory_order_relaxed));
    }

    const Bitboard occupied = p->occupied;
    for (Bitboard b = bb[WHITE_KNIGHT + us]; b;) {
        int from = bitPopFirst(b);
        addQuiets(out, scores, from, attackKnight[from] & empty);
    }
    for (Bitboard b = bb[WHITE_BISHOP + us]; b;) {
        int from = bitPopFirst(b);
        addQuiets(out, scores, from, bishopAttacks(from, occupied) & empty);
    }
    for (Bitboard b = bb[WHITE_ROOK + us]; b;) {
        int from = bitPopFirst(b);
        addQuiets(out, scores, from, rookAttacks(from, occupied) & empty);
    }
    for (Bitboard b = bb[WHITE_QUEEN + us]; b;) {
        int from = bitPopFirst(b);
        addQuiets(out, scores, from, queenAttacks(from, occupied) & empty);
    }
    int king = bitFirst(bb[WHITE_KING + us]);
    addQuiets(out, scores, king, attackKing[king] & empty);

    out.finish(list);
}
