// The main alpha-beta search below the root and the quiescence search, with
// the steps they share and what the running search counts.
#pragma once

#include <atomic>
#include <cstdint>

#include "bitbases/egbb.h"
#include "board/position.h"
#include "moves/movegenerator.h"
#include "search/hash.h"
#include "search/threadsearch.h"

// A side mated at ply p scores p - MATE; the mating side MATE - p.
inline constexpr int MATE = 30000;

// What the running search counts, for its reports and its limits.
struct alignas(64) NodeCounter {
    std::atomic<uint64_t> nodes{0};
};
struct SearchStats {
    // One counter per search thread, so that threads never fight over one
    // cache line; the total is their sum.
    NodeCounter nodes[MAX_SEARCH_THREADS + 1];
    // Depth of the running iteration (read by the bitbase rule at every node).
    alignas(64) std::atomic<int> iterationDepth{0};
    // Deepest ply a quiescence node has reached (the "seldepth" of the reports).
    std::atomic<int> selectiveDepth{0};
    // Successful bitbase probes; many threads add to it, so it has a line of its own.
    alignas(64) std::atomic<uint64_t> bitbaseHits{0};
};
extern SearchStats searchStats;
// Which node counter the thread counts into: 0 for the search thread, 1.. for workers.
extern thread_local int searchThreadIndex;

