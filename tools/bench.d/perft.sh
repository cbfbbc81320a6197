#!/usr/bin/env bash
# Perft speed: leaf nodes per second of the start position to depth 6 and of
# Kiwipete to depth 5, the median of three runs each. Usage: perft.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
perft="$build/tools/korvan-perft"
[ -x "$perft" ] || { echo "no $perft: build first"; exit 1; }

run() {  # name, FEN, depth, expected leaves
    local name=$1 fen=$2 depth=$3 expected=$4 rates=() nodes
    for _ in 1 2 3; do
        local out
        out=$("$perft" "$fen" "$depth")
        nodes=$(awk '/^Nodes:/ {print $2}' <<<"$out")
        if [ "$nodes" != "$expected" ]; then
            echo "$name depth $depth: $nodes leaves, expected $expected"
            return 1
        fi
        rates+=("$(awk '/^NPS:/ {print $2}' <<<"$out")")
    done
    local median
    median=$(printf '%s\n' "${rates[@]}" | sort -n | sed -n 2p)
    printf '%-10s depth %d  %11d leaves  median %5.1f M nodes/s  (runs: %s)\n' \
        "$name" "$depth" "$nodes" "$(awk "BEGIN {print $median / 1e6}")" "${rates[*]}"
}

run startpos startpos 6 119060324
run kiwipete "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -" 5 193690690
