// korvan-tbgen: makes the endgame tables, every material with up to --men men
// (or the ones named), into --out. Finished files are kept, so a run that was
// stopped goes on where it was; a table that fails is named and the rest are
// still made.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "generate.h"

using namespace egbb;

namespace {

const char USAGE[] =
    "usage: korvan-tbgen [--men N] [--out DIR] [--threads N] [--remake] [--counts] [MATERIAL...]\n"
    "  makes the endgame tables with 3..N men (default 4; at most 5), or the named\n"
    "  materials (e.g. KQvKR), into DIR (default egbb), keeping finished tables unless\n"
    "  --remake is given; --counts prints, for every\n"
    "  table in DIR, its legal positions and wins, draws and losses per side to move\n";

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void bar(const char* name, double fraction, double overall, double eta) {
    if (!isatty(2)) return;
    int filled = int(fraction * 30);
    fprintf(stderr, "\r%-10s [%.*s%*s] %3d%%   all %3d%%   about %.0f s left   ", name, filled,
            "##############################", 30 - filled, "", int(fraction * 100),
            int(overall * 100), eta);
}

void printCounts(const char* name, const GenerateStats& s) {
    printf("%-10s %11llu %11llu %11llu %11llu   %11llu %11llu %11llu %11llu   %4d\n", name,
           (unsigned long long)s.legal[0], (unsigned long long)s.wins[0],
           (unsigned long long)s.draws[0], (unsigned long long)s.losses[0],
           (unsigned long long)s.legal[1], (unsigned long long)s.wins[1],
           (unsigned long long)s.draws[1], (unsigned long long)s.losses[1], s.longestPlies);
}

// The tables a material's captures and promotions lead to (canonical
// colouring; bare kings left out).
std::vector<Material> conversionsOf(const Material& m) {
    std::vector<Material> list;
    auto add = [&](Material next) {
        if (!next.isCanonical()) next = next.flipped();
        if (next.men() >= 3 && std::find(list.begin(), list.end(), next) == list.end())
            list.push_back(next);
    };
    for (int colour : {WHITE, BLACK})
        for (int t = PAWN; t <= QUEEN; ++t) {
            if (!m.count[colour][t]) continue;
            Material next = m;
            --next.count[colour][t];
            add(next);
            if (t != PAWN) continue;
            // A pawn promotes, by a push or by taking any man of the other side.
            for (int promoted = KNIGHT; promoted <= QUEEN; ++promoted) {
                Material p = next;
                ++p.count[colour][promoted];
                add(p);
                for (int taken = PAWN; taken <= QUEEN; ++taken) {
                    if (!p.count[colour ^ 1][taken]) continue;
                    Material q = p;
                    --q.count[colour ^ 1][taken];
                    add(q);
                }
            }
        }
    return list;
}

bool loadTable(const std::string& path, Table& table) {
    TableFile file;
    std::string error;
    if (!openTable(path, file, error)) return false;
    table.layout = file.layout;
    bool ok = readSide(file, 0, table.values[0]) && readSide(file, 1, table.values[1]);
    closeTable(file);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    int men = 4, threads = int(std::max(1u, std::thread::hardware_concurrency()));
    bool counts = false, remake = false;
    std::string out = "egbb";
    std::vector<Material> chosen;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool hasValue = i + 1 < argc;
        if (a == "--men" && hasValue)
            men = atoi(argv[++i]);
        else if (a == "--out" && hasValue)
            out = argv[++i];
        else if (a == "--threads" && hasValue)
            threads = atoi(argv[++i]);
        else if (a == "--counts")
            counts = true;
        else if (a == "--remake")
            remake = true;
        else if (a == "--help" || a == "-h")
            return fputs(USAGE, stdout), 0;
        else {
            Material m;
            if (!parseMaterial(a, m) || m.men() < 3) {
                fprintf(stderr, "korvan-tbgen: unknown argument %s\n%s", a.c_str(), USAGE);
                return 2;
            }
            chosen.push_back(m.isCanonical() ? m : m.flipped());
            men = std::max(men, m.men());
        }
    }
    if (men < 3 || men > MAX_MEN || threads < 1) {
        fprintf(stderr, "korvan-tbgen: --men goes from 3 to %d, --threads from 1\n%s", MAX_MEN,
                USAGE);
        return 2;
    }
    mkdir(out.c_str(), 0755);
    std::vector<Material> all = materialsUpTo(men);
    if (counts) {
        printf("%-10s %11s %11s %11s %11s   %11s %11s %11s %11s   %4s\n", "table", "white", "wins",
               "draws", "losses", "black", "wins", "draws", "losses", "max");
        int status = 0;
        for (const Material& m : all) {
            Table table;
            std::string name = materialName(m);
            if (!loadTable(out + "/" + tableFileName(m), table)) {
                if (chosen.empty() || m.men() < men) continue;
                fprintf(stderr, "korvan-tbgen: %s is missing or damaged\n", name.c_str());
                status = 1;
                continue;
            }
            printCounts(name.c_str(), countTable(table));
        }
        return status;
    }

