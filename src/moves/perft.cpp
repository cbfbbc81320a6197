#include "moves/perft.h"

#include "moves/movedo.h"
#include "moves/picker.h"

uint64_t perft(Position* position, int depth) {
    if (depth <= 0) return 1;
    MoveList list;
    uint64_t nodes = 0;
    tacticalMovesGenerate(position, &list);
    for (uint32_t i = 0; i < list.count; i++) {
        if (moveDo(position, list.moves[i])) {
            nodes += depth == 1 ? 1 : perft(position, depth - 1);
            moveUndo(position);
        }
    }
    quietMovesGenerate(position, &list);
    for (uint32_t i = 0; i < list.count; i++) {
        if (moveDo(position, list.moves[i])) {
            nodes += depth == 1 ? 1 : perft(position, depth - 1);
            moveUndo(position);
        }
    }
    return nodes;
}

uint64_t perftPicker(Position* position, int depth) {
    if (depth <= 0) return 1;
    MoveList list;
    pickerStart(&list);
    uint64_t nodes = 0;
    while (nextMoveDo(position, &list)) {
        nodes += depth == 1 ? 1 : perftPicker(position, depth - 1);
        moveUndo(position);
    }
    return nodes;
}
