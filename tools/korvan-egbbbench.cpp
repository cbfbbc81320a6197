// Bitbase probe speed on random legal three-man positions, with the tables
// already in the library's cache: straight into the library's entry point,
// through egbbProbe, and through egbbProbe from two threads at once.
//
// Usage: korvan-egbbbench [bitbase directory (./egbb)] [probes per run (2000000)]
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
    int player, whiteKing, blackKing, man, square;
};

using ProbeFunction = int (*)(int, int, int, int, int, int, int, int, int);

// Whether `man` on `square` attacks `target`, sliders blocked by `occupied`.
bool manAttacks(int man, int square, int target, Bitboard occupied) {
    Bitboard attacks = 0;
    switch (man & ~1) {
        case WHITE_PAWN:
            attacks = attackPawn[man & 1][square];
            break;
        case WHITE_KNIGHT:
            attacks = attackKnight[square];
            break;
        case WHITE_BISHOP:
            attacks = bishopAttacks(square, occupied);
            break;
        case WHITE_ROOK:
            attacks = rookAttacks(square, occupied);
            break;
        case WHITE_QUEEN:
            attacks = queenAttacks(square, occupied);
            break;
    }
    return attacks & bitOf(target);
}

// Random legal positions: kings apart, no pawn on a back rank, and the side
// that does not move not in check.
std::vector<Sample> randomSamples(int count) {
    GRand* random = g_rand_new_with_seed(1);
    std::vector<Sample> samples;
    while (static_cast<int>(samples.size()) < count) {
        Sample s;
        s.player = g_rand_int_range(random, 0, 2);
        s.whiteKing = g_rand_int_range(random, 0, 64);
        s.blackKing = g_rand_int_range(random, 0, 64);
        s.man = g_rand_int_range(random, WHITE_PAWN, WHITE_KING);
        s.square = g_rand_int_range(random, 0, 64);
        if (s.whiteKing == s.blackKing || s.square == s.whiteKing || s.square == s.blackKing)
            continue;
        if (attackKing[s.whiteKing] & bitOf(s.blackKing)) continue;
        if ((s.man | 1) == BLACK_PAWN && (s.square < 8 || s.square >= 56)) continue;
        Bitboard occupied = bitOf(s.whiteKing) | bitOf(s.blackKing) | bitOf(s.square);
        int waitingKing = s.player == WHITE ? s.blackKing : s.whiteKing;
        if (pieceColour(s.man) == s.player && manAttacks(s.man, s.square, waitingKing, occupied))
            continue;
        samples.push_back(s);
    }
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
    tablesInit();
    zobristInit();
    egbbLoad(directory, 16);
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

    std::vector<Sample> samples = randomSamples(1 << 20);
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
        p->player = s.player;
        positions.push_back(p);
    }

    // Warm-up: one pass over every sample brings the tables into the cache.
    long unknown = 0;
    for (const Sample& s : samples)
        unknown += probe(s.player, s.whiteKing, s.blackKing, EGBB_PIECE_CODE[s.man], s.square, 0, 0,
                         0, 0) == EGBB_NOT_AVAILABLE;

    long sum = 0;
    auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < probes; i++) {
        const Sample& s = samples[i & (samples.size() - 1)];
        sum +=
            probe(s.player, s.whiteKing, s.blackKing, EGBB_PIECE_CODE[s.man], s.square, 0, 0, 0, 0);
    }
    double raw = probes / seconds(start);

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

    printf("positions %zu (unknown %ld), probes per run %ld, checksum %ld\n", samples.size(),
           unknown, probes, sum);
    printf("library entry point   %10.0f probes/s\n", raw);
    printf("egbbProbe, 1 thread   %10.0f probes/s\n", engine);
    printf("egbbProbe, 2 threads  %10.0f probes/s (both together)\n", twoThreads);

    for (Position* p : positions) positionFree(p);
    g_module_close(module);
    egbbClose();
    return unknown ? 1 : 0;
}
