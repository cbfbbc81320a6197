#include "search/search.h"

#include <cstring>

#include "eval/evaluator.h"
#include "moves/movedo.h"
#include "moves/picker.h"
#include "search/history.h"
#include "search/startsearch.h"
#include "search/threadsearch.h"

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

// Late-move reductions: in a node off the principal variation with more than
// REDUCTION_LIMIT plies left, the moves after the first FULL_DEPTH_MOVES are
// first tested one ply shallower, unless the node or the move is extended.
constexpr int FULL_DEPTH_MOVES = 4;
constexpr int REDUCTION_LIMIT = 3;

// Futility pruning at the last three plies, by remaining depth: when the
// material balance plus FUTILITY_GAP stays at or below alpha, the quiet moves
// that leave the balance FUTILITY_MARGIN or more below alpha are not searched.
// At three plies the node is searched as a two-ply one.
constexpr int FUTILITY_GAP[4] = {0, 200, 500, 900};
constexpr int FUTILITY_MARGIN[4] = {0, 200, 500, 500};

constexpr Bitboard FILE_A = 0x0101010101010101ULL;

// What sets the master's nodes apart from every other node. They lie at least
// MIN_SPLIT_DEPTH plies above the leaves (shallower ones are plain nodes), so
// futility pruning and the quiescence search never reach them, and they never
// run while a split is out (the master then searches plain jobs only), so the
// parallel stop never concerns them.
template <bool MASTER>
struct NodeRules {
    // The master hands the moves after the first to the worker pool.
    static constexpr bool splits = MASTER;
    // A bitbase draw scores the material balance / 16 in plain nodes, so that
    // the search still prefers the drawn ending with more material; on the
    // master's line it scores 0.
    static constexpr bool bitbaseDrawByMaterial = !MASTER;
};
static_assert(MIN_SPLIT_DEPTH > 3, "futility pruning reaches nodes of three plies");

// Whether the node must return now: a stop request, or a cut-off elsewhere in
// the node that the master has split.
inline bool nodeStopped() {
    return searchStopRequested() || parallelStopFlag.load(std::memory_order_relaxed);
}

