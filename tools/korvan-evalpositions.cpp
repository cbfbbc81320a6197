// Writes the positions of the evaluation benchmark: the game and test-suite
// positions of the evaluation tests, then positions along random legal games
// from the initial position and from those positions.
//
// Usage: korvan-evalpositions [count (1200)] [seed (1)] > tests/data/eval-positions.fen
#include <cstdio>
#include <cstdlib>

#include "board/zobrist.h"
#include "support/evalpositions.h"
#include "tables/init.h"

int main(int argc, char** argv) {
    int count = argc > 1 ? atoi(argv[1]) : 1200;
    int seed = argc > 2 ? atoi(argv[2]) : 1;
    tablesInit();
    zobristInit();

    printf("# Evaluation benchmark positions (korvan-evalpositions %d %d)\n", count, seed);
    const auto& games = testGamePositions();
    int written = 0;
    for (const auto& fen : games) printf("%s\n", fen.c_str()), written++;
    // Every fourth position of random games of up to 100 moves, half of them
    // from the initial position.
    GRand* random = g_rand_new_with_seed(seed);
    for (int game = 0; written < count; game++) {
        const std::string& from = game % 2 ? games[game % games.size()] : games[0];
        for (const auto& fen : testPlayoutFens(random, from, 100, 4)) {
            if (written == count) break;
            printf("%s\n", fen.c_str());
            written++;
        }
    }
    g_rand_free(random);
    return 0;
}
