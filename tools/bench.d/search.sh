#!/usr/bin/env bash
# The bench signature and search speed, and a Debian engine's speed on the same
# positions, side by side. Usage: search.sh BUILD_DIR
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")/.." && pwd)
"$build"/tools/korvan-bench 8 | tail -4
# toga2 reaches depth 10 in about the time Korvan needs for depth 8. (glaurung
# reports its node count only now and then, so its totals are not comparable.)
[ -x /usr/games/toga2 ] && "$here"/uci-nps.py /usr/games/toga2 10 "$here/data/bench.fen" Hash=16
# GNU Chess searches depth 8 in about the time Korvan needs for depth 8.
[ -x /usr/games/gnuchess ] &&
    "$here"/uci-nps.py "/usr/games/gnuchess --uci" 8 "$here/data/bench.fen" Hash=16 OwnBook=false
"$here"/uci-nps.py "$build"/korvan 8 "$here/data/bench.fen" Hash=16 OwnBook=false
