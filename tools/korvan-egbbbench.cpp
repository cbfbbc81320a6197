// Bitbase probe speed on random legal positions with three or four men of any
// kind, or of the named materials, after one warm-up pass over them: straight
// into the library's entry point from one and from two threads, and through
// egbbProbe (a ring of 512 positions).
//
// Usage: korvan-egbbbench [bitbase directory (./egbb)] [probes per run (2000000)]
//                         [men: 3 or 4 (3)] [cache megabytes (16)]
//                         [materials, e.g. KRBvKR,KQvKRP (any of 3 to 5 men)]
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
#include "tbsolve.h"

namespace {

struct Sample {
    int player, whiteKing, blackKing, count;
    int man[3], square[3];
};

using ProbeFunction = int (*)(int, int, int, int, int, int, int, int, int);

// Random legal positions: kings apart, no pawn on a back rank, and the side
// that does not move not in check; the men drawn at random (`materials`
// empty) or those of one of the materials.
std::vector<Sample> randomSamples(int count, int men,
                                  const std::vector<std::vector<int>>& materials) {
    GRand* random = g_rand_new_with_seed(1);
    std::vector<Sample> samples;
    Position* p = positionNew();
    while (static_cast<int>(samples.size()) < count) {
        Sample s;
        s.player = g_rand_int_range(random, 0, 2);
        s.whiteKing = g_rand_int_range(random, 0, 64);
        s.blackKing = g_rand_int_range(random, 0, 64);
        std::vector<int> chosen;
        if (materials.empty())
            for (int i = 2; i < men; i++)
                chosen.push_back(g_rand_int_range(random, WHITE_PAWN, WHITE_KING));
        else
            chosen = materials[g_rand_int_range(random, 0, int(materials.size()))];
        s.count = int(chosen.size());
        Bitboard used = bitOf(s.whiteKing) | bitOf(s.blackKing);
        bool fits = s.whiteKing != s.blackKing && !(attackKing[s.whiteKing] & bitOf(s.blackKing));
        for (int i = 0; i < s.count && fits; i++) {
            s.man[i] = chosen[i];
            s.square[i] = g_rand_int_range(random, 0, 64);
            fits = !(used & bitOf(s.square[i])) &&
                   ((s.man[i] | 1) != BLACK_PAWN || (s.square[i] >= 8 && s.square[i] < 56));
            used |= bitOf(s.square[i]);
        }
        if (!fits) continue;
        emptyPosition(p);
        addPiece(p, WHITE_KING, s.whiteKing);
        addPiece(p, BLACK_KING, s.blackKing);
        for (int i = 0; i < s.count; i++) addPiece(p, s.man[i], s.square[i]);
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
    std::vector<std::vector<int>> materials;
    if (argc > 5) {
        std::string list = argv[5];
        for (size_t at = 0; at <= list.size();) {
            size_t end = std::min(list.find(',', at), list.size());
            TbMaterial m;
            if (!tbMaterialParse(list.substr(at, end - at), &m)) {
                fprintf(stderr, "unknown material %s\n", list.substr(at, end - at).c_str());
                return 2;
            }
            materials.push_back(m.men);
            at = end + 1;
        }
        men = 0;
    }
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

    std::vector<Sample> samples = randomSamples(1 << 20, men, materials);
    auto probeSample = [&](const Sample& s) {
        int codes[3] = {0, 0, 0}, squares[3] = {0, 0, 0};
        for (int i = 0; i < s.count; i++)
            codes[i] = EGBB_PIECE_CODE[s.man[i]], squares[i] = s.square[i];
        return probe(s.player, s.whiteKing, s.blackKing, codes[0], squares[0], codes[1], squares[1],
                     codes[2], squares[2]);
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
        for (int m = 0; m < s.count; m++) addPiece(p, s.man[m], s.square[m]);
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

    printf("%s, cache %d MB, positions %zu (unknown %ld), probes per run %ld, checksum %ld\n",
           argc > 5 ? argv[5] : (std::to_string(men) + " men").c_str(), cache, samples.size(),
           unknown, probes, sum);
    printf("library entry point, 1 thread   %10.0f probes/s\n", raw);
    printf("library entry point, 2 threads  %10.0f probes/s (both together)\n", rawTwo);
    printf("egbbProbe, 1 thread   %10.0f probes/s\n", engine);
    printf("egbbProbe, 2 threads  %10.0f probes/s (both together)\n", twoThreads);

    for (Position* p : positions) positionFree(p);
    g_module_close(module);
    egbbClose();
    return unknown ? 1 : 0;
}
