// Test doubles of the bitbase library, one source for every variant of
// CMakeLists.txt: EGBB_DOUBLE_RECORD records every call; without
// EGBB_DOUBLE_LOAD the library has no entry points of its own; with
// EGBB_DOUBLE_LOAD only, it lacks the probe.
#include <cstdio>

#include "egbb/egbbapi.h"
#include "record.h"

namespace {
EgbbDoubleRecord record = {};
}

EgbbDoubleRecord* egbb_double_record() { return &record; }

#ifdef EGBB_DOUBLE_LOAD
void load_egbb_5men(const char* path, int cacheBytes, int loadType) {
    record.loads++;
    snprintf(record.path, sizeof record.path, "%s", path ? path : "(null)");
    record.cacheBytes = cacheBytes;
    record.loadType = loadType;
}
#endif

#ifdef EGBB_DOUBLE_RECORD
int probe_egbb_5men(int player, int whiteKing, int blackKing, int piece1, int square1, int piece2,
                    int square2, int piece3, int square3) {
    const int arguments[9] = {player, whiteKing, blackKing, piece1, square1,
                              piece2, square2,   piece3,    square3};
    record.probes++;
    for (int i = 0; i < 9; i++) record.arguments[i] = arguments[i];
    return record.answer;
}
#endif
