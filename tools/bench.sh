#!/usr/bin/env bash
# Runs every benchmark that exists and prints its figures. Usage: tools/bench.sh BUILD_DIR
set -uo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
for bench in "$here"/bench.d/*.sh; do
    [ -e "$bench" ] || continue
    echo "== $(basename "$bench" .sh)"
    "$bench" "$build" || echo "(failed: $bench)"
    echo
done
