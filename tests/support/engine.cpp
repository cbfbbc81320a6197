#include "support/engine.h"

#include <gtest/gtest.h>

#include <mutex>
#include <sstream>

#include "board/zobrist.h"
#include "tables/init.h"

void testInit() {
    static std::once_flag once;
    std::call_once(once, [] {
        tablesInit();
        zobristInit();
    });
}

Position* testPosition(const char* fen) {
    testInit();
    Position* position = positionNew();
    EXPECT_EQ(positionSetFen(position, fen), 1) << fen;
    return position;
}

Bitboard squares(const char* names) {
    std::istringstream in(names);
    std::string name;
    Bitboard b = 0;
    while (in >> name) b |= bitOf(stringToSquare(name.c_str()));
    return b;
}

SearchLimits testDepth(int depth) {
    SearchLimits limits;
    limits.depth = depth;
    return limits;
}
