// Writes the positions of the evaluation benchmark: random legal placements
// with men often on their home squares, and the positions of real games.
//
// Usage: korvan-evalpositions [count (1200)] [seed (1)] > tests/data/eval-positions.fen
#include <cstdio>
#include <cstdlib>

#include "support/evalpositions.h"

int main(int argc, char** argv) {
    int count = argc > 1 ? atoi(argv[1]) : 1200;
    int seed = argc > 2 ? atoi(argv[2]) : 1;
    GRand* generator = g_rand_new_with_seed(0);
    init(generator);
    g_rand_free(generator);

    printf("# Evaluation benchmark positions (korvan-evalpositions %d %d)\n", count, seed);
    const auto& games = testGamePositions();
    for (const auto& fen : games) printf("%s\n", fen.c_str());
    GRand* random = g_rand_new_with_seed(seed);
    for (int i = static_cast<int>(games.size()); i < count; i++)
        printf("%s\n", testRandomFen(random).c_str());
    g_rand_free(random);
    return 0;
}
