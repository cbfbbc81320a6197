#include "frontend/bench.h"

#include <glib.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "base/output.h"
#include "frontend/datapath.h"
#include "frontend/engine.h"
#include "frontend/uci.h"
#include "search/hash.h"
#include "search/root.h"
#include "search/search.h"

#ifndef KORVAN_SOURCE_DIR
#define KORVAN_SOURCE_DIR "."
#endif

std::string benchPositionsFile() {
    std::string installed = dataDirectory() + "/bench.fen";
    if (!dataDirectory().empty() && access(installed.c_str(), R_OK) == 0) return installed;
    return KORVAN_SOURCE_DIR "/tools/data/bench.fen";
}

int benchRun(int depth, const std::string& file) {
    std::ifstream in(file);
    if (!in) {
        fprintf(stderr, "cannot read %s\n", file.c_str());
        return 1;
    }
    std::vector<std::string> fens;
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#') fens.push_back(line);

    engineStart({.bitbases = false, .book = false});
    hashCreate(16);
    SearchLimits limits;
    limits.depth = depth;

    uint64_t total = 0;
    int status = 0;
    GTimer* clock = g_timer_new();
    for (size_t i = 0; i < fens.size(); i++) {
        if (!positionSetFen(currentPosition, fens[i].c_str())) {
            fprintf(stderr, "bad position: %s\n", fens[i].c_str());
            status = 1;
            break;
        }
        hashClear();
        searchClockStart();
        outCaptureBegin();
        iterativeDeepening(currentPosition, limits, uciReport);
        std::string answer = outCaptureEnd();
        uint64_t nodes = searchNodes();
        total += nodes;
        size_t at = answer.rfind("bestmove ");
        std::string best =
            at == std::string::npos ? "" : answer.substr(at + 9, answer.find(' ', at + 9) - at - 9);
        printf("Position %2zu: %12" PRIu64 " nodes  bestmove %s\n", i + 1, nodes, best.c_str());
        fflush(stdout);
    }
    if (status == 0) {
        double seconds = g_timer_elapsed(clock, nullptr);
        printf("\n===========================\n");
        printf("Total time (ms): %" PRIu64 "\n", static_cast<uint64_t>(seconds * 1000));
        printf("Nodes searched: %" PRIu64 "\n", total);
        printf("Nodes/second: %" PRIu64 "\n",
               static_cast<uint64_t>(seconds > 0 ? total / seconds : 0));
    }
    g_timer_destroy(clock);
    engineStop();
    return status;
}

int benchMain(int count, char** arguments, const char* program) {
    int depth = count > 0 ? atoi(arguments[0]) : BENCH_DEPTH;
    std::string file = count > 1 ? arguments[1] : benchPositionsFile();
    if (count > 2 || depth < 1 || access(file.c_str(), R_OK) != 0) {
        fprintf(stderr, "usage: %s [DEPTH [POSITIONS_FILE]]\n", program);
        return 2;
    }
    return benchRun(depth, file);
}
