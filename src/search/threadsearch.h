// Parallel search: the master searches the first move of a node itself and
// hands the others to a pool of worker threads through two asynchronous queues.
#pragma once

#include <atomic>

#include "board/position.h"

inline constexpr int MAX_SEARCH_THREADS = 16;

// One job: a copy of the master's position with the job's move made, its
// window and depth; the worker writes the score and hands it back.
struct ThreadMessage {
    int32_t type;  // 0 quit, 1 search job
    Position position;
    int32_t alpha;
    int32_t beta;
    int32_t depth;
    int32_t ply;
    int32_t nullMove;
    Move move;
    int32_t score;
    int32_t rung;  // which of the move's searches this is (a Rung)
    int32_t pv;
    int32_t handoff;  // written with release before every hand-over, read with acquire after
};

// Makes the pool for "Threads" `count`: `count` workers, none for 1.
void threadsCreate(int count);
// Sets the stop flag, ends and joins the workers and releases the queues.
void threadsDestroy();
// The "Threads" count the pool was made for (1 before any pool is made).
int threadsCount();

// Hands a message to the workers (the message is theirs until it comes back).
void threadMessageSend(ThreadMessage* message);

// What the master did with its jobs. Only the search thread writes the
// counters; read them once the search has ended.
struct alignas(64) ThreadSearchStats {
    uint64_t jobs;        // jobs sent, re-searches included
    uint64_t researches;  // jobs sent again after their result (later rungs)
    uint64_t abandoned;   // jobs whose result was thrown away
    int outstanding;      // jobs sent and not yet taken back
    int peakOutstanding;  // the most jobs ever outstanding at once
};
extern ThreadSearchStats threadSearchStats;
void threadSearchStatsReset();

struct MoveList;
struct NodeSearch;

// The master's node after its first move: the other moves of the list are
// searched by the workers, whose results the master takes as they come. True
// with the score when a result ends the node (a cut-off); false once every
// move is searched, with the node's alpha and best move updated.
bool parallelSearchMoves(NodeSearch& node, MoveList* list, int* score);
