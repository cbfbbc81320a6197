// The bench: searches a fixed list of positions to a fixed depth with one
// thread, a cleared 16 MB table, no book and no bitbases, and prints the nodes
// of each search and their total. The total ("Nodes searched") is the build's
// signature: a change that alters it changed what the engine searches.
//
// Usage: korvan-bench [DEPTH [POSITIONS_FILE]]   (defaults 8 and the list
// bench.fen of the installed data folder, or of tools/data/ in the source tree)
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
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

namespace {

std::string defaultPositions() {
    std::string installed = dataDirectory() + "/bench.fen";
    if (!dataDirectory().empty() && access(installed.c_str(), R_OK) == 0) return installed;
    return KORVAN_SOURCE_DIR "/tools/data/bench.fen";
}

}  // namespace

int main(int argc, char** argv) {
    int depth = argc > 1 ? atoi(argv[1]) : 8;
    std::string file = argc > 2 ? argv[2] : defaultPositions();
    std::ifstream in(file);
    if (!in || depth < 1) {
        fprintf(stderr, "usage: korvan-bench [DEPTH [POSITIONS_FILE]]\n");
        return 2;
    }
    std::vector<std::string> fens;
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#') fens.push_back(line);

    engineStart({.bitbases = false, .book = false});
    hashCreate(16);
    SearchLimits limits;
    limits.depth = depth;

    uint64_t total = 0;
    GTimer* clock = g_timer_new();
    for (size_t i = 0; i < fens.size(); i++) {
        if (!positionSetFen(currentPosition, fens[i].c_str())) {
            fprintf(stderr, "bad position: %s\n", fens[i].c_str());
            return 1;
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
    double seconds = g_timer_elapsed(clock, nullptr);
    printf("\n===========================\n");
    printf("Total time (ms) : %" PRIu64 "\n", static_cast<uint64_t>(seconds * 1000));
    printf("Nodes searched  : %" PRIu64 "\n", total);
    printf("Nodes/second    : %" PRIu64 "\n",
           static_cast<uint64_t>(seconds > 0 ? total / seconds : 0));
    g_timer_destroy(clock);
    engineStop();
    return 0;
}
