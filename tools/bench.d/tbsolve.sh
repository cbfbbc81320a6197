#!/usr/bin/env bash
# The bitbase library against the plain solver: every legal position of every
# three- and four-man material (white the stronger side), distances included;
# prints each material's counts and times and the summary. Takes hours.
# Usage: tools/bench.d/tbsolve.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
cd "$build"
./tools/korvan-tbsolve ./egbb --threads 2 --all-4
