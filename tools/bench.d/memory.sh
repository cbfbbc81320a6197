#!/usr/bin/env bash
# Resident memory over a long session: short games played through the engine
# binary as a GUI plays them ("ucinewgame", "position startpos moves ..." with
# the game so far, a fast "go"), with the book, the bitbases (every fifth game
# starts from an ending) and option changes now and then (threads, lines,
# clearing the hash). VmRSS is sampled every 50 games; it must stay flat once
# the tables have filled.
# Usage: tools/bench.d/memory.sh BUILD_DIR [GAMES] [PLIES]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
games=${2:-500}
plies=${3:-20}
[ -x "$build/korvan" ] || { echo "no $build/korvan: build first"; exit 1; }
cd "$build"  # the default book and bitbases are found from here

coproc ENGINE { exec ./korvan 2>/dev/null; }
pid=$ENGINE_PID
send() { printf '%s\n' "$*" >&"${ENGINE[1]}"; }
last=""
await() {  # reads until a line starts with $1; it is left in $last
    local line
    while IFS= read -r -t 60 line <&"${ENGINE[0]}"; do
        if [[ $line == "$1"* ]]; then
            last=$line
            return 0
        fi
    done
    echo "the engine stopped answering (waiting for $1)"
    exit 1
}
status() { awk -v key="$1:" '$1 == key {print $2}' "/proc/$pid/status"; }

endings=("8/8/4k3/8/8/3NB3/8/4K3 w - - 0 1" "8/4k3/8/3PK3/8/8/8/8 w - - 0 1"
         "8/8/8/8/8/5k2/8/5K1R w - - 0 1" "8/8/8/3k4/8/8/2Q5/4K3 b - - 0 1")

send uci
await uciok
# Small tables fill within the first games, so that later growth would be a leak.
send "setoption name Hash value 8"
send "setoption name Bitbases Cache Size value 2"
send isready
await readyok

start=$(date +%s.%N)
searches=0
printf '%6s %10s %10s %10s\n' games "VmRSS kB" "VmHWM kB" "VmSize kB"
printf '%6d %10s %10s %10s\n' 0 "$(status VmRSS)" "$(status VmHWM)" "$(status VmSize)"
for ((g = 1; g <= games; g++)); do
    case $((g % 100)) in
        25) send "setoption name Threads value 2" ;;
        50) send "setoption name MultiPV value 3" ;;
        75) send "setoption name Threads value 1"; send "setoption name MultiPV value 1" ;;
        0) send "setoption name Clear Hash" ;;
    esac
    send ucinewgame
    if ((g % 5 == 0)); then
        base="fen ${endings[$(((g / 5) % ${#endings[@]}))]}"
    else
        base=startpos
    fi
    moves=""
    for ((p = 0; p < plies; p++)); do
        send "position $base${moves:+ moves$moves}"
        send "go nodes 1500"
        await bestmove
        searches=$((searches + 1))
        move=$(awk '{print $2}' <<<"$last")
        [ "$move" = "(none)" ] && break
        moves="$moves $move"
    done
    if ((g == 1 || g % 50 == 0)); then
        send isready
        await readyok
        printf '%6d %10s %10s %10s\n' "$g" "$(status VmRSS)" "$(status VmHWM)" "$(status VmSize)"
        [ "$g" -eq 50 ] && rss50=$(status VmRSS)
    fi
done
rssEnd=$(status VmRSS)
send quit
wait "$pid" 2>/dev/null || true
seconds=$(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN {printf "%.1f", e - s}')
echo "$games games, $searches searches in $seconds s"
if [ -n "${rss50:-}" ]; then
    growth=$((rssEnd - rss50))
    echo "VmRSS from game 50 to game $games: ${growth} kB"
    # Anything beyond a megabyte over 450 games would be a leak.
    if [ "$growth" -gt 1024 ]; then
        echo "GROWING"
        exit 1
    fi
    echo "flat"
fi
