#!/usr/bin/env bash
# Bitbase probes per second on random legal positions: three men with the
# default cache, four men with the default cache and with 1 MB (far less than
# the tables), one and two threads.
# Usage: tools/bench.d/egbb.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
cd "$build"
./tools/korvan-egbbbench ./egbb 2000000 3 16
./tools/korvan-egbbbench ./egbb 1000000 4 16
./tools/korvan-egbbbench ./egbb 200000 4 1
