#include "moves/picker.h"

#include "moves/movedo.h"

namespace {

// One bubble pass from the end carries the best remaining score to `current`;
// everything in front of the lowest swap is then in final order, so the next
// picks below sortedUpTo need no pass. Equal scores never swap: ties keep
// their generation order.
inline void pickerSort(MoveList* list) {
    const uint32_t current = list->current, count = list->count;
    if (current + 1 >= count) {
        list->sortedUpTo = count;
        return;
    }
    uint32_t lastSwap = count;
    for (uint32_t i = count - 1; i > current; i--) {
        if (list->scores[i - 1] < list->scores[i]) {
            int32_t score = list->scores[i];
            list->scores[i] = list->scores[i - 1];
            list->scores[i - 1] = score;
            Move move = list->moves[i];
            list->moves[i] = list->moves[i - 1];
            list->moves[i - 1] = move;
            lastSwap = i;
        }
    }
    list->sortedUpTo = lastSwap;
}

// Makes the best remaining legal move of the list and returns it; 0 when the
// list is used up (illegal entries are skipped).
inline Move pickerNext(Position* position, MoveList* list) {
    while (list->current < list->count) {
        if (list->current >= list->sortedUpTo) pickerSort(list);
        Move move = list->moves[list->current++];
        if (moveDo(position, move)) return move;
    }
    return MOVE_NONE;
}

}  // namespace

Move nextMoveDo(Position* position, MoveList* list) {
    if (list->stage == STAGE_NONE) {
        tacticalMovesGenerate(position, list);
        list->stage = STAGE_TACTICAL;
    }
    for (;;) {
        Move move = pickerNext(position, list);
        if (move || list->stage != STAGE_TACTICAL) return move;
        // Quiet moves only once every capture and promotion has been tried.
        quietMovesGenerate(position, list, list->quietScores);
        list->stage = STAGE_QUIET;
    }
}

Move nextTacticalMoveDo(Position* position, MoveList* list) {
    if (list->stage == STAGE_NONE) {
        tacticalMovesGenerate(position, list);
        list->stage = STAGE_TACTICAL;
    }
    return pickerNext(position, list);
}

void legalMovesGenerate(Position* position, MoveList* list) {
    MoveList walk;
    pickerStart(&walk);
    uint32_t count = 0;
    while (Move move = nextMoveDo(position, &walk)) {
        list->moves[count++] = move;
        moveUndo(position);
    }
    list->count = count;
    list->current = list->sortedUpTo = 0;
    list->stage = STAGE_NONE;
    list->quietScores = nullptr;
}
