// Bitbase probe speed on random legal positions with three or four men, after
// one warm-up pass over them: straight into the library's entry point from one
// and from two threads, and through egbbProbe (a ring of 512 positions).
//
// Usage: korvan-egbbbench [bitbase directory (./egbb)] [probes per run (2000000)]
//                         [men: 3 or 4 (3)] [cache megabytes (16)]
#include <gmodule.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bitbases/egbb.h"
#include "board/zobrist.h"
#include "tables/init.h"

namespace {

struct Sample {
    int player, whiteKing, blackKing, man, square, man2, square2;  // man2 0: none
};

using ProbeFunction = int (*)(int, int, int, int, int, int, int, int, int);

// Random legal positions: kings apart, no pawn on a back rank, and the side
// that does not move not in check.
std::vector<Sample> randomSamples(int count, int men) {
    GRand* random = g_rand_new_with_seed(1);
    std::vector<Sample> samples;
    Position* p = positionNew();
    while (static_cast<int>(samples.size()) < count) {
        Sample s;
        s.player = g_rand_int_range(random, 0, 2);
        s.whiteKing = g_rand_int_range(random, 0, 64);
        s.blackKing = g_rand_int_range(random, 0, 64);
        s.man = g_rand_int_range(random, WHITE_PAWN, WHITE_KING);
        s.square = g_rand_int_range(random, 0, 64);
        s.man2 = men > 3 ? g_rand_int_range(random, WHITE_PAWN, WHITE_KING) : 0;
        s.square2 = g_rand_int_range(random, 0, 64);
        Bitboard used = bitOf(s.whiteKing) | bitOf(s.blackKing);
        if (s.whiteKing == s.blackKing || (used & bitOf(s.square))) continue;
        if (s.man2 && ((used | bitOf(s.square)) & bitOf(s.square2))) continue;
        if (attackKing[s.whiteKing] & bitOf(s.blackKing)) continue;
        if ((s.man | 1) == BLACK_PAWN && (s.square < 8 || s.square >= 56)) continue;
        if ((s.man2 | 1) == BLACK_PAWN && (s.square2 < 8 || s.square2 >= 56)) continue;
        emptyPosition(p);
        addPiece(p, WHITE_KING, s.whiteKing);
        addPiece(p, BLACK_KING, s.blackKing);
        addPiece(p, s.man, s.square);
        if (s.man2) addPiece(p, s.man2, s.square2);
        int waiting = s.player ^ 1;
        if (squareAttacked(p, bitFirst(p->bitboard[WHITE_KING + waiting]), s.player)) continue;
        samples.push_back(s);
    }
    positionFree(p);
    g_rand_free(random);
    return samples;
}

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
    const char* directory = argc > 1 ? argv[1] : "./egbb";
    long probes = argc > 2 ? atol(argv[2]) : 2000000;
    int men = argc > 3 ? atoi(argv[3]) : 3;
    int cache = argc > 4 ? atoi(argv[4]) : 16;
    tablesInit();
    zobristInit();
    egbbLoad(directory, cache);
    if (!egbbIsLoaded()) {
        fprintf(stderr, "no bitbase library in %s\n", directory);
        return 1;
    }
    // A handle of our own for the raw entry point (the same loaded library).
    std::string path = std::string(directory) + "/" + EGBB_LIBRARY_NAME;
    GModule* module = g_module_open(path.c_str(), G_MODULE_BIND_LAZY);
    gpointer symbol = nullptr;
    if (!module || !g_module_symbol(module, "probe_egbb_5men", &symbol)) return 1;
    auto probe = reinterpret_cast<ProbeFunction>(symbol);

    std::vector<Sample> samples = randomSamples(1 << 20, men);
    auto probeSample = [&](const Sample& s) {
        return probe(s.player, s.whiteKing, s.blackKing, EGBB_PIECE_CODE[s.man], s.square,
                     s.man2 ? EGBB_PIECE_CODE[s.man2] : 0, s.man2 ? s.square2 : 0, 0, 0);
    };
    // Whole positions are large (their move history): the engine-side runs walk
    // a ring of them.
    std::vector<Position*> positions;
    for (int i = 0; i < 512; i++) {
        const Sample& s = samples[i];
        Position* p = positionNew();
        emptyPosition(p);
        addPiece(p, WHITE_KING, s.whiteKing);
        addPiece(p, BLACK_KING, s.blackKing);
        addPiece(p, s.man, s.square);
        if (s.man2) addPiece(p, s.man2, s.square2);
        p->player = s.player;
        positions.push_back(p);
    }

    // Warm-up: one pass over every sample brings the tables into the cache.
    long unknown = 0;
    for (const Sample& s : samples) unknown += probeSample(s) == EGBB_NOT_AVAILABLE;

    auto rawRun = [&](long count, long offset) {
        long total = 0;
        for (long i = 0; i < count; i++)
            total += probeSample(samples[(i + offset) & (samples.size() - 1)]);
        return total;
    };
    long sum = 0;
    auto start = std::chrono::steady_clock::now();
    sum += rawRun(probes, 0);
    double raw = probes / seconds(start);
    long rawSums[2] = {0, 0};
    start = std::chrono::steady_clock::now();
    std::thread second([&] { rawSums[1] = rawRun(probes / 2, 1 << 19); });
    rawSums[0] = rawRun(probes / 2, 0);
    second.join();
    double rawTwo = (probes / 2 * 2) / seconds(start);
    sum += rawSums[0] + rawSums[1];

    auto engineRun = [&](long count, int offset) {
        long total = 0;
        for (long i = 0; i < count; i++) {
            int score = 0;
            egbbProbe(positions[(i + offset) & 511], &score);
            total += score;
        }
        return total;
    };
    start = std::chrono::steady_clock::now();
    sum += engineRun(probes, 0);
    double engine = probes / seconds(start);

    long sums[2] = {0, 0};
    start = std::chrono::steady_clock::now();
    std::thread helper([&] { sums[1] = engineRun(probes / 2, 256); });
    sums[0] = engineRun(probes / 2, 0);
    helper.join();
    double twoThreads = (probes / 2 * 2) / seconds(start);
    sum += sums[0] + sums[1];

    printf("%d men, cache %d MB, positions %zu (unknown %ld), probes per run %ld, checksum %ld\n",
           men, cache, samples.size(), unknown, probes, sum);
    printf("library entry point, 1 thread   %10.0f probes/s\n", raw);
    printf("library entry point, 2 threads  %10.0f probes/s (both together)\n", rawTwo);
    printf("egbbProbe, 1 thread   %10.0f probes/s\n", engine);
    printf("egbbProbe, 2 threads  %10.0f probes/s (both together)\n", twoThreads);

    for (Position* p : positions) positionFree(p);
    g_module_close(module);
    egbbClose();
    return unknown ? 1 : 0;
}
