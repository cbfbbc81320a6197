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

// Sends a job for the move: the position after it, made here and taken back.
void parallelSearch(Position* p, Move move, int alpha, int beta, int depth, int ply, int window,
                    int pv) {
    ThreadMessage* message = g_new(ThreadMessage, 1);
    message->type = 1;
    positionCopy(&message->position, p);
    message->alpha = alpha;
    message->beta = beta;
    message->depth = depth;
    message->ply = ply;
    message->nullMove = 1;
    message->move = move;
    message->score = 0;
    message->window = window;
    message->pv = pv;
    message->handoff = 0;
    ThreadSearchStats& stats = threadSearchStats;
    stats.jobs++;
    if (++stats.outstanding > stats.peakOutstanding) stats.peakOutstanding = stats.outstanding;
    threadMessageSend(message);
}

// Takes one finished job: its move, the alpha it was sent with and its kind.
int parallelSearchResult(Move* move, int* alpha, int* window) {
    ThreadMessage* message = jobReceive();
    *move = message->move;
    *alpha = message->alpha;
    *window = message->window;
    int score = message->score;
    g_free(message);
    return score;
}

// Abandons the outstanding jobs: the workers return at once and their results
// are discarded. With `moves`, the moves of the abandoned jobs are kept there
// in the order they come back.
void parallelSearchStop(int idle, MoveList* moves = nullptr) {
    if (idle < pool.searchThreads) {
        parallelStopFlag.store(1, std::memory_order_relaxed);
        for (int outstanding = pool.searchThreads - idle; outstanding > 0; outstanding--) {
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

int threadSearch(Position* p, int alpha, int beta, int depth, int ply, int nullMove, int pv) {
    if (searchStopRequested()) return 0;
    searchNodesIncrement();

    SearchNode node;
    int score;
    if (searchNodeOpen(p, &alpha, &beta, &depth, ply, pv, false, &node, &score)) return score;
    HashEntry* slot = node.slot;
    Move hashMove = node.hashMove, bestMove = node.bestMove;
    int extended = node.extended;
    if (depth <= 0) return quiescent(p, alpha, beta, ply + 1, 1);

    if (nullMove && !pv && depth > 2 && !extended && !searchLateEndgame(p)) {
        moveDo(p, MOVE_WORD_NULL);
        int t =
            -threadSearch(p, -beta, 1 - beta, depth <= 6 ? depth - 3 : depth - 4, ply + 1, 0, 0);
        moveUndo(p);
        if (t >= beta) {
            hashWrite(slot, p->key, depth, hashValueToTable(t, ply), HASH_LOWER, 0);
            return t;
        }
    }

    if (pv && !hashMove && depth > 3 && depth / 2 >= hashInfoDepth(node.info)) {
        threadSearch(p, alpha, beta, depth / 2, ply, 0, pv);
        searchHashMoveAgain(p, &node);
        hashMove = node.hashMove;
    }

    // The first move is searched here, before any job is sent: its result
    // gives the workers a window.
    MoveList list;
    pickerStart(&list, &quietHistory);
    int tried = 0;
    Move move = 0;
    if (hashMove && moveDo(p, hashMove)) move = hashMove;
    if (!move) move = nextMoveDo(p, &list);
    if (move) {
        int t = -threadSearch(p, -beta, -alpha, depth - 1, ply + 1, 1, pv);
        moveUndo(p);
        if (t > alpha) {
            alpha = t;
            bestMove = move;
            if (t >= beta) {
                if (list.stage == STAGE_QUIET) historyAdd(moveFrom(move), moveTo(move), depth);
                hashWrite(slot, p->key, depth, hashValueToTable(t, ply), HASH_LOWER, move);
                return t;
            }
        }
        tried = 1;

        // The other moves go to the workers; results are taken as they arrive.
        int idle = pool.searchThreads;
        for (;;) {
            Move next = 0;
            while (idle > 0 && (next = nextMoveDo(p, &list))) {
                bool reduce = !pv && tried >= HistoryFullDepthMoves &&
                              depth > HistoryReductionLimit && !extended && !p->extension;
                parallelSearch(p, next, -alpha - 1, -alpha, reduce ? depth - 2 : depth - 1, ply + 1,
                               reduce ? 0 : 1, 0);
                moveUndo(p);
                idle--;
                tried++;
            }
            if (idle > 0) break;  // no move left to send

            Move m;
            int sentAlpha, window;
            int t = -parallelSearchResult(&m, &sentAlpha, &window);
            int a0 = -sentAlpha - 1;
            idle = 1;
            if (window == 0 && t > a0) {
                // The reduced test failed high: test again at full depth.
                moveDo(p, m);
                threadSearchStats.researches++;
                parallelSearch(p, m, sentAlpha, -a0, depth - 1, ply + 1, 1, 0);
                moveUndo(p);
                idle = 0;
                continue;
            }
            if (window == 1 && a0 < t && t < beta) {
                // Inside the window: search it with the full window.
                moveDo(p, m);
                threadSearchStats.researches++;
                parallelSearch(p, m, -beta, -a0, depth - 1, ply + 1, 2, pv);
                moveUndo(p);
                idle = 0;
                continue;
            }
            if (t > alpha) {
                if (t >= beta) {
                    parallelSearchStop(idle);
                    if (moveType(m) == MOVE_NORMAL) historyAdd(moveFrom(m), moveTo(m), depth);
                    hashWrite(slot, p->key, depth, hashValueToTable(t, ply), HASH_LOWER, m);
                    return t;
                }
                alpha = t;
                bestMove = m;
            }
        }

        // The moves are exhausted: abandon what is still running and search
        // those moves here, in the order their jobs came back.
        list.count = 0;
        list.current = 0;
        parallelSearchStop(idle, &list);
        list.sortedUpTo = list.count;
        list.stage = STAGE_QUIET;
        while ((move = nextMoveDo(p, &list))) {
            int t;
            if (!pv && tried >= HistoryFullDepthMoves && depth > HistoryReductionLimit &&
                !extended && !p->extension)
                t = -threadSearch(p, -alpha - 1, -alpha, depth - 2, ply + 1, 1, 0);
            else
                t = alpha + 1;
            if (t > alpha) {
                t = -threadSearch(p, -alpha - 1, -alpha, depth - 1, ply + 1, 1, 0);
                if (t > alpha && t < beta)
                    t = -threadSearch(p, -beta, -alpha, depth - 1, ply + 1, 1, pv);
            }
            moveUndo(p);
            if (t > alpha) {
                if (t >= beta) {
                    if (moveType(move) == MOVE_NORMAL)
                        historyAdd(moveFrom(move), moveTo(move), depth);
                    hashWrite(slot, p->key, depth, hashValueToTable(t, ply), HASH_LOWER, move);
                    return t;
                }
                alpha = t;
                bestMove = move;
            }
            tried++;
        }
    }

    if (!tried) {
        int t = p->check ? ply - MATE : 0;
        hashWrite(slot, p->key, depth, hashValueToTable(t, ply), HASH_EXACT, 0);
        return t;
    }
    if (bestMove)
        hashWrite(slot, p->key, depth, hashValueToTable(alpha, ply), HASH_EXACT, bestMove);
    else
        hashWrite(slot, p->key, depth, hashValueToTable(alpha, ply), HASH_UPPER, hashMove);
    return alpha;
}
