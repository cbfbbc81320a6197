#include "search/threadsearch.h"

#include <glib.h>

#include <algorithm>

#include "base/debug.h"
#include "base/output.h"
#include "board/position.h"
#include "moves/movedo.h"
#include "moves/movegenerator.h"
#include "moves/picker.h"
#include "search/search.h"
#include "search/startsearch.h"

ThreadSearchStats threadSearchStats;

namespace {

// The node the master has split: what a job needs besides its move. Only one
// node is split at a time (the master searches nothing of its own line while
// jobs are out), so one split point serves every search. The master writes it
// before the node's first job goes out and leaves it alone until the last one
// is back. The jobs' messages live here too, one per move of the node, so a
// split allocates nothing.
struct SplitPoint {
    Position position;              // the node's position, before any job's move
    NodeSearch node;                // the node's window, depth, ply and pv as split
    std::atomic<int> alpha;         // the node's alpha now: a job starts from it
    ThreadMessage jobs[MAX_MOVES];  // a move's first search, reused for its later ones
    int jobCount;                   // messages handed out since the split began
};

// The worker pool: its threads, their positions and the two queues between
// them and the master.
struct WorkerPool {
    int searchThreads = 1;  // the "Threads" count it was made for
    int workerCount = 0;
    GThread** workers = nullptr;
    Position* positions = nullptr;   // one per worker
    GAsyncQueue* jobs = nullptr;     // jobs and the quit message, to whoever is free
    GAsyncQueue* results = nullptr;  // finished jobs, to the master
    SplitPoint* split = nullptr;
};
WorkerPool pool;

// The queues synchronise inside GLib; the release/acquire pair on the message
// makes the hand-over visible to the thread sanitizer as well.
void publish(ThreadMessage* message) {
    std::atomic_ref<int32_t> handoff(message->handoff);
    handoff.store(handoff.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

ThreadMessage* received(gpointer message) {
    auto* m = static_cast<ThreadMessage*>(message);
    if (m) std::atomic_ref<int32_t>(m->handoff).load(std::memory_order_acquire);
    return m;
}

// A job or a result is often only microseconds away, while a thread that has
// gone to sleep needs the kernel, and on a virtual machine the hypervisor, to
// wake it again. A taker therefore polls the queue for a short while first,
// giving its core to any other runnable thread between polls, and only then
// waits on the queue.
constexpr gint64 POLL_MICROSECONDS = 50;

ThreadMessage* popFrom(GAsyncQueue* queue) {
    gpointer message = g_async_queue_try_pop(queue);
    if (!message) {
        gint64 until = g_get_monotonic_time() + POLL_MICROSECONDS;
        do {
            g_thread_yield();
            message = g_async_queue_try_pop(queue);
        } while (!message && g_get_monotonic_time() < until);
        if (!message) message = g_async_queue_pop(queue);
    }
    return received(message);
}

ThreadMessage* tryPopFrom(GAsyncQueue* queue) { return received(g_async_queue_try_pop(queue)); }

// A message for the first search of another move of the split node.
ThreadMessage* jobNew() {
    SplitPoint& split = *pool.split;
    KORVAN_ASSERT(split.jobCount < MAX_MOVES);
    return &split.jobs[split.jobCount++];
}

// Queues a job for a move of the split node in `message` (a new one, or the
// message of the move's last result, which the master holds again). Later
// searches of a move go to the front: the node waits for them.
void jobQueue(ThreadMessage* message, Move move, Rung rung, int alpha, bool front) {
    *message = ThreadMessage{1, move, rung, alpha, 0, 0, 0};
    ThreadSearchStats& stats = threadSearchStats;
    stats.jobs++;
    if (++stats.outstanding > stats.peakOutstanding) stats.peakOutstanding = stats.outstanding;
    publish(message);
    if (front)
        g_async_queue_push_front(pool.jobs, message);
    else
        g_async_queue_push(pool.jobs, message);
}

// Searches a job on a position equal to the split position (the thread's own
// copy, or the master's position at the node). A job that a cut-off of the node
// has made worthless is not searched, and a search that one breaks off is
// marked so; a result that is itself a cut-off breaks the others off.
void jobRun(ThreadMessage* job, Position* p) {
    const SplitPoint& split = *pool.split;
    const NodeSearch& node = split.node;
    job->valid = 0;
    if (parallelStopFlag.load(std::memory_order_relaxed)) return;
    job->alpha = std::max(job->alpha, split.alpha.load(std::memory_order_relaxed));
    Rung rung = static_cast<Rung>(job->rung);
    RungSearch child = rungSearch(node, rung, job->alpha);
    if (!moveDo(p, job->move)) fatalError("Wrong job move!\n");
    job->score = -search(p, child.alpha, child.beta, child.depth, node.ply + 1, 1, child.pv);
    moveUndo(p);
    if (parallelStopFlag.load(std::memory_order_relaxed)) return;
    job->valid = 1;
    if (rung != RUNG_REDUCED && job->score >= node.beta)
        parallelStopFlag.store(1, std::memory_order_relaxed);
}

// A worker: takes jobs until the quit message comes.
gpointer workerRun(gpointer data) {
    const int index = GPOINTER_TO_INT(data);
    searchThreadIndex = index;
    Position* own = &pool.positions[index - 1];
    for (;;) {
        ThreadMessage* message = popFrom(pool.jobs);
        if (message->type == 0) return nullptr;
        if (message->type != 1)
            fatalError("Thread message is wrong! (%u)\n", static_cast<unsigned>(message->type));
        positionCopy(own, &pool.split->position);
        jobRun(message, own);
        publish(message);
        g_async_queue_push(pool.results, message);
    }
}

// The next search a parallel result asks for, judged by the alpha the search
// was made with: a fail-high of a reduced test is tested again at full depth,
// and a score of a full-depth test inside the window is searched with the full
// window. The next search starts from the node's alpha at that time.
Rung rungAfter(Rung rung, int score, int searchedAlpha, int beta) {
    if (score <= searchedAlpha) return RUNG_DONE;
    if (rung == RUNG_REDUCED) return RUNG_NULL_WINDOW;
    if (rung == RUNG_NULL_WINDOW && score < beta) return RUNG_FULL_WINDOW;
    return RUNG_DONE;
}

// Searches the moves left in the list on this thread, as master nodes.
bool searchRestHere(NodeSearch& node, MoveList* list, int* score) {
    while (Move move = nextMoveDo(node.position, list)) {
        int t = searchMadeMove<true>(node);
        moveUndo(node.position);
        if (nodeTakeResult(node, move, true, t)) {
            *score = t;
            return true;
        }
        node.tried++;
    }
    return false;
}

}  // namespace

void threadSearchStatsReset() { threadSearchStats = ThreadSearchStats{}; }

void threadMessageSend(ThreadMessage* message) {
    publish(message);
    g_async_queue_push(pool.jobs, message);
}

void threadsCreate(int count) {
    pool.searchThreads = count;
    if (count <= 1) return;
    pool.jobs = g_async_queue_new();
    pool.results = g_async_queue_new();
    pool.split = new SplitPoint;
    pool.workerCount = count - 1;
    pool.positions = g_new0(Position, pool.workerCount);
    pool.workers = g_new0(GThread*, pool.workerCount);
    for (int i = 0; i < pool.workerCount; i++) {
        GError* error = nullptr;
        pool.workers[i] = g_thread_try_new("worker", workerRun, GINT_TO_POINTER(i + 1), &error);
        if (!pool.workers[i])
            fatalError("Cannot create a worker thread: %s\n", error ? error->message : "");
    }
}

void threadsDestroy() {
    stopFlag.store(1, std::memory_order_relaxed);
    if (!pool.workers) return;
    ThreadMessage* quit = g_new0(ThreadMessage, 1);
    for (int i = 0; i < pool.workerCount; i++) threadMessageSend(quit);
    for (int i = 0; i < pool.workerCount; i++) g_thread_join(pool.workers[i]);
    g_free(quit);
    g_free(pool.workers);
    g_free(pool.positions);
    delete pool.split;
    g_async_queue_unref(pool.jobs);
    g_async_queue_unref(pool.results);
    pool = WorkerPool{};
}

int threadsCount() { return pool.searchThreads; }

bool parallelSplits(int depth) { return pool.workerCount > 0 && depth >= MIN_SPLIT_DEPTH; }

namespace {

// Readies the split point for the node's jobs.
void splitStart(const NodeSearch& node) {
    SplitPoint& split = *pool.split;
    positionCopy(&split.position, node.position);
    split.node = node;
    split.alpha.store(node.alpha, std::memory_order_relaxed);
    split.jobCount = 0;
    threadSearchStats.splits++;
}

// What a split came to: a cut-off (its move and score), or none.
struct SplitOutcome {
    bool cutoff;
    Move move;
    int score;
};

// Takes the results of the split node's jobs as they come, until every one is
// back; between them the master searches jobs of its own, and waits only once
// none is left in the queue. A result asks for the move's next search, ends the
// node (a cut-off: every other job is broken off, those still queued taken back
// unsearched), raises the node's alpha, or fails low (handed to `failedLow`
// when given).
SplitOutcome splitCollect(NodeSearch& node, int outstanding,
                          void (*failedLow)(Move move, int score, void* context), void* context) {
    Position* p = node.position;
    SplitOutcome outcome{false, 0, 0};
    while (outstanding > 0) {
        ThreadMessage* result = tryPopFrom(pool.results);
        if (!result && (result = tryPopFrom(pool.jobs))) {
            threadSearchStats.byMaster++;
            jobRun(result, p);
        }
        if (!result) result = popFrom(pool.results);
        outstanding--;
        threadSearchStats.outstanding--;

        const Rung rung = static_cast<Rung>(result->rung);
        const Move move = result->move;
        const int t = result->score, searchedAlpha = result->alpha;
        const bool valid = result->valid && !outcome.cutoff && !searchStopRequested();
        if (!valid) {
            threadSearchStats.discarded++;
            continue;
        }
        Rung next = rungAfter(rung, t, searchedAlpha, node.beta);
        if (next != RUNG_DONE) {
            threadSearchStats.researches++;
            jobQueue(result, move, next, node.alpha, true);
            outstanding++;
        } else if (t >= node.beta) {
            outcome = {true, move, t};
            parallelStopFlag.store(1, std::memory_order_relaxed);
        } else if (t > node.alpha) {
            nodeTakeResult(node, move, true, t);
            pool.split->alpha.store(node.alpha, std::memory_order_relaxed);
        } else if (failedLow) {
            failedLow(move, t, context);
        }
    }
    parallelStopFlag.store(0, std::memory_order_relaxed);
    KORVAN_ASSERT(threadSearchStats.outstanding == 0);
    return outcome;
}

}  // namespace

bool parallelSearchMoves(NodeSearch& node, MoveList* list, int* score) {
    if (pool.workerCount == 0) return searchRestHere(node, list, score);
    Position* p = node.position;
    splitStart(node);
    // Every move left becomes a job, in the picker's order.
    int outstanding = 0;
    while (Move move = nextMoveDo(p, list)) {
        Rung rung = rungFirst(node);
        moveUndo(p);
        jobQueue(jobNew(), move, rung, node.alpha, false);
        outstanding++;
        node.tried++;
    }
    SplitOutcome outcome = splitCollect(node, outstanding, nullptr, nullptr);
    if (!outcome.cutoff) return false;
    nodeTakeResult(node, outcome.move, true, outcome.score);
    *score = outcome.score;
    return true;
}

int parallelRootSearch(Position* root, const Move* moves, int count, int depth, int alpha,
                       int* score, void (*failedLow)(Move move, int score, void* context),
                       void* context) {
    NodeSearch node{root, alpha, alpha + 1, depth, -1, 0, false, nullptr, 0, 0, 0};
    splitStart(node);
    for (int i = 0; i < count; i++) jobQueue(jobNew(), moves[i], RUNG_NULL_WINDOW, alpha, false);
    SplitOutcome outcome = splitCollect(node, count, failedLow, context);
    if (!outcome.cutoff) return -1;
    *score = outcome.score;
    for (int i = 0; i < count; i++)
        if (moves[i] == outcome.move) return i;
    return -1;
}
