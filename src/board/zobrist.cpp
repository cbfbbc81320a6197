#include "board/zobrist.h"

#include <glib.h>

ZobristKeys zobrist;

namespace {

// Two draws per key: the first is the low half, the second the high half.
uint64_t randomKey(GRand* generator) {
    uint64_t low = g_rand_int(generator);
    uint64_t high = g_rand_int(generator);
    return low | high << 32;
}

}  // namespace

void zobristInit() {
    GRand* generator = g_rand_new_with_seed(0);
    for (auto& row : zobrist.square)
        for (auto& key : row) key = randomKey(generator);
    for (auto& key : zobrist.enPassant) key = randomKey(generator);
    for (auto& key : zobrist.castle) key = randomKey(generator);
    zobrist.turn = randomKey(generator);
    g_rand_free(generator);
}
