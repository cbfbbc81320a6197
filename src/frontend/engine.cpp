#include "frontend/engine.h"

#include <mutex>

#include "bitbases/egbb.h"
#include "board/position.h"
#include "board/zobrist.h"
#include "book/book.h"
#include "eval/pawntable.h"
#include "frontend/datapath.h"
#include "frontend/uci.h"
#include "search/hash.h"
#include "search/startsearch.h"
#include "search/threadsearch.h"
#include "tables/init.h"

void engineStart(const EngineStartup& startup) {
    static std::once_flag tablesBuilt;
    std::call_once(tablesBuilt, [] {
        tablesInit();
        zobristInit();
    });
    currentPosition = positionNew();
    uciOptionsInit();
    hashCreate(options.hashMegabytes);
    pawnTableCreate(PAWN_TABLE_MEGABYTES);
    threadsCreate(options.threads);
    if (startup.bitbases)
        egbbLoad(dataPath(options.bitbasesPath).c_str(), options.bitbasesCacheMegabytes);
    if (startup.book) bookOpen(dataPath(options.bookFile).c_str());
}

void engineStop() {
    // A running search is stopped and waited for before anything is released.
    ponderSearch.store(0, std::memory_order_relaxed);
    searchStop();
    positionFree(currentPosition);
    currentPosition = nullptr;
    bookClose();
    egbbClose();
    threadsDestroy();
    hashDestroy();
    pawnTableDestroy();
}
