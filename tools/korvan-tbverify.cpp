// korvan-tbverify: checks every position of the bitbase library's tables
// against its successors, with the engine's own move generator: a win in d
// plies must have a move to a position lost in d - 1 and none shorter; a loss
// in d plies only moves to wins, the longest in d - 1 (checkmate: 0); a draw
// no move to a loss and at least one to a draw (or stalemate). With the
// distances checked exactly, every win rests on a line that ends in mate, so
// no cycle of "wins" can pass. One pass over each table, unlike the solver.
//
// Tables of up to four men are walked number by number, every orientation and
// every order of identical men. A five-man table has 2^31 numbers, so it is
// walked one position per mirror image (the white king on a1-d1-d4 without
// pawns, on files a-d with them) and identical men in one order only: the
// library answers a mirror image from the same stored value, and the moves
// from the positions checked reach every orientation anyway. --full walks
// five-man tables number by number too.
//
// Usage: korvan-tbverify EGBB_DIR [--threads N] [--full]
//                        [MATERIAL...|--all-3|--all-4|--all-5]
// Exits with 1 when a position fails or is unknown.
#include <gmodule.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
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

const char USAGE[] =
    "usage: korvan-tbverify EGBB_DIR [--threads N] [--full] "
    "[MATERIAL...|--all-3|--all-4|--all-5]\n";

TbProbeFunction probe = nullptr;
bool terminal = false;  // standard error shows progress

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
    std::atomic<int> unitsDone{0};
    std::mutex printing;
};

// Takes units in turn until none is left and checks their positions.
void verifyUnits(const TbWalk& walk, std::atomic<int>* next, Result* result) {
    Position* p = positionNew();
    uint64_t positions = 0, unknown = 0;
    for (int unit; (unit = next->fetch_add(1)) < TB_WALK_UNITS;) {
        if (!tbWalkUnit(walk, unit)) continue;
        tbWalkPositions(walk, unit, p, [&](int player, const int* squares, Position* position) {
            positions++;
            int stored = probePosition(position);
            // A table the library lacks is reported without walking the moves.
            bool isUnknown = stored == EGBB_NOT_AVAILABLE;
            int proven = isUnknown ? 0 : provenScore(position, &isUnknown);
            if (isUnknown) {
                unknown++;
            } else if (stored != proven && result->failures.fetch_add(1) < 5) {
                std::lock_guard<std::mutex> lock(result->printing);
                fprintf(stderr, "%s  %s: stored %d, successors prove %d\n",
                        terminal ? "\r\033[K" : "", tbFen(walk.material, player, squares).c_str(),
                        stored, proven);
            }
        });
        result->unitsDone++;
    }
    result->positions += positions;
    result->unknown += unknown;
    positionFree(p);
}

// Shows how far a table is on a terminal; nothing when standard error is not one.
void showProgress(const std::string& name, double fraction, double elapsed) {
    double left = fraction > 0.001 ? elapsed / fraction - elapsed : 0;
    fprintf(stderr, "\r%-8s %5.1f%%  %.0f s, about %.0f s left   ", name.c_str(), 100 * fraction,
            elapsed, left);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argv[1][0] == '-') {
        fputs(USAGE, stderr);
        return 2;
    }
    tablesInit();
    zobristInit();
    std::string dir = argv[1];
    int threads = 2;
    bool full = false;
    std::vector<std::string> names;
    for (int i = 2; i < argc; i++) {
        if (strcmp(argv[i], "--threads") == 0 && i + 1 < argc) {
            threads = std::max(1, atoi(argv[++i]));
        } else if (strcmp(argv[i], "--full") == 0) {
            full = true;
        } else if (strcmp(argv[i], "--all-3") == 0 || strcmp(argv[i], "--all-4") == 0) {
            for (int men = 3; men <= argv[i][6] - '0'; men++)
                for (const std::string& name : tbMaterialsOfMen(men)) names.push_back(name);
        } else if (strcmp(argv[i], "--all-5") == 0) {
            for (const std::string& name : tbMaterialsOfMen(5)) names.push_back(name);
        } else if (argv[i][0] == '-') {
            fprintf(stderr, "korvan-tbverify: unknown option %s\n%s", argv[i], USAGE);
            return 2;
        } else {
            names.push_back(argv[i]);
        }
    }
    std::vector<TbWalk> walks;
    bool fiveMen = false;
    for (const std::string& name : names) {
        TbMaterial material;
        if (!tbMaterialParse(name, &material)) {
            fprintf(stderr, "korvan-tbverify: unknown material %s\n", name.c_str());
            return 2;
        }
        fiveMen |= tbMen(material) == 5;
        walks.push_back(tbWalkMake(material, tbMen(material) < 5 || full));
    }
    GModule* module = g_module_open((dir + "/" + EGBB_LIBRARY_NAME).c_str(), G_MODULE_BIND_LAZY);
    gpointer load = nullptr, probeSymbol = nullptr;
    if (!module || !g_module_symbol(module, "load_egbb_5men", &load) ||
        !g_module_symbol(module, "probe_egbb_5men", &probeSymbol)) {
        fprintf(stderr, "korvan-tbverify: no bitbase library in %s\n", dir.c_str());
        return 2;
    }
    // A five-man table decodes to some hundred megabytes: the cache holds it
    // with the tables its captures lead to, so each block is decoded once.
    int cacheBytes = fiveMen ? 1 << 30 : 256 << 20;
    reinterpret_cast<void (*)(const char*, int, int)>(load)((dir + "/").c_str(), cacheBytes, 2);
    probe = reinterpret_cast<TbProbeFunction>(probeSymbol);

    terminal = isatty(2);
    uint64_t total = 0, bad = 0;
    auto start = std::chrono::steady_clock::now();
    for (size_t w = 0; w < walks.size(); w++) {
        const TbWalk& walk = walks[w];
        const std::string& name = names[w];
        auto begun = std::chrono::steady_clock::now();
        auto elapsed = [&] {
            return std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
        };
        int walked = 0;
        for (int unit = 0; unit < TB_WALK_UNITS; unit++) walked += tbWalkUnit(walk, unit);
        Result result;
        std::atomic<int> next{0};
        std::vector<std::thread> pool;
        for (int t = 0; t < threads; t++)
            pool.emplace_back(verifyUnits, std::cref(walk), &next, &result);
        if (terminal) {
            for (int tick = 0; result.unitsDone.load() < walked; tick++) {
                if (tick % 10 == 0) {
                    std::lock_guard<std::mutex> lock(result.printing);
                    showProgress(name, double(result.unitsDone.load()) / walked, elapsed());
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
        for (auto& t : pool) t.join();
        if (terminal) fputs("\r\033[K", stderr);
        printf("%-8s %12llu positions  %llu fail  %llu unknown  %.1f s\n", name.c_str(),
               (unsigned long long)result.positions.load(),
               (unsigned long long)result.failures.load(),
               (unsigned long long)result.unknown.load(), elapsed());
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
