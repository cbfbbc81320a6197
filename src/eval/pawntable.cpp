#include "eval/pawntable.h"

#include <cstdlib>

#include "base/sharedtable.h"

PawnTable pawnTable;

void pawnTableCreate(int megabytes) {
    pawnTableDestroy();
    uint64_t bytes = static_cast<uint64_t>(megabytes > 0 ? megabytes : 1) << 20;
    uint64_t got;
    pawnTable.entries = static_cast<PawnHashEntry*>(allocateTable(
        bytes / sizeof(PawnHashEntry), sizeof(PawnHashEntry), "the pawn table", &got));
    pawnTable.slotCount = static_cast<uint32_t>(got);
    pawnTable.slotMask = slotMaskFor(got);
}

void pawnTableDestroy() {
    free(pawnTable.entries);
    pawnTable = PawnTable{};
}
