// Parallel search. The search thread is the master: at the nodes along its own
// line it searches the first move itself; then the node is split: its other
// moves become jobs in a queue that the workers and the master itself take
// from, the master taking the results as they come, queueing the searches a
// result asks for, and ending the node at a cut-off (the other jobs are
// broken off) or once every job is back. Workers run the ordinary search on
// their own copy of the split position.
#pragma once

#include <atomic>
#include <cstdint>

#include "board/move.h"

inline constexpr int MAX_SEARCH_THREADS = 16;

// The master splits only nodes with at least this many plies left: the jobs of
// shallower nodes are too small to pay for their hand-over between threads,
// and the master searches them like a worker (docs/benchmarks.md has the
// measurements behind the choice).
inline constexpr int MIN_SPLIT_DEPTH = 4;

// One job: a search of a move of the split node, or the quit message. The
// searching thread writes the result and hands it back.
struct ThreadMessage {
    int32_t type;     // 0 quit, 1 search job
    Move move;        // the move searched, a legal move of the split position
    int32_t rung;     // which of the move's searches this is (a Rung)
    int32_t alpha;    // the node's alpha the window is made from (raised when the node's is higher)
    int32_t score;    // the result, from the split node's view
    int32_t valid;    // 0 when a cut-off of the node broke the search off
    int32_t handoff;  // written with release before every hand-over, read with acquire after
};

// Makes the pool for "Threads" `count`: `count` threads search, the master and
// `count` - 1 workers (none for 1).
void threadsCreate(int count);
// Sets the stop flag, ends and joins the workers and releases the queues.
void threadsDestroy();
// The "Threads" count the pool was made for (1 before any pool is made).
int threadsCount();

// Hands a message to the workers (the message is theirs until it comes back).
void threadMessageSend(ThreadMessage* message);

// What the master did with its splits. Only the search thread writes the
// counters; read them once the search has ended.
struct alignas(64) ThreadSearchStats {
    uint64_t splits;      // nodes split
    uint64_t jobs;        // jobs queued, later searches of a move included
    uint64_t researches;  // jobs queued after a result asked for another search
    uint64_t byMaster;    // jobs the master searched itself
    uint64_t discarded;   // jobs whose result a cut-off made worthless
    int outstanding;      // jobs queued and not yet taken back
    int peakOutstanding;  // the most jobs ever outstanding at once
};
extern ThreadSearchStats threadSearchStats;
void threadSearchStatsReset();

struct MoveList;
struct Position;
struct NodeSearch;

// The master's node after its first move: the other moves of the list are
// searched as jobs by the workers and the master, whose results the master
// takes as they come. True with the score when a result ends the node (a
// cut-off); false once every move is searched, with the node's alpha and best
// move updated. No job of the node is left when it returns.
bool parallelSearchMoves(NodeSearch& node, MoveList* list, int* score);

// The root's moves after its principal variations, tested in parallel with a
// null window at alpha (the weakest line's score) to depth - 1. Each move that
// fails low is handed to `failedLow` with its score; the first that fails high
// breaks the others off and its index in `moves` is returned with its score
// (the moves broken off are left for the caller to search again). -1 when every
// move failed low or the search is stopping.
int parallelRootSearch(Position* root, const Move* moves, int count, int depth, int alpha,
                       int* score, void (*failedLow)(Move move, int score, void* context),
                       void* context);

// Whether the pool has workers that the master can share a search of the given
// depth with.
bool parallelSplits(int depth);
