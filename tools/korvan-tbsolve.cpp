// Solves endgame materials from scratch and compares the bitbase library's
// answer on every legal position with the solved one, distance included.
//
// Usage: korvan-tbsolve EGBB_DIR [--threads N] [MATERIAL...|--all-3|--all-4]
// Exits with 1 when the library disagrees or does not know a legal position.
#include <gmodule.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "board/zobrist.h"
#include "tables/init.h"
#include "tbsolve.h"

namespace {

int usage() {
    fprintf(stderr,
            "usage: korvan-tbsolve EGBB_DIR [--threads N] [MATERIAL...|--all-3|--all-4]\n"
            "  MATERIAL as KRvK, KQvKR, KBNvK (white first)\n");
    return 2;
}

// Three-man materials, then the four-man ones with white the stronger side.
std::vector<std::string> allMaterials(bool fourMen) {
    const char* letters = "QRBNP";
    std::vector<std::string> names;
    for (int i = 0; i < 5; i++) names.push_back(std::string("K") + letters[i] + "vK");
    if (!fourMen) return names;
    for (int i = 0; i < 5; i++)
        for (int j = i; j < 5; j++)
            names.push_back(std::string("K") + letters[i] + letters[j] + "vK");
    for (int i = 0; i < 5; i++)
        for (int j = i; j < 5; j++)
            names.push_back(std::string("K") + letters[i] + "vK" + letters[j]);
    return names;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    std::string dir = argv[1];
    std::vector<std::string> names;
    int threads = 1;
    for (int i = 2; i < argc; i++) {
        if (strcmp(argv[i], "--all-3") == 0 || strcmp(argv[i], "--all-4") == 0) {
            for (const std::string& name : allMaterials(argv[i][6] == '4')) names.push_back(name);
        } else if (strcmp(argv[i], "--threads") == 0 && i + 1 < argc) {
            threads = atoi(argv[++i]);
            if (threads < 1 || threads > 64) return usage();
        } else {
            names.push_back(argv[i]);
        }
    }
    if (names.empty()) names = allMaterials(false);
    std::vector<TbMaterial> materials;
    for (const std::string& name : names) {
        TbMaterial material;
        if (!tbMaterialParse(name, &material) || tbMen(material) > TB_SOLVE_MAX_MEN) {
            fprintf(stderr, "korvan-tbsolve: %s is not a material of at most %d men\n",
                    name.c_str(), TB_SOLVE_MAX_MEN);
            return 2;
        }
        materials.push_back(material);
    }

    std::string library = dir + "/egbbso64.so";
    GModule* module = g_module_open(library.c_str(), G_MODULE_BIND_LAZY);
    gpointer load = nullptr, probe = nullptr;
    if (!module || !g_module_symbol(module, "load_egbb_5men", &load) ||
        !g_module_symbol(module, "probe_egbb_5men", &probe)) {
        fprintf(stderr, "korvan-tbsolve: cannot load %s: %s\n", library.c_str(), g_module_error());
        return 2;
    }
    reinterpret_cast<void (*)(const char*, int, int)>(load)((dir + "/").c_str(), 16 << 20, 2);

    tablesInit();
    zobristInit();
    TbSolver solver;
    solver.threads = threads;
    int disagreeing = 0, uncovered = 0;
    double solveSeconds = 0;
    for (const TbMaterial& material : materials) {
        std::string name = tbMaterialName(material);
        size_t before = solver.tables.size();
        double solvedBefore = 0;
        for (const auto& [key, table] : solver.tables) solvedBefore += table->stats.seconds;
        const TbTable& table = tbSolve(&solver, material);
        double solved = -solvedBefore;
        for (const auto& [key, t] : solver.tables) solved += t->stats.seconds;
        solveSeconds += solved;

        GTimer* timer = g_timer_new();
        TbCheck check = tbCheck(table, reinterpret_cast<TbProbeFunction>(probe), 5);
        double checkSeconds = g_timer_elapsed(timer, nullptr);
        g_timer_destroy(timer);

        const TbStats& s = table.stats;
        printf("%-7s positions %llu", name.c_str(),
               static_cast<unsigned long long>(check.positions));
        for (int side = 0; side < 2; side++)
            printf("  %s to move: %llu wins %llu draws %llu losses", side ? "black" : "white",
                   static_cast<unsigned long long>(s.wins[side]),
                   static_cast<unsigned long long>(s.draws[side]),
                   static_cast<unsigned long long>(s.losses[side]));
        printf("  longest %d plies, %d passes", s.longest, s.passes);
        printf("  solved in %.1f s (%zu tables), checked in %.1f s\n", solved,
               solver.tables.size() - before, checkSeconds);
        printf("%-7s disagreements %llu, unavailable %llu", name.c_str(),
               static_cast<unsigned long long>(check.disagreements),
               static_cast<unsigned long long>(check.unavailable));
        if (check.positions && check.unavailable == check.positions)
            printf(" (the library does not cover %s)", name.c_str());
        printf("\n");
        for (const std::string& example : check.examples) printf("        %s\n", example.c_str());
        fflush(stdout);
        disagreeing += check.disagreements > 0;
        uncovered += check.unavailable > 0;
    }
    printf(
        "%zu materials, %d with disagreements, %d with unavailable positions, solved in %.1f s\n",
        materials.size(), disagreeing, uncovered, solveSeconds);
    g_module_close(module);
    return disagreeing || uncovered ? 1 : 0;
}