// A table move comes from a slot whose key matched; it is checked before it is
// used (see searchMoveUsable).
inline Move usableHashMove(const Position* p, uint64_t info) {
    Move move = hashInfoMove(info);
    return move && searchMoveUsable(p, move) ? move : 0;
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
    Bitboard files = FILE_A << file;
    if (file > 0) files |= FILE_A << (file - 1);
    if (file < 7) files |= FILE_A << (file + 1);
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
    if (nodeStopped()) return -MATE;
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

Rung rungFirst(const NodeSearch& node) {
    if (node.tried == 0) return RUNG_FULL_WINDOW;
    bool reduce = !node.pv && node.tried >= FULL_DEPTH_MOVES && node.depth > REDUCTION_LIMIT &&
                  !node.extended && !node.position->extension;
    return reduce ? RUNG_REDUCED : RUNG_NULL_WINDOW;
}

RungSearch rungSearch(const NodeSearch& node, Rung rung, int alpha) {
    switch (rung) {
        case RUNG_REDUCED:
            return {-alpha - 1, -alpha, node.depth - 2, 0};
        case RUNG_NULL_WINDOW:
            return {-alpha - 1, -alpha, node.depth - 1, 0};
        default:
            return {-node.beta, -alpha, node.depth - 1, node.pv};
    }
}

template <bool MASTER>
int searchMadeMove(NodeSearch& node) {
    const int alpha = node.alpha;
    int t = alpha;
    for (Rung rung = rungFirst(node); rung != RUNG_DONE;
         rung = rungNext(rung, t, alpha, node.beta)) {
        RungSearch child = rungSearch(node, rung, alpha);
        t = -searchNode<MASTER>(node.position, child.alpha, child.beta, child.depth, node.ply + 1,
                                1, child.pv);
    }
    return t;
}

bool nodeTakeResult(NodeSearch& node, Move move, bool fromList, int score) {
    if (score <= node.alpha) return false;
    if (score >= node.beta) {
        int type = moveType(move);
        if (fromList && (type == MOVE_NORMAL || type == MOVE_CASTLE))
            historyAdd(moveFrom(move), moveTo(move), node.depth);
        hashWrite(node.slot, node.position->key, node.depth, hashValueToTable(score, node.ply),
                  HASH_LOWER, move);
        return true;
    }
    node.alpha = score;
    node.bestMove = move;
    return false;
}

int nodeFinish(NodeSearch& node) {
    const Position* p = node.position;
    if (node.bestMove)
        hashWrite(node.slot, p->key, node.depth, hashValueToTable(node.alpha, node.ply), HASH_EXACT,
                  node.bestMove);
    else
        hashWrite(node.slot, p->key, node.depth, hashValueToTable(node.alpha, node.ply), HASH_UPPER,
                  node.hashMove);
    return node.alpha;
}

template <bool MASTER>
int searchNode(Position* p, int alpha, int beta, int depth, int ply, int nullMove, int pv) {
    using Rules = NodeRules<MASTER>;
    // Below the split depth the master searches like a worker.
    if (MASTER && depth < MIN_SPLIT_DEPTH)
        return searchNode<false>(p, alpha, beta, depth, ply, nullMove, pv);
    if (nodeStopped()) return 0;
    searchNodesIncrement();

    // Draws, and the end of the history stack, where the static score stands in.
    if (positionRepeat(p) || p->staticMoves > 99) return 0;
    if (p->ply >= POSITION_PLY_LIMIT) return evaluate(p, alpha, beta, pv);

    int score;
    if (searchBitbaseProbe(p, ply, searchStats.iterationDepth.load(std::memory_order_relaxed),
                           Rules::bitbaseDrawByMaterial, &score))
        return score;
    if (mateDistancePrune(ply, &alpha, &beta, &score)) return score;

    // Transposition table: a deep enough bound settles the node outside the
    // principal variation; everywhere it supplies the move to try first.
    NodeSearch node{p, alpha, beta, depth, ply, pv, false, nullptr, 0, 0, 0};
    uint64_t info;
    if (hashFind(&node.slot, p->key, &info)) {
        node.hashMove = usableHashMove(p, info);
        if (!pv && hashInfoDepth(info) >= depth) {
            int t = hashValueFromTable(hashInfoValue(info), ply);
            switch (hashInfoType(info)) {
                case HASH_EXACT:
                    return t;
                case HASH_LOWER:
                    if (t > node.alpha) {
                        node.alpha = t;
                        node.bestMove = node.hashMove;
                        if (t >= node.beta) return t;
                    }
                    break;
                case HASH_UPPER:
                    if (t < node.beta) {
                        node.beta = t;
                        if (node.alpha >= node.beta) return t;
                    }
                    break;
            }
        }
    }

    // Checks, pawns reaching the seventh rank, capturing promotions and (on the
    // principal variation) free passed pawns are searched one ply deeper.
    if (p->extension || (pv && passedPawnMove(p))) {
        node.depth++;
        node.extended = true;
    }
    if (node.depth <= 0) return quiescent(p, node.alpha, node.beta, ply + 1, pv);

    const int us = p->player, them = us ^ 1;
    const bool late = searchLateEndgame(p);

    // Null move: if passing still beats beta, the position is too good to search.
    if (nullMove && !pv && node.depth > 2 && !node.extended && !late) {
        moveDo(p, MOVE_WORD_NULL);
        int reduced = node.depth <= 6 ? node.depth - 3 : node.depth - 4;
        int t = -searchNode<MASTER>(p, -node.beta, 1 - node.beta, reduced, ply + 1, 0, 0);
        moveUndo(p);
        if (t >= node.beta) {
            hashWrite(node.slot, p->key, node.depth, hashValueToTable(t, ply), HASH_LOWER, 0);
            return t;
        }
    }

    // Internal iterative deepening finds a first move for a PV node without one.
    if (pv && !node.hashMove && node.depth > 3 && node.depth / 2 >= hashInfoDepth(info)) {
        searchNode<MASTER>(p, node.alpha, node.beta, node.depth / 2, ply, 0, 1);
        uint64_t again;
        if (hashFindAgain(node.slot, p->key, &again)) node.hashMove = usableHashMove(p, again);
    }

    bool futility = false;
    int margin = 0;
    if (!pv && node.depth <= 3 && !node.extended && !late) {
        // The deepest gap that the balance fails decides the margin.
        int balance = p->material[us] - p->material[them];
        for (int d = node.depth; d >= 1; d--) {
            if (balance + FUTILITY_GAP[d] <= node.alpha) {
                futility = true;
                margin = FUTILITY_MARGIN[d];
                if (d == 3) node.depth = 2;
                break;
            }
        }
    }

    MoveList list;
    pickerStart(&list, &quietHistory);
    Move move = 0;
    if (node.hashMove && moveDo(p, node.hashMove)) move = node.hashMove;
    if (!move) move = nextMoveDo(p, &list);
    if (!move) {
        int t = p->check ? ply - MATE : 0;
        hashWrite(node.slot, p->key, node.depth, hashValueToTable(t, ply), HASH_EXACT, 0);
        return t;
    }

    do {
        // The hash move is the only one that does not come from the list.
        bool fromList = list.stage != STAGE_NONE;
        if (futility && !p->extension &&
            margin + p->material[us] - p->material[them] <= node.alpha) {
            moveUndo(p);
            node.tried++;
            continue;
        }
        int t = searchMadeMove<MASTER>(node);
        moveUndo(p);
        if (nodeTakeResult(node, move, fromList, t)) return t;
        node.tried++;
        // After the first move the master's node hands the others to the workers.
        if (Rules::splits && node.tried == 1) {
            if (parallelSearchMoves(node, &list, &score)) return score;
            break;
        }
    } while ((move = nextMoveDo(p, &list)));

    return nodeFinish(node);
}

template int searchNode<false>(Position*, int, int, int, int, int, int);
template int searchNode<true>(Position*, int, int, int, int, int, int);
template int searchMadeMove<false>(NodeSearch&);
template int searchMadeMove<true>(NodeSearch&);
