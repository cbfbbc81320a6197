#!/usr/bin/env bash
# Bitbase probes per second on random legal three-man positions, tables cached.
# Usage: tools/bench.d/egbb.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
cd "$build"
./tools/korvan-egbbbench ./egbb 2000000
