// The parallel search against one thread, side by side: every position is
// searched to the same depth with 1 thread and then with N threads, each from
// a cleared 16 MB table, without book or bitbases. Prints nodes per second and
// the time to depth of both, their ratios, and what the master did with its
// jobs.
//
// Usage: korvan-smpbench [DEPTH (9) [THREADS (2) [POSITIONS_FILE]]]   (the
// bench positions, tools/data/bench.fen, by default)
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "base/output.h"
#include "frontend/engine.h"
#include "frontend/uci.h"
#include "search/hash.h"
#include "search/history.h"
#include "search/root.h"
#include "search/search.h"
#include "search/startsearch.h"
#include "search/threadsearch.h"

namespace {

std::vector<std::string> readFens(const char* path) {
    std::vector<std::string> fens;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        fens.push_back(line);
    }
    return fens;
}

struct Run {
    double seconds;
    double cpuSeconds;  // of the whole process: all threads together
    uint64_t nodes;
    ThreadSearchStats stats;
};

double cpuNow() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void setThreads(int n) {
    threadsDestroy();
    threadsCreate(n);
}

// One search of the position to the depth, as "go depth" would run it.
Run search(const Position* p, int depth) {
    hashClear();
    historyClear();  // the root moves are ordered by the history the last search left
    stopFlag.store(0, std::memory_order_relaxed);
    ponderSearch.store(0, std::memory_order_relaxed);
    searchClockStart();
    outCaptureBegin();
    auto start = std::chrono::steady_clock::now();
    double cpu = cpuNow();
    SearchLimits limits;
    limits.depth = depth;
    iterativeDeepening(p, limits, uciReport);
    cpu = cpuNow() - cpu;
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    outCaptureEnd();
    return Run{seconds, cpu, searchNodes(), threadSearchStats};
}

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

#ifndef KORVAN_SOURCE_DIR
#define KORVAN_SOURCE_DIR "."
#endif

int main(int argc, char** argv) {
    int depth = argc > 1 ? atoi(argv[1]) : 9;
    int threads = argc > 2 ? atoi(argv[2]) : 2;
    std::string path = argc > 3 ? argv[3] : KORVAN_SOURCE_DIR "/tools/data/bench.fen";
    if (depth < 1 || threads < 2 || threads > MAX_SEARCH_THREADS) {
        fprintf(stderr, "usage: korvan-smpbench [DEPTH [THREADS 2..%d [POSITIONS_FILE]]]\n",
                MAX_SEARCH_THREADS);
        return 2;
    }
    std::vector<std::string> fens = readFens(path.c_str());
    if (fens.empty()) {
        fprintf(stderr, "no positions in %s\n", path.c_str());
        return 1;
    }

    engineStart({.bitbases = false, .book = false});
    hashCreate(16);

    printf("%zu positions, depth %d, 1 thread against %d, 16 MB table cleared each time\n",
           fens.size(), depth, threads);
    printf("load average before: %s\n", loadAverage().c_str());
    printf("%3s %9s %9s %6s %11s %11s %6s %6s\n", "#", "time1 s", "timeN s", "ratio", "nps1",
           "npsN", "ratio", "nodes");
    std::vector<double> timeRatios, npsRatios;
    double seconds[2] = {0, 0}, cpuSeconds[2] = {0, 0};
    uint64_t nodes[2] = {0, 0};
    ThreadSearchStats jobs{};
    Position* p = positionNew();
    for (size_t i = 0; i < fens.size(); i++) {
        if (!positionSetFen(p, fens[i].c_str())) {
            fprintf(stderr, "bad position %zu: %s\n", i + 1, fens[i].c_str());
            return 1;
        }
        // Both runs of a position follow each other, so that a change in the
        // machine's load touches both alike.
        Run runs[2];
        for (int k = 0; k < 2; k++) {
            setThreads(k == 0 ? 1 : threads);
            runs[k] = search(p, depth);
            seconds[k] += runs[k].seconds;
            cpuSeconds[k] += runs[k].cpuSeconds;
            nodes[k] += runs[k].nodes;
        }
        jobs.jobs += runs[1].stats.jobs;
        jobs.researches += runs[1].stats.researches;
        jobs.discarded += runs[1].stats.discarded;
        jobs.byMaster += runs[1].stats.byMaster;
        jobs.splits += runs[1].stats.splits;
        double nps[2];
        for (int k = 0; k < 2; k++)
            nps[k] = runs[k].seconds > 0 ? static_cast<double>(runs[k].nodes) / runs[k].seconds : 0;
        double timeRatio = runs[1].seconds / runs[0].seconds;
        double npsRatio = nps[0] > 0 ? nps[1] / nps[0] : 0;
        timeRatios.push_back(timeRatio);
        npsRatios.push_back(npsRatio);
        printf("%3zu %9.3f %9.3f %6.2f %11.0f %11.0f %6.2f %6.2f\n", i + 1, runs[0].seconds,
               runs[1].seconds, timeRatio, nps[0], nps[1], npsRatio,
               static_cast<double>(runs[1].nodes) / static_cast<double>(runs[0].nodes));
        fflush(stdout);
    }
    positionFree(p);
    setThreads(1);

    double nps1 = static_cast<double>(nodes[0]) / seconds[0];
    double npsN = static_cast<double>(nodes[1]) / seconds[1];
    double logSum = 0;
    for (double r : timeRatios) logSum += std::log(r);
    printf("load average after: %s\n", loadAverage().c_str());
    printf("1 thread:  %" PRIu64 " nodes in %.2f s, %.0f nodes per second, %.2f cores busy\n",
           nodes[0], seconds[0], nps1, cpuSeconds[0] / seconds[0]);
    printf("%d threads: %" PRIu64 " nodes in %.2f s, %.0f nodes per second, %.2f cores busy\n",
           threads, nodes[1], seconds[1], npsN, cpuSeconds[1] / seconds[1]);
    printf("nodes per second, %d threads / 1: %.2f (total), %.2f (median of positions)\n", threads,
           npsN / nps1, median(npsRatios));
    printf("time to depth %d, %d threads / 1: %.2f (median), %.2f (geometric mean), %.2f (total)\n",
           depth, threads, median(timeRatios),
           std::exp(logSum / static_cast<double>(timeRatios.size())), seconds[1] / seconds[0]);
    double jobCount = static_cast<double>(jobs.jobs);
    printf(
        "splits: %.0f per second, %.1f jobs each; jobs: %.1f%% later searches of a move, "
        "%.1f%% searched by the master, %.1f%% discarded at a cut-off\n",
        static_cast<double>(jobs.splits) / seconds[1], jobCount / static_cast<double>(jobs.splits),
        100.0 * static_cast<double>(jobs.researches) / jobCount,
        100.0 * static_cast<double>(jobs.byMaster) / jobCount,
        100.0 * static_cast<double>(jobs.discarded) / jobCount);
    engineStop();
    return 0;
}
