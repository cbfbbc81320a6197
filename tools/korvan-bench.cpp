// The bench (see frontend/bench.h); "korvan bench" runs the same.
//
// Usage: korvan-bench [DEPTH [POSITIONS_FILE]]   (defaults 8 and the list
// bench.fen of the installed data folder, or of tools/data/ in the source tree)
#include "frontend/bench.h"

int main(int argc, char** argv) { return benchMain(argc - 1, argv + 1, "korvan-bench"); }
