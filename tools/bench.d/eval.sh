#!/usr/bin/env bash
# Evaluations per second (full and with lazy windows) and the pawn-table hit
# rate over the fixed benchmark positions. Usage: tools/bench.d/eval.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")/../.." && pwd)
"$build"/tools/korvan-evalbench "$here/tests/data/eval-positions.fen" 2000000
