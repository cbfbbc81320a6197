#include <cstdio>
#include <cstring>

#include "frontend/bench.h"
#include "frontend/uci.h"

namespace {

constexpr const char* USAGE =
    "usage: korvan [bench [DEPTH [POSITIONS_FILE]] | --version | --help]\n";

void printHelp() {
    printf("%s", USAGE);
    printf(
        "Without an argument the engine reads UCI commands on standard input.\n"
        "  bench      searches the bench positions (default depth %d) and prints\n"
        "             the nodes per position, \"Nodes searched\" and \"Nodes/second\"\n"
        "  --version  prints the engine's name and version\n"
        "  --help     prints this text\n",
        BENCH_DEPTH);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 1) {
        uciRun();
        return 0;
    }
    if (strcmp(argv[1], "bench") == 0) return benchMain(argc - 2, argv + 2, "korvan bench");
    if (argc == 2 && strcmp(argv[1], "--version") == 0) {
        printf("%s\n", ENGINE_NAME);
        return 0;
    }
    if (argc == 2 && strcmp(argv[1], "--help") == 0) {
        printHelp();
        return 0;
    }
    // The first argument not understood: the command itself, or what follows one
    // that takes nothing.
    bool known = strcmp(argv[1], "--version") == 0 || strcmp(argv[1], "--help") == 0;
    fprintf(stderr, "korvan: unknown argument '%s'\n%s", argv[known ? 2 : 1], USAGE);
    return 2;
}
