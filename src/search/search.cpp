#include "search/search.h"

#include <cstring>

#include "eval/evaluator.h"
#include "moves/movedo.h"
#include "moves/picker.h"
#include "search/history.h"
#include "search/startsearch.h"

SearchStats searchStats;
thread_local int searchThreadIndex = 0;

uint64_t searchNodes() {
    uint64_t total = 0;
    for (const auto& counter : searchStats.nodes)
        total += counter.nodes.load(std::memory_order_relaxed);
    return total;
}

void searchStatsReset() {
    for (auto& counter : searchStats.nodes) counter.nodes.store(0, std::memory_order_relaxed);
    searchStats.selectiveDepth.store(0, std::memory_order_relaxed);
    searchStats.bitbaseHits.store(0, std::memory_order_relaxed);
}

namespace {

constexpr int HistoryFullDepthMoves = 4;
constexpr int HistoryReductionLimit = 3;
constexpr int futilityValue3 = 900, futilityMargin3 = 500;
constexpr int futilityValue2 = 500, futilityMargin2 = 500;
constexpr int futilityValue1 = 200, futilityMargin1 = 200;

constexpr Bitboard BFILE[8] = {
    0x0101010101010101ULL, 0x0202020202020202ULL, 0x0404040404040404ULL, 0x0808080808080808ULL,
    0x1010101010101010ULL, 0x2020202020202020ULL, 0x4040404040404040ULL, 0x8080808080808080ULL,
};

inline bool stopped() {
    return searchStopRequested() || parallelStopFlag.load(std::memory_order_relaxed);
}

}  // namespace

bool searchMoveUsable(const Position* p, Move move) {
    int type = moveType(move), from = moveFrom(move), to = moveTo(move);
    int us = p->player, piece = p->board[from], target = p->board[to];
    if (piece == EMPTY || (piece & 1) != us || from == to) return false;
    if (type == MOVE_CASTLE) {
        if (us == WHITE && move == CASTLE_E1G1)
            return (p->castling & CASTLE_WHITE_KING) && !(p->occupied & (bitOf(F1) | bitOf(G1)));
        if (us == WHITE && move == CASTLE_E1C1)
            return (p->castling & CASTLE_WHITE_QUEEN) &&
                   !(p->occupied & (bitOf(B1) | bitOf(C1) | bitOf(D1)));
        if (us == BLACK && move == CASTLE_E8G8)
            return (p->castling & CASTLE_BLACK_KING) && !(p->occupied & (bitOf(F8) | bitOf(G8)));
        if (us == BLACK && move == CASTLE_E8C8)
            return (p->castling & CASTLE_BLACK_QUEEN) &&
                   !(p->occupied & (bitOf(B8) | bitOf(C8) | bitOf(D8)));
        return false;
    }
    bool enemyThere = target != EMPTY && (target & 1) != us;
    if ((piece & ~1) == WHITE_PAWN) {
        int forward = us == WHITE ? 8 : -8;
        int lastRank = us == WHITE ? 7 : 0;
        bool onLast = squareRank(to) == lastRank;
        bool capture = (attackPawn[us][from] & bitOf(to)) != 0;
        bool push = to == from + forward && target == EMPTY;
        bool doublePush = to == from + 2 * forward && target == EMPTY &&
                          p->board[from + forward] == EMPTY &&
                          squareRank(from) == (us == WHITE ? 1 : 6);
        switch (type) {
            case MOVE_NORMAL:
                return !onLast && (push || doublePush);
            case MOVE_CAPTURE:
                return !onLast && capture && enemyThere;
            case MOVE_EN_PASSANT:
                return capture && p->enPassant && to == p->enPassant;
            case MOVE_PROMOTE_KNIGHT:
            case MOVE_PROMOTE_BISHOP:
            case MOVE_PROMOTE_ROOK:
            case MOVE_PROMOTE_QUEEN:
                return onLast && (push || (capture && enemyThere));
            default:
                return false;
        }
    }
    Bitboard reach;
    switch (piece & ~1) {
        case WHITE_KNIGHT:
            reach = attackKnight[from];
            break;
        case WHITE_BISHOP:
            reach = bishopAttacks(from, p->occupied);
            break;
        case WHITE_ROOK:
            reach = rookAttacks(from, p->occupied);
            break;
        case WHITE_QUEEN:
            reach = queenAttacks(from, p->occupied);
            break;
        default:
            reach = attackKing[from];
            break;
    }
    if (!(reach & bitOf(to))) return false;
    if (type == MOVE_NORMAL) return target == EMPTY;
    if (type == MOVE_CAPTURE) return enemyThere;
    return false;
}

