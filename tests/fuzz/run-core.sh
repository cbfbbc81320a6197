#!/usr/bin/env bash
# Runs the core fuzzer on one core.
# Usage: tests/fuzz/run-core.sh FUZZ_BUILD_DIR SECONDS
# The run starts from the repository's corpus tests/fuzz/core-corpus (only
# read) and keeps the inputs it finds in FUZZ_BUILD_DIR/fuzz-work/core,
# emptied first unless FUZZ_KEEP=1; crashes and hangs land in
# FUZZ_BUILD_DIR/fuzz-artifacts. KORVAN_CORE_SAMPLE sets how many inputs share
# one sampled search and book probe (default 256).
#
# ASan's quarantine is cut to 16 MB: the FEN reader allocates a whole
# position per record, and a quarantine of the default 256 MB turned that into
# a page fault per record, a fifth of the run's time. Leaks are checked once,
# at the end, by a replay of every input found (as tests/fuzz/run.sh does).
set -uo pipefail
build=${1:?usage: run-core.sh FUZZ_BUILD_DIR SECONDS}
seconds=${2:-300}
here=$(cd "$(dirname "$0")" && pwd)
fuzzer="$build/tests/fuzz/korvan-core-fuzz"
[ -x "$fuzzer" ] || { echo "no fuzzer at $fuzzer (build with -DKORVAN_FUZZ=ON)"; exit 1; }
work="$build/fuzz-work/core"
[ "${FUZZ_KEEP:-0}" = 1 ] || rm -rf "$work"
mkdir -p "$work" "$build/fuzz-artifacts"
stamp="$build/fuzz-core.stamp"
touch "$stamp"
log="$build/fuzz-core.log"
echo "== core fuzzer for $seconds s (log: $log)"
TIMEFORMAT='%U %S %R'
times=$( { time ASAN_OPTIONS=quarantine_size_mb=16 "$fuzzer" -max_total_time="$seconds" \
    -timeout=10 -max_len=320 -rss_limit_mb=2048 -detect_leaks=0 -reload=0 \
    -dict="$here/core.dict" -print_final_stats=1 -artifact_prefix="$build/fuzz-artifacts/" \
    "$work" "$here/core-corpus" >"$log" 2>&1; } 2>&1)
rc=$?
status=0
grep -E "^#[0-9]+[[:space:]]+DONE" "$log" | tail -1
grep -E "^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)" "$log"
read -r user system wall <<<"$times"
units=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
if [ -n "$units" ]; then
    awk -v n="$units" -v u="$user" -v s="$system" -v w="$wall" 'BEGIN {
        printf "inputs per second of processor time: %.0f (%.1f s user + %.1f s system in %.1f s)\n",
            n / (u + s), u, s, w }'
fi
if [ $rc -ne 0 ]; then
    echo "fuzzer stopped with status $rc; the end of its log:"
    grep -vE "^#[0-9]+" "$log" | tail -40
    status=1
fi
mapfile -t found < <(find "$work" -type f -newer "$stamp" | sort)
echo "== replaying the ${#found[@]} inputs found (leak check at exit)"
if [ ${#found[@]} -gt 0 ] &&
    ! KORVAN_CORE_SAMPLE=16 "$build/tests/fuzz/korvan-core-replay" "${found[@]}" >"$build/replay-core.log" 2>&1; then
    echo "replay failed; the end of its log:"
    tail -40 "$build/replay-core.log"
    status=1
fi
tail -1 "$build/replay-core.log" 2>/dev/null
find "$build/fuzz-artifacts" -type f -newer "$stamp" | sed 's/^/artifact: /'
exit $status