    // The named materials need the tables their captures and promotions lead
    // to, and those tables theirs.
    std::vector<Material> wanted;
    if (chosen.empty()) wanted = all;
    for (std::vector<Material> open = chosen; !open.empty();) {
        Material m = open.back();
        open.pop_back();
        if (m.men() < 3 || std::find(wanted.begin(), wanted.end(), m) != wanted.end()) continue;
        wanted.push_back(m);
        for (const Material& next : conversionsOf(m)) open.push_back(next);
    }
    // In the order of generation.
    std::vector<Material> ordered;
    for (const Material& m : all)
        if (std::find(wanted.begin(), wanted.end(), m) != wanted.end()) ordered.push_back(m);
    wanted = ordered;
    double total = 0, done = 0;
    for (const Material& m : wanted) total += double(layoutOf(m).size);
    auto start = std::chrono::steady_clock::now();
    // Tables with fewer men than the largest stay in memory (all of 3 and 4
    // men take 230 MB); the largest are loaded only while a table that
    // converts into them is made, so five men fit in a few GB.
    const int largest = wanted.empty() ? 0 : wanted.back().men();
    TableSet set;
    std::vector<std::string> failed;
    int made = 0, kept = 0;
    for (const Material& m : wanted) {
        std::string name = materialName(m), path = out + "/" + tableFileName(m);
        double size = double(layoutOf(m).size);
        Table table;
        if (!remake && loadTable(path, table)) {
            if (m.men() < largest) set.tables[m.key()] = std::move(table);
            ++kept;
            total -= size;
            continue;
        }
        const std::vector<Material> needed = conversionsOf(m);
        std::erase_if(set.tables, [&](const auto& entry) {
            return entry.second.layout.material.men() == largest &&
                   std::find(needed.begin(), needed.end(), entry.second.layout.material) ==
                       needed.end();
        });
        for (const Material& next : needed)
            if (!set.tables.count(next.key()) &&
                !loadTable(out + "/" + tableFileName(next), set.tables[next.key()]))
                set.tables.erase(next.key());
        GenerateStats stats;
        std::string error;
        auto begun = std::chrono::steady_clock::now();
        auto progress = [&](double fraction) {
            double overall = (done + fraction * size) / std::max(1.0, total);
            double elapsed = seconds(start);
            bar(name.c_str(), fraction, overall, overall > 0.001 ? elapsed / overall - elapsed : 0);
        };
        bool ok = generateTable(m, set, threads, table, stats, error, progress);
        const uint8_t* values[2] = {table.values[0].data(), table.values[1].data()};
        ok = ok && writeTable(path, table.layout, values, error);
        done += size;
        if (isatty(2)) fputs("\r\033[K", stderr);
        if (!ok) {
            fprintf(stderr, "korvan-tbgen: %s failed: %s\n", name.c_str(), error.c_str());
            failed.push_back(name);
            continue;
        }
        struct stat info;
        stat(path.c_str(), &info);
        fprintf(stderr, "%-10s %12llu positions  longest %3d plies  %9lld bytes  %6.1f s\n",
                name.c_str(), (unsigned long long)(stats.legal[0] + stats.legal[1]),
                stats.longestPlies, (long long)info.st_size, seconds(begun));
        if (m.men() < largest) set.tables[m.key()] = std::move(table);
        ++made;
    }
    fprintf(stderr, "korvan-tbgen: %d tables made, %d kept, %zu failed, %.1f s\n", made, kept,
            failed.size(), seconds(start));
    for (const std::string& f : failed) fprintf(stderr, "korvan-tbgen: failed: %s\n", f.c_str());
    return failed.empty() ? 0 : 1;
}
