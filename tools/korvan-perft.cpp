// Perft: counts the leaf nodes of the move tree of a position to a depth,
// making every move as the search does.
//   korvan-perft "<FEN>|startpos" DEPTH [--divide] [--picker]
#include <glib.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/position.h"
#include "board/zobrist.h"
#include "moves/movedo.h"
#include "moves/perft.h"
#include "moves/picker.h"
#include "tables/init.h"

namespace {

int usage() {
    fprintf(stderr, "usage: korvan-perft \"<FEN>|startpos\" DEPTH [--divide] [--picker]\n");
    return 2;
}

uint64_t count(Position* position, int depth, bool picker) {
    return picker ? perftPicker(position, depth) : perft(position, depth);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return usage();
    bool divide = false, picker = false;
    for (int i = 3; i < argc; i++) {
        if (strcmp(argv[i], "--divide") == 0)
            divide = true;
        else if (strcmp(argv[i], "--picker") == 0)
            picker = true;
        else
            return usage();
    }
    char* end = nullptr;
    long depth = strtol(argv[2], &end, 10);
    if (*argv[2] == 0 || *end != 0 || depth < 0 || depth > 20) return usage();

    tablesInit();
    zobristInit();
    Position* position = positionNew();
    if (g_ascii_strcasecmp(argv[1], "startpos") != 0 && !positionSetFen(position, argv[1])) {
        fprintf(stderr, "korvan-perft: the position is not valid\n");
        return 1;
    }

    auto start = std::chrono::steady_clock::now();
    uint64_t total = 0;
    if (divide && depth > 0) {
        // Per root move, in the order the walk takes them.
        MoveList list;
        pickerStart(&list);
        char text[MOVE_TEXT_SIZE];
        while (Move move = nextMoveDo(position, &list)) {
            uint64_t nodes = count(position, static_cast<int>(depth) - 1, picker);
            moveUndo(position);
            moveToString(move, text);
            printf("%s: %" PRIu64 "\n", text, nodes);
            total += nodes;
        }
    } else {
        total = count(position, static_cast<int>(depth), picker);
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    printf("Nodes: %" PRIu64 "\n", total);
    printf("Time: %.3f s\n", seconds);
    printf("NPS: %.0f\n", seconds > 0 ? total / seconds : 0.0);
    positionFree(position);
    return 0;
}