inline void searchNodesIncrement() {
    std::atomic<uint64_t>& n = searchStats.nodes[searchThreadIndex].nodes;
    n.store(n.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}
uint64_t searchNodes();
// Clears every counter (at the start of a search).
void searchStatsReset();

// The node search, written once for every node. MASTER is true at the nodes
// of the parallel search's master, which hand moves to the worker pool (see
// NodeRules in search.cpp for everything else that sets them apart); every
// other node (the single-threaded search, the workers' jobs) is a plain node.
// Scores are from the side to move's view; a node that a stop interrupts
// returns a meaningless score, which its callers never use.
template <bool MASTER>
int searchNode(Position* position, int alpha, int beta, int depth, int ply, int nullMove, int pv);

// A plain node, and a master's node.
inline int search(Position* position, int alpha, int beta, int depth, int ply, int nullMove,
                  int pv) {
    return searchNode<false>(position, alpha, beta, depth, ply, nullMove, pv);
}
inline int threadSearch(Position* position, int alpha, int beta, int depth, int ply, int nullMove,
                        int pv) {
    return searchNode<true>(position, alpha, beta, depth, ply, nullMove, pv);
}

// The quiescence search: captures and promotions only, from a stand-pat score.
int quiescent(Position* position, int alpha, int beta, int ply, int pv);

// 1 when the last move pushed a pawn that no enemy pawn can stop or take.
int passedPawnMove(const Position* position);

// A node of the main search while its moves are searched: what searching a
// move and taking its result need. The parallel search shares it with the
// node that splits.
struct NodeSearch {
    Position* position;
    int alpha, beta;
    int depth;  // remaining depth, extension included
    int ply;    // plies below the root
    int pv;     // on the principal variation (a full window)
    bool extended;
    HashEntry* slot;
    Move hashMove;  // the table's move, searched first
    Move bestMove;  // the move that raised alpha, 0 while none did
    int tried;      // moves searched or skipped so far
};

// The searches a move after the first may need, in order: a test with a null
// window one ply shallower (late moves only), a null-window test at full depth
// when that fails high, and a full-window search when the score falls inside
// the window. The first move of a node gets the full window at once.
enum Rung : int32_t {
    RUNG_REDUCED = 0,
    RUNG_NULL_WINDOW = 1,
    RUNG_FULL_WINDOW = 2,
    RUNG_DONE = 3,
};

// The child search of a rung: its window and depth, with pv for the child.
struct RungSearch {
    int alpha, beta, depth, pv;
};

// The first rung for the move just made (node.tried moves came before it).
Rung rungFirst(const NodeSearch& node);
// The child search of the rung, with the node's alpha as it was when the
// move's searches began.
RungSearch rungSearch(const NodeSearch& node, Rung rung, int alpha);
// The rung after a result t (from the node's view) of a search at the rung.
inline Rung rungNext(Rung rung, int t, int alpha, int beta) {
    if (rung == RUNG_REDUCED) return t > alpha ? RUNG_NULL_WINDOW : RUNG_DONE;
    if (rung == RUNG_NULL_WINDOW) return t > alpha && t < beta ? RUNG_FULL_WINDOW : RUNG_DONE;
    return RUNG_DONE;
}

// Searches the move just made on the node's position through its rungs, with
// nodes of the given kind; returns the score from the node's view.
template <bool MASTER>
int searchMadeMove(NodeSearch& node);

// Takes a move's score: true when it ends the node (a cut-off: the bound is
// stored, and a quiet move from the picker's list earns a history bonus);
// otherwise a score above alpha raises it and makes the move the best so far.
bool nodeTakeResult(NodeSearch& node, Move move, bool fromList, int score);

// Stores the node's result once every move has been searched and returns it.
int nodeFinish(NodeSearch& node);

// A table move comes from a slot whose key matched; it is checked before it is
// made so that a rare key collision can never feed moveDo a move that is not
// pseudo-legal in the position.
bool searchMoveUsable(const Position* position, Move move);

// Positions whose material is thin enough that the search plays on without the
// null move and futility pruning (zugzwang and mating technique matter).
inline bool searchLateEndgame(const Position* p) {
    return p->phase <= 7 && bitCount(p->occupied) <= 10;
}

// Mate-distance pruning at a node `ply` plies below the root: returns true with
// the score when the window is empty, after narrowing it otherwise.
inline bool mateDistancePrune(int ply, int* alpha, int* beta, int* score) {
    int mated = ply - MATE;
    if (mated > *alpha) {
        if (mated >= *beta) return *score = mated, true;
        *alpha = mated;
    }
    int mating = MATE - ply;
    if (mating < *beta) {
        if (mating <= *alpha) return *score = mating, true;
        *beta = mating;
    }
    return false;
}

// Mate scores are counted from the root; the table keeps them counted from the
// node that stores them, so that a mate found along one line reads right when
// the position comes back at another distance from the root. Scores of at
// least MATE_BOUND are mates.
inline constexpr int MATE_BOUND = MATE - 1000;
inline int hashValueToTable(int score, int ply) {
    return score >= MATE_BOUND ? score + ply : score <= -MATE_BOUND ? score - ply : score;
}
inline int hashValueFromTable(int score, int ply) {
    return score >= MATE_BOUND ? score - ply : score <= -MATE_BOUND ? score + ply : score;
}

// The bitbase rule.

// Search penalty per ply below the root, taken off wins and added to losses, so
// that the search prefers the shorter way into a won ending.
inline constexpr int BITBASE_PLY_FACTOR = 40;
// Whether a search node `ply` plies below the root, in an iteration of depth
// `iterationDepth`, asks the bitbases. Deep in the tree every position with at
// most four men is probed (five only at the horizon ply itself, where the
// tree is widest); nearer the root only positions just entered by a capture or
// a pawn move, since those are the ones the root has not seen yet.
inline bool searchBitbaseWanted(const Position* position, int ply, int iterationDepth) {
    int men = bitCount(position->occupied);
    if (men > EGBB_MAX_MEN || !egbbIsLoaded()) return false;
    int horizon = 2 * iterationDepth / 3;
    if (ply >= horizon) return men <= 4 || ply == horizon;
    if (position->ply <= 0) return false;
    Move last = position->history[position->ply - 1].move;
    int man = position->board[moveTo(last)];
    return moveType(last) == MOVE_CAPTURE || man == WHITE_PAWN || man == BLACK_PAWN;
}

// Search score of a bitbase answer at `ply`: wins lose BITBASE_PLY_FACTOR per ply
// and losses gain it, and the material balance breaks ties between
// equally-scored endings. A draw scores the balance / 16 when `drawByMaterial`
// is set (the main search), else 0.
inline int searchBitbaseScore(const Position* position, int score, int ply, bool drawByMaterial) {
    int us = position->player;
    int balance = position->material[us] - position->material[us ^ 1];
    if (score < 0) return score + BITBASE_PLY_FACTOR * ply + balance;
    if (score > 0) return score - BITBASE_PLY_FACTOR * ply + balance;
    return drawByMaterial ? balance >> 4 : 0;
}

// The whole bitbase step of a search node: 1 and the node's score in `value`
// when the node is answered by the bitbases, else 0.
inline int searchBitbaseProbe(const Position* position, int ply, int iterationDepth,
                              bool drawByMaterial, int* value) {
    int score;
    if (!searchBitbaseWanted(position, ply, iterationDepth) || !egbbProbe(position, &score))
        return 0;
    searchStats.bitbaseHits.fetch_add(1, std::memory_order_relaxed);
    *value = searchBitbaseScore(position, score, ply, drawByMaterial);
    return 1;
}
