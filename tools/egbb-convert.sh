#!/usr/bin/env bash
# The conversion benchmark: won endings must be won. korvan-egbbsample picks
# PER_MATERIAL positions of each material that the endgame tables call a win
# for white (to move) in at most 99 plies, spread over the mate distances;
# Korvan then plays each once as white against Korvan as black, both with the
# tables ("Bitbases Path" ./egbb in BUILD_DIR), one thread and 16 MB each, two
# games at a time, with no adjudication: every game runs to mate or to a draw
# by rule. The report (tools/egbb-convert-report.py) gives per material the
# wins, draws, losses and faults, and the won games' average length against the
# tables' distance to mate; the script exits with 1 unless every game was won.
# The full run (13 materials x 16 positions = 208 games at 5+0.05) takes about
# 10 to 15 minutes on two cores: a smoke run spent 0.13 s a move, and the
# positions' mate distances average 32 plies (drawn games run to 100 and more).
# Usage: tools/egbb-convert.sh BUILD_DIR OUT_DIR [TC] [PER_MATERIAL] [MATERIAL...]
set -euo pipefail
build=$(cd "$1" && pwd)
out=$(mkdir -p "$2" && cd "$2" && pwd)
tc=${3:-5+0.05}
per=${4:-16}
shift $(($# < 4 ? $# : 4))
materials=("$@")
[ ${#materials[@]} -gt 0 ] ||
    materials=(KQvK KRvK KBBvK KBNvK KQvKR KQvKB KQvKN KRvKB KRvKN KPvK KQvKP KRvKP KBPvK)
tools=$(cd "$(dirname "$0")" && pwd)
for f in korvan tools/korvan-egbbsample egbb/egbbso64.so; do
    [ -e "$build/$f" ] || { echo "no $build/$f: build first"; exit 1; }
done
command -v node >/dev/null || { echo "missing: nodejs"; exit 1; }
[ -d "$tools/match/node_modules/chess.js" ] || { echo "the runner's library is missing: make match-deps"; exit 1; }

"$build/tools/korvan-egbbsample" "$build/egbb" "$per" "${materials[@]}" > "$out/positions.txt"
games=$(wc -l < "$out/positions.txt")
node "$tools/match/match.mjs" \
    --engine cmd="$build/korvan" name=winner dir="$build" \
    --engine cmd="$build/korvan" name=defender dir="$build" \
    --each option.Threads=1 option.Hash=16 \
    --tc "$tc" --games "$games" --openings "$out/positions.txt" --no-swap --concurrency 2 \
    --pgn "$out/games.pgn" --json "$out/summary.json" > "$out/match.log" 2>&1 ||
    { tail -20 "$out/match.log"; exit 1; }
python3 "$tools/egbb-convert-report.py" "$out/positions.txt" "$out/summary.json" | tee "$out/report.txt"
exit "${PIPESTATUS[0]}"
