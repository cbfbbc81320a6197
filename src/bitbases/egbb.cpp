#include "bitbases/egbb.h"

#include <gmodule.h>

#include <climits>
#include <cstring>
#include <string>

#include "base/output.h"

namespace {

using LoadFunction = void (*)(const char* path, int cacheBytes, int loadType);
using ProbeFunction = int (*)(int player, int whiteKing, int blackKing, int piece1, int square1,
                              int piece2, int square2, int piece3, int square3);

GModule* module = nullptr;
// Set exactly while a usable library is loaded. Written only on the main-loop
// thread while no search runs; search threads read it.
ProbeFunction probe_egbb = nullptr;

// Looks up an entry point; a library without it cannot be used at all.
void* egbbSymbol(const char* name) {
    gpointer symbol = nullptr;
    if (!g_module_symbol(module, name, &symbol)) fatalError("%s\n", g_module_error());
    if (!symbol) fatalError("Symbol %s is NULL\n", name);
    return symbol;
}

}  // namespace

void egbbLoad(const char* path, int cacheMegabytes) {
    // Bytes as the library's int: the option allows at most 256 MB, but the
    // caller may pass anything.
    long long bytes = static_cast<long long>(cacheMegabytes) << 20;
    int cache = bytes > INT_MAX ? INT_MAX : bytes < 0 ? 0 : static_cast<int>(bytes);

    // The separator goes on a copy: the option's value stays as the user set it
    // however often the library is reloaded.
    std::string directory(path);
    directory += '/';
    std::string library = directory + EGBB_LIBRARY_NAME;

    egbbClose();
    module = g_module_open(library.c_str(), G_MODULE_BIND_LAZY);
    if (!module) {
        // Not an error: the engine plays on without bitbases.
        outPrintf(false, "info string %s (%s)\n", g_module_error(), library.c_str());
        return;
    }
    auto load = reinterpret_cast<LoadFunction>(egbbSymbol("load_egbb_5men"));
    auto probe = reinterpret_cast<ProbeFunction>(egbbSymbol("probe_egbb_5men"));
    load(directory.c_str(), cache, EGBB_LOAD_TYPE);
    probe_egbb = probe;
    outPrintf(true, "info string endgame bitbases loaded\n");
}

void egbbClose() {
    probe_egbb = nullptr;
    if (module) g_module_close(module);
    module = nullptr;
}

int egbbIsLoaded() { return probe_egbb != nullptr; }

int egbbProbe(const Position* position, int* score) {
    *score = EGBB_NOT_AVAILABLE;
    if (!probe_egbb) return 0;
    const Bitboard* bb = position->bitboard;
    Bitboard men = position->occupied & ~(bb[WHITE_KING] | bb[BLACK_KING]);
    // Room for three men besides the kings: anything more would describe
    // another position.
    if (bitCount(men) > EGBB_MAX_MEN - 2) return 0;
    int piece[3] = {0, 0, 0}, square[3] = {0, 0, 0};
    for (int i = 0; men; i++) {
        square[i] = bitPopFirst(men);
        piece[i] = EGBB_PIECE_CODE[position->board[square[i]]];
    }
    *score = probe_egbb(position->player, bitFirst(bb[WHITE_KING]), bitFirst(bb[BLACK_KING]),
                        piece[0], square[0], piece[1], square[1], piece[2], square[2]);
    return *score != EGBB_NOT_AVAILABLE;
}
