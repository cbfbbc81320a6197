#!/usr/bin/env bash
# The soak matches: Korvan ("Threads" 2, "Ponder" off, 16 MB) against the Debian
# engines glaurung and toga2 with the match runner of tools/match (Node.js),
# one game at a time on a quiet machine. Every run ends with its score, the
# faults of each engine (there must be none) and each engine's lowest
# remaining clock. About two hours on two cores; not part of `make bench`.
# Usage: tools/match.sh BUILD_DIR [OUT_DIR]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
out=$(mkdir -p "${2:-match-out}" && cd "${2:-match-out}" && pwd)
runner=$(cd "$(dirname "$0")/match" && pwd)
[ -x "$build/korvan" ] || { echo "no $build/korvan: build first"; exit 1; }
missing=""
for e in glaurung toga2; do [ -x "/usr/games/$e" ] || missing="$missing $e"; done
command -v node >/dev/null || missing="$missing nodejs"
[ -z "$missing" ] || { echo "missing:$missing (apt-get install$missing)"; exit 1; }
[ -d "$runner/node_modules/chess.js" ] || { echo "the runner's library is missing: make match-deps"; exit 1; }

run() {  # NAME TC GAMES OPPONENT SEED
    node "$runner/match.mjs" \
        --engine cmd="$build/korvan" name=korvan dir="$build" option.Hash=16 \
        option.Threads=2 option.Ponder=false \
        --engine cmd="/usr/games/$4" name="$4" option.Hash=16 option.Threads=1 \
        --tc "$2" --games "$3" --openings "$runner/openings.epd" --seed "$5" \
        --pgn "$out/$1.pgn" --json "$out/$1.json" > "$out/$1.log" 2>&1
    sed -n '/^=== /,$p' "$out/$1.log"
}
run glaurung-10s 10+0.1 100 glaurung 31
run glaurung-1s 1+0.01 400 glaurung 32
run toga2-1s 1+0.01 400 toga2 33
run glaurung-5s 5+0.05 50 glaurung 34
run toga2-5s 5+0.05 50 toga2 35
