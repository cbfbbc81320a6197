// Won endgame positions for the conversion benchmark (tools/egbb-convert.sh):
// random legal placements of each material, white to move, that the bitbase
// library scores as a win for white with a mate distance of at most 99 plies,
// picked so that their distances spread from the shortest to the longest found
// (at least 15 plies where the material has enough such positions). The same
// arguments always give the same positions: each material has a seed of its own.
//
// Usage: korvan-egbbsample EGBB_DIR COUNT MATERIAL...   (e.g. KRvK KQvKR KBPvK)
// Prints one line per position: "FEN ; MATERIAL dtm PLIES".
// With --any before the materials: COUNT random legal positions of each, either
// side to move, whatever their value: "FEN ; MATERIAL score S", S the library's
// answer for the side to move (for tools/egbb-matecheck.py).
#include <gmodule.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "bitbases/egbb.h"
#include "board/position.h"
#include "board/zobrist.h"
#include "tables/init.h"

namespace {

using LoadFunction = void (*)(const char*, int, int);
using ProbeFunction = int (*)(int, int, int, int, int, int, int, int, int);

// Longest mate kept: a won game then ends before the fifty-move rule can.
constexpr int MAX_DISTANCE = 99;
// Distance below which a position counts as trivially short.
constexpr int SHORT_DISTANCE = 15;
constexpr int PLACEMENTS = 400000;
constexpr int WIN_SCORE = 20000, PLY_SCORE = 40;  // a win: WIN_SCORE - PLY_SCORE * plies

struct Candidate {
    std::string fen;
    int distance;
};

// The men besides the kings ("KQvKR": white queen, black rook), or an empty
// list for a name that is not a material of at most five men.
std::vector<int> parseMaterial(const std::string& name) {
    std::vector<int> men;
    size_t v = name.find('v');
    if (name.size() < 3 || name[0] != 'K' || v == std::string::npos || v + 1 >= name.size() ||
        name[v + 1] != 'K')
        return {};
    const std::string letters = "PNBRQ";
    for (size_t i = 1; i < name.size(); i++) {
        if (i == v || i == v + 1) continue;
        size_t kind = letters.find(name[i]);
        if (kind == std::string::npos) return {};
        men.push_back(WHITE_PAWN + 2 * static_cast<int>(kind) + (i > v ? BLACK : WHITE));
    }
    if (men.empty() || men.size() > EGBB_MAX_MEN - 2) return {};
    return men;
}

std::string fenOf(const Position* p, int player = WHITE) {
    std::string fen;
    for (int rank = 7; rank >= 0; rank--) {
        int empty = 0;
        for (int file = 0; file < 8; file++) {
            int piece = p->board[rank * 8 + file];
            if (piece == EMPTY) {
                empty++;
                continue;
            }
            if (empty) fen += static_cast<char>('0' + empty);
            empty = 0;
            fen += PIECE_CHARS[piece];
        }
        if (empty) fen += static_cast<char>('0' + empty);
        if (rank) fen += '/';
    }
    return fen + (player == WHITE ? " w - - 0 1" : " b - - 0 1");
}

// Every distinct won position the placements find, in the order found; with
// `any`, the first `count` legal ones (either side to move) and their answers.
std::vector<Candidate> wonPositions(ProbeFunction probe, const std::string& name,
                                    const std::vector<int>& men, bool any = false, int count = 0) {
    // FNV-1a of the name: a material's positions do not depend on the others asked for.
    uint64_t seed = 14695981039346656037ull;
    for (char c : name) seed = (seed ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    std::mt19937_64 random(seed);
    std::vector<Candidate> found;
    std::set<std::string> seen;
    Position* p = positionNew();
    for (int n = 0; n < PLACEMENTS && (!any || static_cast<int>(found.size()) < count); n++) {
        int player = any ? static_cast<int>(random() % 2) : WHITE;
        int squares[EGBB_MAX_MEN];
        Bitboard used = 0;
        bool ok = true;
        for (size_t i = 0; i < men.size() + 2 && ok; i++) {
            squares[i] = static_cast<int>(random() % 64);
            int piece = i < 2 ? WHITE_KING + static_cast<int>(i) : men[i - 2];
            bool pawn = (piece | 1) == BLACK_PAWN;
            ok = !(used & bitOf(squares[i])) && !(pawn && (squares[i] < 8 || squares[i] >= 56));
            used |= bitOf(squares[i]);
        }
        if (!ok) continue;
        emptyPosition(p);
        addPiece(p, WHITE_KING, squares[0]);
        addPiece(p, BLACK_KING, squares[1]);
        int codes[3] = {0, 0, 0}, at[3] = {0, 0, 0};
        for (size_t i = 0; i < men.size(); i++) {
            addPiece(p, men[i], squares[i + 2]);
            codes[i] = EGBB_PIECE_CODE[men[i]];
            at[i] = squares[i + 2];
        }
        p->player = player;
        // The side not to move must not stand in check (adjacent kings included).
        if (squareAttacked(p, squares[player ^ 1], player)) continue;
        int score = probe(player, squares[0], squares[1], codes[0], at[0], codes[1], at[1],
                          codes[2], at[2]);
        if (score == EGBB_NOT_AVAILABLE) {
            fprintf(stderr, "%s: the library does not know %s\n", name.c_str(),
                    fenOf(p, player).c_str());
            exit(1);
        }
        if (any) {
            std::string fen = fenOf(p, player);
            if (seen.insert(fen).second) found.push_back({fen, score});
            continue;
        }
        int distance = (WIN_SCORE - score) / PLY_SCORE;
        if (score <= 0 || distance > MAX_DISTANCE) continue;
        std::string fen = fenOf(p);
        if (seen.insert(fen).second) found.push_back({fen, distance});
    }
    positionFree(p);
    return found;
}

// `count` positions whose distances step evenly from the shortest to the
// longest eligible one; each step takes the earliest unused position nearest
// to its target.
std::vector<Candidate> spread(const std::vector<Candidate>& found, int count) {
    int enoughLong = 0;
    for (const Candidate& c : found) enoughLong += c.distance >= SHORT_DISTANCE;
    int floor = enoughLong >= count ? SHORT_DISTANCE : 0;
    std::vector<const Candidate*> pool;
    int lo = MAX_DISTANCE, hi = 0;
    for (const Candidate& c : found) {
        if (c.distance < floor) continue;
        pool.push_back(&c);
        lo = std::min(lo, c.distance);
        hi = std::max(hi, c.distance);
    }
    std::vector<Candidate> chosen;
    std::vector<bool> used(pool.size());
    for (int i = 0; i < count && chosen.size() < pool.size(); i++) {
        double target = count > 1 ? lo + (hi - lo) * static_cast<double>(i) / (count - 1) : lo;
        size_t best = pool.size();
        for (size_t j = 0; j < pool.size(); j++)
            if (!used[j] && (best == pool.size() || std::abs(pool[j]->distance - target) <
                                                        std::abs(pool[best]->distance - target)))
                best = j;
        used[best] = true;
        chosen.push_back(*pool[best]);
    }
    return chosen;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: korvan-egbbsample EGBB_DIR COUNT MATERIAL...\n");
        return 2;
    }
    std::string directory = std::string(argv[1]) + "/";
    int count = atoi(argv[2]);
    bool any = strcmp(argv[3], "--any") == 0;
    tablesInit();
    zobristInit();
    std::string file = directory + EGBB_LIBRARY_NAME;
    GModule* module = g_module_open(file.c_str(), G_MODULE_BIND_LAZY);
    gpointer load = nullptr, probe = nullptr;
    if (!module || !g_module_symbol(module, "load_egbb_5men", &load) ||
        !g_module_symbol(module, "probe_egbb_5men", &probe)) {
        fprintf(stderr, "no bitbase library in %s\n", file.c_str());
        return 1;
    }
    reinterpret_cast<LoadFunction>(load)(directory.c_str(), 64 << 20, EGBB_LOAD_TYPE);

    int status = 0;
    for (int i = any ? 4 : 3; i < argc; i++) {
        std::string name = argv[i];
        std::vector<int> men = parseMaterial(name);
        if (men.empty()) {
            fprintf(stderr, "not a material: %s\n", name.c_str());
            return 2;
        }
        if (any) {
            for (const Candidate& c :
                 wonPositions(reinterpret_cast<ProbeFunction>(probe), name, men, true, count))
                printf("%s ; %s score %d\n", c.fen.c_str(), name.c_str(), c.distance);
            continue;
        }
        std::vector<Candidate> chosen =
            spread(wonPositions(reinterpret_cast<ProbeFunction>(probe), name, men), count);
        if (static_cast<int>(chosen.size()) < count) {
            fprintf(stderr, "%s: only %zu won positions found\n", name.c_str(), chosen.size());
            status = 1;
        }
        for (const Candidate& c : chosen)
            printf("%s ; %s dtm %d\n", c.fen.c_str(), name.c_str(), c.distance);
    }
    g_module_close(module);
    return status;
}
