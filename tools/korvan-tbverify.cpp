// korvan-tbverify: checks every position of the bitbase library's tables
// against its successors, with the engine's own move generator: a win in d
// plies must have a move to a position lost in d - 1 and none shorter; a loss
// in d plies only moves to wins, the longest in d - 1 (checkmate: 0); a draw
// no move to a loss and at least one to a draw (or stalemate). With the
// distances checked exactly, every win rests on a line that ends in mate, so
// no cycle of "wins" can pass. One pass over each table, unlike the solver.
//
// Usage: korvan-tbverify EGBB_DIR [--threads N] [MATERIAL...|--all-3|--all-4]
// Exits with 1 when a position fails or is unknown.
#include <gmodule.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bitbases/egbb.h"
#include "board/zobrist.h"
#include "moves/movedo.h"
#include "moves/movegenerator.h"
#include "tables/init.h"
#include "tbsolve.h"

namespace {

TbProbeFunction probe = nullptr;

// The library's answer for a position (castling and en passant are not
// asked: a double push's successor is the tables' position without them).
int probePosition(const Position* p) {
    int codes[3] = {0, 0, 0}, squares[3] = {0, 0, 0}, n = 0;
    Bitboard men = p->occupied & ~(p->bitboard[WHITE_KING] | p->bitboard[BLACK_KING]);
    while (men) {
        int square = bitPopFirst(men);
        codes[n] = EGBB_PIECE_CODE[p->board[square]];
        squares[n++] = square;
    }
    if (n == 0) return 0;
    return probe(p->player, bitFirst(p->bitboard[WHITE_KING]), bitFirst(p->bitboard[BLACK_KING]),
                 codes[0], squares[0], codes[1], squares[1], codes[2], squares[2]);
}

// The value the successors prove, as the library would write it.
int provenScore(Position* p, bool* unknown) {
    MoveList list;
    int best = INT_MIN;
    for (int stage = 0; stage < 2; stage++) {
        if (stage == 0)
            tacticalMovesGenerate(p, &list);
        else
            quietMovesGenerate(p, &list);
        for (uint32_t i = 0; i < list.count; i++) {
            if (!moveDo(p, list.moves[i])) continue;
            int next = probePosition(p);
            moveUndo(p);
            if (next == EGBB_NOT_AVAILABLE) *unknown = true;
            // A child lost in d plies is a win in d + 1, a child won a loss.
            int mine = next < 0 ? -next - 40 : next > 0 ? -next + 40 : 0;
            best = std::max(best, mine);
        }
    }
    if (best != INT_MIN) return best;
    return positionIsInCheck(p) ? -20000 : 0;
}

struct Result {
    std::atomic<uint64_t> positions{0}, failures{0}, unknown{0};
    std::vector<std::string> examples;
};

void verifyRange(const TbTable& table, uint32_t begin, uint32_t end, Result* result) {
    Position* p = positionNew();
    uint64_t positions = 0;
    for (uint32_t index = begin; index < end; index++) {
        if (!tbPositionSet(table, index, p)) continue;
        positions++;
        int stored = probePosition(p);
        bool unknown = stored == EGBB_NOT_AVAILABLE;
        int proven = provenScore(p, &unknown);
        if (unknown) {
            result->unknown++;
        } else if (stored != proven) {
            if (result->failures++ < 5)
                fprintf(stderr, "  %s: stored %d, successors prove %d\n",
                        tbFen(table, index).c_str(), stored, proven);
        }
    }
    result->positions += positions;
    positionFree(p);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr,
                "usage: korvan-tbverify EGBB_DIR [--threads N] [MATERIAL...|--all-3|--all-4]\n");
        return 2;
    }
    tablesInit();
    zobristInit();
    std::string dir = argv[1];
    int threads = 2;
    std::vector<std::string> names;
    const char* letters = "QRBNP";
    for (int i = 2; i < argc; i++) {
        if (strcmp(argv[i], "--threads") == 0 && i + 1 < argc) {
            threads = std::max(1, atoi(argv[++i]));
        } else if (strcmp(argv[i], "--all-3") == 0 || strcmp(argv[i], "--all-4") == 0) {
            for (int a = 0; a < 5; a++) names.push_back(std::string("K") + letters[a] + "vK");
            if (argv[i][6] == '4')
                for (int a = 0; a < 5; a++) {
                    for (int b = a; b < 5; b++)
                        names.push_back(std::string("K") + letters[a] + letters[b] + "vK");
                    for (int b = a; b < 5; b++)
                        names.push_back(std::string("K") + letters[a] + "vK" + letters[b]);
                }
        } else {
            names.push_back(argv[i]);
        }
    }
    GModule* module = g_module_open((dir + "/" + EGBB_LIBRARY_NAME).c_str(), G_MODULE_BIND_LAZY);
    gpointer load = nullptr, probeSymbol = nullptr;
    if (!module || !g_module_symbol(module, "load_egbb_5men", &load) ||
        !g_module_symbol(module, "probe_egbb_5men", &probeSymbol)) {
        fprintf(stderr, "korvan-tbverify: no bitbase library in %s\n", dir.c_str());
        return 2;
    }
    reinterpret_cast<void (*)(const char*, int, int)>(load)((dir + "/").c_str(), 256 << 20, 2);
    probe = reinterpret_cast<TbProbeFunction>(probeSymbol);

    uint64_t total = 0, bad = 0;
    auto start = std::chrono::steady_clock::now();
    for (const std::string& name : names) {
        TbTable table;
        if (!tbMaterialParse(name, &table.material)) {
            fprintf(stderr, "korvan-tbverify: unknown material %s\n", name.c_str());
            return 2;
        }
        auto begun = std::chrono::steady_clock::now();
        uint32_t size = 2u << 6 * (table.material.men.size() + 2);
        Result result;
        std::vector<std::thread> pool;
        for (int t = 0; t < threads; t++)
            pool.emplace_back(verifyRange, std::cref(table), uint32_t(uint64_t(size) * t / threads),
                              uint32_t(uint64_t(size) * (t + 1) / threads), &result);
        for (auto& t : pool) t.join();
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
        printf("%-8s %12llu positions  %llu fail  %llu unknown  %.1f s\n", name.c_str(),
               (unsigned long long)result.positions.load(),
               (unsigned long long)result.failures.load(),
               (unsigned long long)result.unknown.load(), seconds);
        fflush(stdout);
        total += result.positions;
        bad += result.failures + result.unknown;
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    printf("%zu materials, %llu positions, %llu failed or unknown, %.1f s\n", names.size(),
           (unsigned long long)total, (unsigned long long)bad, seconds);
    return bad ? 1 : 0;
}
