#!/usr/bin/env bash
# Two or more builds' bench speed side by side: the bench tools take turns,
# round after round, so that whatever else the machine does weighs on all
# alike. Prints each run's nodes per second of wall time (what the bench
# prints) and per second of the process's CPU time (which other work on a
# shared machine disturbs less), then each bench's medians and their ratio to
# the first bench's, and fails if the signatures differ.
# Usage: tools/bench-compare.sh OLD_BENCH NEW_BENCH [MORE_BENCHES...] [ROUNDS (5)] [DEPTH (8)]
set -euo pipefail
benches=()
numbers=()
for arg in "$@"; do
    if [[ $arg =~ ^[0-9]+$ ]]; then numbers+=("$arg"); else benches+=("$arg"); fi
done
[ ${#benches[@]} -ge 2 ] || { sed -n 's/^# Usage: //p' "$0"; exit 2; }
rounds=${numbers[0]:-5} depth=${numbers[1]:-8}
positions=$(cd "$(dirname "$0")" && pwd)/data/bench.fen
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

field() { sed -n "s/^$1 *: *//p" "$scratch/out"; }
median() { tr ' ' '\n' | grep . | sort -n |
    awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

declare -A wall cpu signature
TIMEFORMAT=%3U
for ((round = 1; round <= rounds; round++)); do
    for bench in "${benches[@]}"; do
        { time "$bench" "$depth" "$positions" >"$scratch/out"; } 2>"$scratch/time"
        nps=$(field "Nodes\\/second")
        signature[$bench]=$(field "Nodes searched")
        perCpu=$(awk -v n="${signature[$bench]}" '{ printf "%d", n / $1 }' "$scratch/time")
        wall[$bench]+="$nps "
        cpu[$bench]+="$perCpu "
        printf 'round %d %-40s %10s nodes/s %10s nodes/CPU s\n' "$round" "$bench" "$nps" "$perCpu"
    done
done
first=${benches[0]}
for bench in "${benches[@]}"; do
    printf '%-40s median %10s nodes/s %10s nodes/CPU s, signature %s\n' "$bench" \
        "$(median <<<"${wall[$bench]}")" "$(median <<<"${cpu[$bench]}")" "${signature[$bench]}"
done
for bench in "${benches[@]:1}"; do
    awk -v a="$(median <<<"${wall[$first]}")" -v b="$(median <<<"${wall[$bench]}")" \
        -v c="$(median <<<"${cpu[$first]}")" -v d="$(median <<<"${cpu[$bench]}")" -v name="$bench" \
        'BEGIN { printf "%s / first: %.3f (CPU time %.3f)\n", name, b / a, d / c }'
done
for bench in "${benches[@]}"; do
    [ "${signature[$bench]}" = "${signature[$first]}" ] || { echo "the signatures differ"; exit 1; }
done
