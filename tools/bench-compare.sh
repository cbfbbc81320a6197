#!/usr/bin/env bash
# Two builds' bench speed side by side: the bench tools take turns, round after
# round, so that whatever else the machine does weighs on both alike. Prints
# each run's nodes per second, then the median of each and their ratio, and
# fails if the two signatures differ.
# Usage: tools/bench-compare.sh OLD_BENCH NEW_BENCH [ROUNDS (5)] [DEPTH (8)]
set -euo pipefail
old=$1 new=$2 rounds=${3:-5} depth=${4:-8}
positions=$(cd "$(dirname "$0")" && pwd)/data/bench.fen

field() { sed -n "s/^$1 *: *//p"; }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

declare -A speeds signature
for ((round = 1; round <= rounds; round++)); do
    for side in old new; do
        out=$("${!side}" "$depth" "$positions")
        nps=$(field "Nodes\\/second" <<<"$out")
        signature[$side]=$(field "Nodes searched" <<<"$out")
        speeds[$side]+="$nps "
        printf 'round %d %-3s %10s nodes/s\n' "$round" "$side" "$nps"
    done
done
for side in old new; do
    printf '%-3s median %10s nodes/s, signature %s\n' "$side" \
        "$(tr ' ' '\n' <<<"${speeds[$side]}" | grep . | median)" "${signature[$side]}"
done
awk -v a="$(tr ' ' '\n' <<<"${speeds[old]}" | grep . | median)" \
    -v b="$(tr ' ' '\n' <<<"${speeds[new]}" | grep . | median)" \
    'BEGIN { printf "new / old: %.3f\n", b / a }'
[ "${signature[old]}" = "${signature[new]}" ] || { echo "the signatures differ"; exit 1; }
