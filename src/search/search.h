// Iterative deepening with the root search and multi-PV, the main alpha-beta
// search and the quiescence search.
#pragma once

#include <atomic>
#include <cstdint>

#include "board/position.h"
#include "moves/movegenerator.h"

// A side mated at ply p scores p - MATE; the mating side MATE - p.
inline constexpr int MATE = 30000;
// The deepest iteration a search runs without an explicit depth.
inline constexpr int MAX_ITERATION_DEPTH = 40;
// An explicit "go depth" is bounded so that depths fit the table's 8-bit field.
inline constexpr int MAX_SEARCH_DEPTH = 127;

// The "MultiPV" option: principal variations computed and reported.
extern int searchMultipv;
// Depth of the running iteration (read by the bitbase rule on every thread).
extern std::atomic<int> iterativeDepth;
// Deepest quiescence ply reached in the running search.
extern std::atomic<int> searchDepth;

// Node counting: each search thread counts into its own cache line, so that
// threads never fight over one counter; the total is their sum.
inline constexpr int MAX_COUNTING_THREADS = 18;
struct alignas(64) NodeCounter {
    std::atomic<uint64_t> nodes{0};
};
extern NodeCounter nodeCounters[MAX_COUNTING_THREADS];
extern thread_local int searchThreadIndex;  // 0 for the search thread, 1.. for workers

inline void searchNodesIncrement() {
    std::atomic<uint64_t>& n = nodeCounters[searchThreadIndex].nodes;
    n.store(n.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}
uint64_t searchNodes();
void searchNodesReset();

// Searches a copy of the position under the node and depth limits and prints
// the best move (waiting first in infinite and ponder mode until the answer is
// asked for).
void iterativeDeepening(const Position* position, uint64_t maxNodes, uint32_t maxDepth);

// One iteration over the root moves; the first `lines` entries are searched as
// principal-variation lines.
void rootSearch(Position* position, RootMoveList* list, int depth, int lines);

// Records a root move's result and moves it up to its place; returns its new index.
int updateMultipv(RootMoveList* list, int index, int score, int depth);

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
