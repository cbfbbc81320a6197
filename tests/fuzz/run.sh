#!/usr/bin/env bash
# Runs the protocol fuzzer on one core.
# Usage: tests/fuzz/run.sh FUZZ_BUILD_DIR SECONDS [MODE...]
#   MODE: bytes (raw byte mutations) or commands (structure-aware); both by
#   default, the time split between them.
# Each run starts from the repository's corpus (only read) and keeps the inputs
# it finds in FUZZ_BUILD_DIR/fuzz-work/MODE, emptied first unless FUZZ_KEEP=1
# (then the run goes on from them, after running them all once); crashes and
# hangs land in FUZZ_BUILD_DIR/fuzz-artifacts.
#
# Leaks: libFuzzer's check between inputs is off. GLib gives every thread that
# uses its slice allocator (the search workers do, through their queues) a
# block that is freed only as the thread ends, and that check, made while
# workers come and go, reported such blocks of live or ending workers; they
# never show when the same inputs are replayed. Instead every run ends with a
# replay of all inputs the mode found, in one process that releases the engine
# as "quit" does and then checks for leaks at exit, where nothing can be in
# flight.
set -uo pipefail
build=${1:?usage: run.sh FUZZ_BUILD_DIR SECONDS [MODE...]}
seconds=${2:-300}
shift 2 || true
modes=("$@")
[ ${#modes[@]} -eq 0 ] && modes=(bytes commands)
here=$(cd "$(dirname "$0")" && pwd)
fuzzer="$build/tests/fuzz/korvan-fuzz"
[ -x "$fuzzer" ] || { echo "no fuzzer at $fuzzer (build with -DKORVAN_FUZZ=ON)"; exit 1; }
share=$((seconds / ${#modes[@]}))
[ "$share" -lt 1 ] && share=1
mkdir -p "$build/fuzz-artifacts"
stamp="$build/fuzz-run.stamp"
touch "$stamp"
status=0
for mode in "${modes[@]}"; do
    work="$build/fuzz-work/$mode"
    [ "${FUZZ_KEEP:-0}" = 1 ] || rm -rf "$work"
    mkdir -p "$work"
    echo "== fuzzing in $mode mode for $share s (log: $build/fuzz-$mode.log)"
    # One process, so one core; -timeout bounds every input (a hang is a fault).
    KORVAN_FUZZ_MODE=$mode "$fuzzer" -max_total_time="$share" -timeout=30 -max_len=32768 \
        -rss_limit_mb=3072 -detect_leaks=0 -dict="$here/protocol.dict" -print_final_stats=1 \
        -artifact_prefix="$build/fuzz-artifacts/" "$work" "$here/corpus" \
        >"$build/fuzz-$mode.log" 2>&1
    rc=$?
    grep -E "^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)" \
        "$build/fuzz-$mode.log"
    if [ $rc -ne 0 ]; then
        echo "fuzzer stopped with status $rc; the end of its log:"
        grep -vE "^#[0-9]+" "$build/fuzz-$mode.log" | tail -40
        status=1
    fi
    mapfile -t found < <(find "$work" -type f -newer "$stamp" | sort)
    echo "== replaying the ${#found[@]} inputs found (leak check at exit)"
    if [ ${#found[@]} -gt 0 ] &&
        ! "$build/tests/fuzz/korvan-fuzz-replay" "${found[@]}" >"$build/replay-$mode.log" 2>&1; then
        echo "replay failed; the end of its log:"
        tail -40 "$build/replay-$mode.log"
        status=1
    fi
done
find "$build/fuzz-artifacts" -type f -newer "$stamp" | sed 's/^/artifact: /'
exit $status