int passedPawnMove(const Position* p) {
    if (p->ply == 0) return 0;
    int to = moveTo(p->history[p->ply - 1].move);
    int piece = p->board[to];
    int file = squareFile(to), rank = squareRank(to);
    Bitboard files = BFILE[file];
    if (file > 0) files |= BFILE[file - 1];
    if (file < 7) files |= BFILE[file + 1];
    if (piece == WHITE_PAWN) {
        Bitboard above = rank < 7 ? ~Bitboard{0} << (8 * (rank + 1)) : 0;
        return (p->bitboard[BLACK_PAWN] & files & above) == 0;
    }
    if (piece == BLACK_PAWN) {
        Bitboard below = (Bitboard{1} << (8 * rank)) - 1;
        return (p->bitboard[WHITE_PAWN] & files & below) == 0;
    }
    return 0;
}

int quiescent(Position* p, int alpha, int beta, int ply, int pv) {
    if (stopped()) return -MATE;
    searchNodesIncrement();
    if (ply > searchStats.selectiveDepth.load(std::memory_order_relaxed))
        searchStats.selectiveDepth.store(ply, std::memory_order_relaxed);
    // The history stack ends here: the static score stands in for the search.
    if (p->ply >= POSITION_PLY_LIMIT) return evaluate(p, alpha, beta, pv);

    int score;
    if (searchBitbaseProbe(p, ply, searchStats.iterationDepth.load(std::memory_order_relaxed),
                           false, &score))
        return score;
    if (mateDistancePrune(ply, &alpha, &beta, &score)) return score;

    // Stand pat: the side to move may decline every capture.
    int e = evaluate(p, alpha, beta, pv);
    if (e > alpha) {
        if (e >= beta) return e;
        alpha = e;
    }

    MoveList list;
    pickerStart(&list, &quietHistory);
    while (nextTacticalMoveDo(p, &list)) {
        int t = -quiescent(p, -beta, -alpha, ply + 1, pv);
        moveUndo(p);
        if (t > alpha) {
            if (t >= beta) return t;
            alpha = t;
        }
    }
    return alpha;
}

bool searchNodeOpen(Position* p, int* alpha, int* beta, int* depth, int ply, int pv,
                    bool bitbaseDrawByMaterial, SearchNode* node, int* score) {
    if (positionRepeat(p) || p->staticMoves > 99) return *score = 0, true;
    if (p->ply >= POSITION_PLY_LIMIT) return *score = evaluate(p, *alpha, *beta, pv), true;

    if (searchBitbaseProbe(p, ply, searchStats.iterationDepth.load(std::memory_order_relaxed),
                           bitbaseDrawByMaterial, score))
        return true;
    if (mateDistancePrune(ply, alpha, beta, score)) return true;

    // Transposition table: a deep enough bound settles the node outside the
    // principal variation; everywhere it supplies the move to try first.
    node->hashMove = node->bestMove = 0;
    if (hashFind(&node->slot, p->key, &node->info)) {
        Move move = hashInfoMove(node->info);
        node->hashMove = move && searchMoveUsable(p, move) ? move : 0;
        if (!pv && hashInfoDepth(node->info) >= *depth) {
            int t = hashValueFromTable(hashInfoValue(node->info), ply);
            switch (hashInfoType(node->info)) {
                case HASH_EXACT:
                    return *score = t, true;
                case HASH_LOWER:
                    if (t > *alpha) {
                        *alpha = t;
                        node->bestMove = node->hashMove;
                        if (t >= *beta) return *score = t, true;
                    }
                    break;
                case HASH_UPPER:
                    if (t < *beta) {
                        *beta = t;
                        if (*alpha >= *beta) return *score = t, true;
                    }
                    break;
            }
        }
    }

    // Checks, pawns reaching the seventh rank, capturing promotions and (on the
    // principal variation) free passed pawns are searched one ply deeper.
    node->extended = 0;
    if (p->extension || (pv && passedPawnMove(p))) {
        (*depth)++;
        node->extended = 1;
    }
    return false;
}

