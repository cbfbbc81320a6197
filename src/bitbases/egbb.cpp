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

// The loaded library: its module and its probe entry point.
struct Library {
    GModule* module = nullptr;
    // Set exactly while a usable library is loaded. Written only on the
    // main-loop thread while no search runs; search threads read it.
    ProbeFunction probe = nullptr;
};
Library library;

// Looks up an entry point; a library without it cannot be used at all.
void* egbbSymbol(const char* name) {
    gpointer symbol = nullptr;
    if (!g_module_symbol(library.module, name, &symbol)) fatalError("%s\n", g_module_error());
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
    std::string file = directory + EGBB_LIBRARY_NAME;

    egbbClose();
    library.module = g_module_open(file.c_str(), G_MODULE_BIND_LAZY);
    if (!library.module) {
        // Not an error: the engine plays on without bitbases.
        outPrintf(false, "info string %s (%s)\n", g_module_error(), file.c_str());
        return;
    }
    auto load = reinterpret_cast<LoadFunction>(egbbSymbol("load_egbb_5men"));
    auto probe = reinterpret_cast<ProbeFunction>(egbbSymbol("probe_egbb_5men"));
    load(directory.c_str(), cache, EGBB_LOAD_TYPE);
    library.probe = probe;
    outPrintf(true, "info string endgame bitbases loaded\n");
}

void egbbClose() {
    library.probe = nullptr;
    if (library.module) g_module_close(library.module);
    library.module = nullptr;
}

int egbbIsLoaded() { return library.probe != nullptr; }

namespace {

// Whether the side to move has an en-passant capture that does not leave its
// king attacked.
bool legalEnPassantCapture(const Position* p) {
    if (!p->enPassant) return false;
    int us = p->player, them = us ^ 1;
    const Bitboard* bb = p->bitboard;
    int king = bitFirst(bb[WHITE_KING + us]);
    int victim = p->enPassant + (us == WHITE ? -8 : 8);
    for (Bitboard takers = attackPawn[them][p->enPassant] & bb[WHITE_PAWN + us]; takers;) {
        int from = bitPopFirst(takers);
        Bitboard occupied = (p->occupied ^ bitOf(from) ^ bitOf(victim)) | bitOf(p->enPassant);
        Bitboard enemy = bb[them] & ~bitOf(victim);
        bool attacked = (rookAttacks(king, occupied) &
                         (bb[WHITE_ROOK + them] | bb[WHITE_QUEEN + them]) & enemy) ||
                        (bishopAttacks(king, occupied) &
                         (bb[WHITE_BISHOP + them] | bb[WHITE_QUEEN + them]) & enemy) ||
                        (attackKnight[king] & bb[WHITE_KNIGHT + them]) ||
                        (attackPawn[us][king] & bb[WHITE_PAWN + them] & enemy);
        if (!attacked) return true;
    }
    return false;
}

}  // namespace

int egbbProbe(const Position* position, int* score) {
    *score = EGBB_NOT_AVAILABLE;
    if (!library.probe) return 0;
    // The probe carries neither castling rights nor an en-passant square: the
    // tables would answer for another position.
    if (position->castling || legalEnPassantCapture(position)) return 0;
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
    *score = library.probe(position->player, bitFirst(bb[WHITE_KING]), bitFirst(bb[BLACK_KING]),
                           piece[0], square[0], piece[1], square[1], piece[2], square[2]);
    return *score != EGBB_NOT_AVAILABLE;
}
