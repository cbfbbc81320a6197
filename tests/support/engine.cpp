#include "support/engine.h"

#include <gtest/gtest.h>

#include <mutex>
#include <sstream>

#include "base/output.h"
#include "board/zobrist.h"
#include "eval/pawntable.h"
#include "frontend/uci.h"
#include "moves/picker.h"
#include "search/hash.h"
#include "search/root.h"
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

std::string testMoveText(Move move) {
    if (!move) return "0";
    char text[MOVE_TEXT_SIZE];
    moveToString(move, text);
    return text;
}

void testSearchTablesCreate() {
    testInit();
    hashCreate(16);
    pawnTableCreate(PAWN_TABLE_MEGABYTES);
}

void testSearchTablesDestroy() {
    hashDestroy();
    pawnTableDestroy();
}

TestAnswer testSearch(const Position* position, const SearchLimits& limits) {
    stopFlag.store(0);
    ponderSearch.store(0);
    searchClockStart();
    outCaptureBegin();
    iterativeDeepening(position, limits, uciReport);
    TestAnswer answer;
    answer.output = outCaptureEnd();
    const std::string& text = answer.output;
    size_t at = text.rfind("bestmove ");
    if (at != std::string::npos)
        answer.best = text.substr(at + 9, text.find_first_of(" \n", at + 9) - at - 9);
    at = text.rfind(" score ");
    if (at != std::string::npos) {
        size_t kind = at + 7, number = text.find(' ', kind) + 1;
        answer.score = text.substr(kind, text.find(' ', number) - kind);
    }
    return answer;
}

bool testAnswersLegally(const char* fen, const std::string& line) {
    if (line.rfind("bestmove ", 0) != 0) return false;
    std::string text = line.substr(9, line.find(' ', 9) - 9);
    Position* p = testPosition(fen);
    MoveList moves;
    legalMovesGenerate(p, &moves);
    positionFree(p);
    char name[MOVE_TEXT_SIZE];
    for (uint32_t i = 0; i < moves.count; i++) {
        moveToString(moves.moves[i], name);
        if (text == name) return true;
    }
    return false;
}