void searchHashMoveAgain(const Position* p, SearchNode* node) {
    uint64_t again;
    if (hashFindAgain(node->slot, p->key, &again)) {
        Move move = hashInfoMove(again);
        node->hashMove = move && searchMoveUsable(p, move) ? move : 0;
    }
}

int search(Position* p, int alpha, int beta, int depth, int ply, int nullMove, int pv) {
    if (stopped()) return 0;
    searchNodesIncrement();

    SearchNode node;
    int score;
    if (searchNodeOpen(p, &alpha, &beta, &depth, ply, pv, true, &node, &score)) return score;
    HashEntry* slot = node.slot;
    Move hashMove = node.hashMove, bestMove = node.bestMove;
    int extended = node.extended;
    if (depth <= 0) return quiescent(p, alpha, beta, ply + 1, pv);

    int us = p->player, them = us ^ 1;
    bool late = searchLateEndgame(p);

    // Null move: if passing still beats beta, the position is too good to search.
    if (nullMove && !pv && depth > 2 && !extended && !late) {
        moveDo(p, MOVE_WORD_NULL);
        int t = -search(p, -beta, 1 - beta, depth <= 6 ? depth - 3 : depth - 4, ply + 1, 0, 0);
        moveUndo(p);
        if (t >= beta) {
            hashWrite(slot, p->key, depth, hashValueToTable(t, ply), HASH_LOWER, 0);
            return t;
        }
    }

    // Internal iterative deepening finds a first move for a PV node without one.
    if (pv && !hashMove && depth > 3 && depth / 2 >= hashInfoDepth(node.info)) {
        search(p, alpha, beta, depth / 2, ply, 0, 1);
        searchHashMoveAgain(p, &node);
        hashMove = node.hashMove;
    }

    // Futility: far below alpha near the leaves, quiet moves that cannot lift
    // the material balance close to alpha are not searched.
    int futility = 0, margin = 0;
    if (!pv && depth <= 3 && !extended && !late) {
        int balance = p->material[us] - p->material[them];
        if (depth == 3 && balance + futilityValue3 <= alpha) {
            futility = 1, margin = futilityMargin3, depth = 2;
        } else if (depth >= 2 && balance + futilityValue2 <= alpha) {
            futility = 1, margin = futilityMargin2;
        } else if (balance + futilityValue1 <= alpha) {
            futility = 1, margin = futilityMargin1;
        }
    }

    MoveList list;
    pickerStart(&list, &quietHistory);
    Move move = 0;
    if (hashMove && moveDo(p, hashMove)) move = hashMove;
    if (!move) move = nextMoveDo(p, &list);
    if (!move) {
        int t = p->check ? ply - MATE : 0;
        hashWrite(slot, p->key, depth, hashValueToTable(t, ply), HASH_EXACT, 0);
        return t;
    }

    int tried = 0;
    do {
        if (futility && !p->extension && margin + p->material[us] - p->material[them] <= alpha) {
            moveUndo(p);
            tried++;
            continue;
        }
        int t;
        if (tried == 0) {
            t = -search(p, -beta, -alpha, depth - 1, ply + 1, 1, pv);
        } else {
            // Late moves of non-PV nodes are first tried one ply shallower.
            if (!pv && tried >= HistoryFullDepthMoves && depth > HistoryReductionLimit &&
                !extended && !p->extension)
                t = -search(p, -alpha - 1, -alpha, depth - 2, ply + 1, 1, 0);
            else
                t = alpha + 1;
            if (t > alpha) {
                t = -search(p, -alpha - 1, -alpha, depth - 1, ply + 1, 1, 0);
                if (t > alpha && t < beta) t = -search(p, -beta, -alpha, depth - 1, ply + 1, 1, pv);
            }
        }
        moveUndo(p);
        if (t > alpha) {
            if (t >= beta) {
                if (list.stage == STAGE_QUIET) historyAdd(moveFrom(move), moveTo(move), depth);
                hashWrite(slot, p->key, depth, hashValueToTable(t, ply), HASH_LOWER, move);
                return t;
            }
            alpha = t;
            bestMove = move;
        }
        tried++;
    } while ((move = nextMoveDo(p, &list)));

    if (bestMove)
        hashWrite(slot, p->key, depth, hashValueToTable(alpha, ply), HASH_EXACT, bestMove);
    else
        hashWrite(slot, p->key, depth, hashValueToTable(alpha, ply), HASH_UPPER, hashMove);
    return alpha;
}
