// Times book lookups: positions reached by short random playouts from the
// start (so that many are in the book) are looked up once to warm the OS file
// cache, then again one by one under a clock; prints the median, mean and 90th
// percentile of one lookup and the share of positions the book knew.
// Usage: korvan-bookbench [BOOK] [LOOKUPS] [MAX_PLIES]
#include <glib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/output.h"
#include "board/zobrist.h"
#include "book/book.h"
#include "moves/movedo.h"
#include "moves/movegenerator.h"
#include "moves/picker.h"
#include "tables/init.h"

namespace {

constexpr int PLAYOUT_LIMIT = 24;

struct Playout {
    int length;
    Move moves[PLAYOUT_LIMIT];
};

// A random legal game of up to `maxPlies` plies from the start position.
Playout randomPlayout(GRand* generator, int maxPlies) {
    Playout playout{};
    Position* position = positionNew();
    int plies = g_rand_int_range(generator, 0, maxPlies + 1);
    MoveList list;
    for (int ply = 0; ply < plies; ply++) {
        legalMovesGenerate(position, &list);
        if (list.count == 0) break;
        Move move = list.moves[g_rand_int_range(generator, 0, list.count)];
        if (!moveDo(position, move)) break;
        playout.moves[playout.length++] = move;
    }
    positionFree(position);
    return playout;
}

void replay(Position* position, const Playout& playout) {
    positionStartPosition(position);
    for (int i = 0; i < playout.length; i++) moveDo(position, playout.moves[i]);
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const char* book = argc > 1 ? argv[1] : "/usr/share/games/gnuchess/book.bin";
    int lookups = argc > 2 ? atoi(argv[2]) : 10000;
    int maxPlies = argc > 3 ? atoi(argv[3]) : 6;
    if (lookups < 1 || maxPlies < 0 || maxPlies > PLAYOUT_LIMIT) {
        fprintf(stderr, "usage: %s [BOOK] [LOOKUPS >= 1] [MAX_PLIES 0..%d]\n", argv[0],
                PLAYOUT_LIMIT);
        return 2;
    }

    tablesInit();
    zobristInit();
    GRand* generator = g_rand_new_with_seed(0);
    outCaptureBegin();
    bookOpen(book);
    std::string opened = outCaptureEnd();
    fputs(opened.c_str(), stdout);
    if (!bookIsOpen()) return 1;

    std::vector<Playout> playouts;
    for (int i = 0; i < lookups; i++) playouts.push_back(randomPlayout(generator, maxPlies));

    Position* position = positionNew();
    int hits = 0;
    for (const Playout& playout : playouts) {  // warm-up: brings the file into the cache
        replay(position, playout);
        hits += bookMove(position) != 0;
    }

    std::vector<double> micros, hitMicros, missMicros;
    micros.reserve(lookups);
    for (const Playout& playout : playouts) {
        replay(position, playout);
        auto begin = std::chrono::steady_clock::now();
        Move move = bookMove(position);
        auto end = std::chrono::steady_clock::now();
        double t = std::chrono::duration<double, std::micro>(end - begin).count();
        micros.push_back(t);
        (move ? hitMicros : missMicros).push_back(t);
    }
    double sum = 0;
    for (double t : micros) sum += t;
    std::sort(micros.begin(), micros.end());

    printf("lookups %d, playouts of 0..%d plies, in book %.1f%%\n", lookups, maxPlies,
           100.0 * hits / lookups);
    printf("median %.2f us, mean %.2f us, p90 %.2f us, max %.2f us per lookup\n",
           micros[micros.size() / 2], sum / lookups, micros[micros.size() * 9 / 10], micros.back());
    printf("median %.2f us with a book move, %.2f us without\n", median(hitMicros),
           median(missMicros));

    positionFree(position);
    bookClose();
    g_rand_free(generator);
    return 0;
}
