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

int search(Position* position, int alpha, int beta, int depth, int ply, int nullMove, int pv);
int quiescent(Position* position, int alpha, int beta, int ply, int pv);

// 1 when the last move pushed a pawn that no enemy pawn can stop or take.
int passedPawnMove(const Position* position);

struct HashEntry;

// What a node of the main search, or of its parallel twin, knows once it has
// passed the steps both take first.
struct SearchNode {
    HashEntry* slot;  // the node's table slot
    uint64_t info;    // the slot's word as read, also on a miss
    Move hashMove;    // the table's move for the position, 0 if none
    Move bestMove;    // set when a stored lower bound raised alpha
    int extended;     // the node is searched one ply deeper
};

// The steps every node takes after counting itself: draws, the end of the
// history stack, the bitbase rule (a bitbase draw scores the material balance
// / 16 when asked, else 0), mate-distance pruning, the table probe and the
// extension. Returns true with *score when they settle the node; otherwise
// the window and the depth are updated and *node is filled.
bool searchNodeOpen(Position* position, int* alpha, int* beta, int* depth, int ply, int pv,
                    bool bitbaseDrawByMaterial, SearchNode* node, int* score);

// Reads the node's slot again after internal iterative deepening.
void searchHashMoveAgain(const Position* position, SearchNode* node);

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
