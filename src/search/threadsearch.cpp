#include "search/threadsearch.h"

#include "base/output.h"
#include "moves/movedo.h"
#include "moves/picker.h"
#include "search/hash.h"
#include "search/history.h"
#include "search/search.h"
#include "search/startsearch.h"

ThreadSearchStats threadSearchStats;

namespace {

// The worker pool: its threads and the two queues between them and the master.
struct WorkerPool {
    int searchThreads = 1;  // the "Threads" count it was made for
    GThread** workers = nullptr;
    int workerCount = 0;
    GAsyncQueue* jobs = nullptr;     // jobs and the quit message, master to workers
    GAsyncQueue* results = nullptr;  // finished jobs, workers to master
};
WorkerPool pool;

constexpr int HistoryFullDepthMoves = 4;
constexpr int HistoryReductionLimit = 3;

// The queues synchronise inside GLib; the release/acquire pair on the message
// makes the hand-over visible to the thread sanitizer as well.
void publish(ThreadMessage* message) {
    std::atomic_ref<int32_t> handoff(message->handoff);
    handoff.store(handoff.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

void receive(ThreadMessage* message) {
    std::atomic_ref<int32_t>(message->handoff).load(std::memory_order_acquire);
}

// Most jobs are small, so a result (or the next job) is often only microseconds
// away, while a thread that has gone to sleep needs the kernel, and on a
// virtual machine the hypervisor, to wake it again: a round trip that costs
// more than the job. A taker therefore polls the queue for a short while first,
// giving its core to any other runnable thread between polls, and only then
// waits on the queue.
constexpr gint64 POLL_MICROSECONDS = 20;

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
    receive(static_cast<ThreadMessage*>(message));
    return static_cast<ThreadMessage*>(message);
}

// The master takes one finished job back.
ThreadMessage* jobReceive() {
    threadSearchStats.outstanding--;
    return popFrom(pool.results);
}

// Sends a job for the move just made on the node's position: the rung's search
// of it, with the node's alpha as it was when the move's searches began.
void jobSend(const NodeSearch& node, Move move, Rung rung, int alpha) {
    RungSearch child = rungSearch(node, rung, alpha);
    ThreadMessage* message = g_new(ThreadMessage, 1);
    message->type = 1;
    positionCopy(&message->position, node.position);
    message->alpha = child.alpha;
    message->beta = child.beta;
    message->depth = child.depth;
    message->ply = node.ply + 1;
    message->nullMove = 1;
    message->move = move;
    message->score = 0;
    message->rung = rung;
    message->pv = child.pv;
    message->handoff = 0;
    ThreadSearchStats& stats = threadSearchStats;
    stats.jobs++;
    if (++stats.outstanding > stats.peakOutstanding) stats.peakOutstanding = stats.outstanding;
    threadMessageSend(message);
}

// One finished job, seen from the node that sent it.
struct JobResult {
    Move move;
    Rung rung;
    int alpha;  // the node's alpha the job's window was made from
    int score;  // from the node's view
};

JobResult jobTake() {
    ThreadMessage* message = jobReceive();
    JobResult result{message->move, static_cast<Rung>(message->rung), -message->beta,
                     -message->score};
    g_free(message);
    return result;
}

// Abandons the outstanding jobs: the workers return at once and their results
// are discarded. With `moves`, the moves of the abandoned jobs are kept there
// in the order they come back.
void parallelSearchStop(int idle, MoveList* moves = nullptr) {
    if (idle < pool.workerCount) {
        parallelStopFlag.store(1, std::memory_order_relaxed);
        for (int outstanding = pool.workerCount - idle; outstanding > 0; outstanding--) {
            ThreadMessage* message = jobReceive();
            threadSearchStats.abandoned++;
            if (moves) {
                moves->moves[moves->count] = message->move;
                moves->scores[moves->count] = 0;
                moves->count++;
            }
            g_free(message);
        }
    }
    parallelStopFlag.store(0, std::memory_order_relaxed);
}

}  // namespace

void threadSearchStatsReset() { threadSearchStats = ThreadSearchStats{}; }

void threadMessageSend(ThreadMessage* message) {
    publish(message);
    g_async_queue_push(pool.jobs, message);
}

namespace {

// A worker: takes jobs until the quit message comes.
gpointer workerRun(gpointer data) {
    searchThreadIndex = GPOINTER_TO_INT(data);
    for (;;) {
        ThreadMessage* message = popFrom(pool.jobs);
        if (message->type == 0) return nullptr;
        if (message->type != 1)
            fatalError("Thread message is wrong! (%u)\n", static_cast<unsigned>(message->type));
        message->score = search(&message->position, message->alpha, message->beta, message->depth,
                                message->ply, message->nullMove, message->pv);
        publish(message);
        g_async_queue_push(pool.results, message);
    }
}

}  // namespace

void threadsCreate(int count) {
    pool.searchThreads = count;
    if (count == 1) return;
    pool.jobs = g_async_queue_new();
    pool.results = g_async_queue_new();
    pool.workerCount = count;
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
    g_async_queue_unref(pool.jobs);
    g_async_queue_unref(pool.results);
    pool = WorkerPool{};
}

int threadsCount() { return pool.searchThreads; }

namespace {

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

bool parallelSearchMoves(NodeSearch& node, MoveList* list, int* score) {
    if (pool.workerCount == 0) return searchRestHere(node, list, score);
    Position* p = node.position;
    // The other moves go to the workers; results are taken as they arrive.
    int idle = pool.workerCount;
    for (;;) {
        Move next = 0;
        while (idle > 0 && (next = nextMoveDo(p, list))) {
            jobSend(node, next, rungFirst(node), node.alpha);
            moveUndo(p);
            idle--;
            node.tried++;
        }
        if (idle > 0) break;  // no move left to send

        JobResult result = jobTake();
        idle = 1;
        Rung rung = rungNext(result.rung, result.score, result.alpha, node.beta);
        if (rung != RUNG_DONE) {
            // The test failed high: the move's next search goes out as a new job.
            moveDo(p, result.move);
            threadSearchStats.researches++;
            jobSend(node, result.move, rung, result.alpha);
            moveUndo(p);
            idle = 0;
            continue;
        }
        if (result.score >= node.beta) parallelSearchStop(idle);
        if (nodeTakeResult(node, result.move, true, result.score)) {
            *score = result.score;
            return true;
        }
    }

    // The moves are exhausted: abandon what is still running and search those
    // moves here, in the order their jobs came back.
    list->count = 0;
    list->current = 0;
    parallelSearchStop(idle, list);
    list->sortedUpTo = list->count;
    list->stage = STAGE_QUIET;
    return searchRestHere(node, list, score);
}
