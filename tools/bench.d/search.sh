#!/usr/bin/env bash
# The bench signature and search speed, and a Debian engine's speed on the same
# positions, side by side. Usage: search.sh BUILD_DIR
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")/.." && pwd)
"$build"/tools/korvan-bench 8 | tail -4
for engine in /usr/games/toga2 /usr/games/glaurung; do
    [ -x "$engine" ] && "$here"/uci-nps.py "$engine" 9 "$here/data/bench.fen" Hash=16 || true
done
"$here"/uci-nps.py "$build"/korvan 8 "$here/data/bench.fen" Hash=16 OwnBook=false
