// Evaluation speed over a fixed set of positions on one thread: full
// evaluations (pv = 1), evaluations with lazy windows (pv = 0), and the pawn
// table's hit rate over the set evaluated twice from an empty table.
//
// Usage: korvan-evalbench [positions file (tests/data/eval-positions.fen)]
//                         [evaluations per run (2000000)]
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "board/zobrist.h"
#include "eval/evaluator.h"
#include "eval/pawntable.h"
#include "tables/init.h"

namespace {

std::vector<Position*> readPositions(const char* path) {
    std::vector<Position*> positions;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        Position* p = positionNew();
        if (positionSetFen(p, line.c_str()))
            positions.push_back(p);
        else
            positionFree(p);
    }
    return positions;
}

struct Run {
    double seconds;
    int64_t checksum;
    int64_t lazy;  // evaluations that returned the cheap score
};

// Evaluates the set round and round until `count` evaluations are done. The
// window comes from `window` (offsets from the full score) so lazy runs cut
// exactly where intended.
Run timeRun(const std::vector<Position*>& positions, const std::vector<int>& full, int64_t count,
            int pv, int alphaOffset, int betaOffset) {
    Run run{0, 0, 0};
    auto start = std::chrono::steady_clock::now();
    size_t n = positions.size();
    for (int64_t i = 0; i < count; i++) {
        size_t k = static_cast<size_t>(i) % n;
        int alpha = full[k] + alphaOffset, beta = full[k] + betaOffset;
        int s = evaluate(positions[k], alpha, beta, pv);
        run.checksum += s;
        run.lazy += s != full[k];
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return run;
}

void report(const char* name, const Run& run, int64_t count) {
    printf("%-34s %10.0f evals/s  (%" PRId64 " evaluations, %.3f s, checksum %" PRId64, name,
           count / run.seconds, count, run.seconds, run.checksum);
    if (run.lazy) printf(", %.1f%% differ from full", 100.0 * run.lazy / count);
    printf(")\n");
}

}  // namespace

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "tests/data/eval-positions.fen";
    int64_t count = argc > 2 ? atoll(argv[2]) : 2000000;

    tablesInit();
    zobristInit();
    pawnTableCreate(PAWN_TABLE_MEGABYTES);

    std::vector<Position*> positions = readPositions(path);
    if (positions.empty()) {
        fprintf(stderr, "no positions in %s\n", path);
        return 1;
    }
    printf("%zu positions from %s\n", positions.size(), path);

    // Pawn table hits over the set evaluated twice, from an empty table.
    int hits[2] = {0, 0};
    for (int pass = 0; pass < 2; pass++)
        for (Position* p : positions) {
            PawnHashEntry* slot;
            int score[2];
            Bitboard passed[2];
            hits[pass] += pawnTableFind(pawnKey(p), &slot, score, passed);
            evaluate(p, -30000, 30000, 1);
        }
    size_t n = positions.size();
    printf("pawn table hits: first pass %.1f%%, second pass %.1f%%, both %.1f%%\n",
           100.0 * hits[0] / n, 100.0 * hits[1] / n, 100.0 * (hits[0] + hits[1]) / (2 * n));

    std::vector<int> full;
    int64_t sum = 0;
    for (Position* p : positions) {
        full.push_back(evaluate(p, -30000, 30000, 1));
        sum += full.back();
    }
    printf("sum of full scores: %" PRId64 "\n", sum);

    report("full (pv = 1)", timeRun(positions, full, count, 1, -30000, 30000), count);
    report("wide window (pv = 0)", timeRun(positions, full, count, 0, -30000, 30000), count);
    report("window at the score +-50 (pv = 0)", timeRun(positions, full, count, 0, -50, 50), count);
    report("window 300 above (pv = 0)", timeRun(positions, full, count, 0, 300, 301), count);
    report("window 300 below (pv = 0)", timeRun(positions, full, count, 0, -301, -300), count);

    for (Position* p : positions) positionFree(p);
    pawnTableDestroy();
    return 0;
}
