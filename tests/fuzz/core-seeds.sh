#!/usr/bin/env bash
# Writes the core fuzzer's seed inputs into tests/fuzz/core-corpus/ (the files
# named seed-*; the regression inputs there are kept as found).
# Usage: tests/fuzz/core-seeds.sh BUILD_DIR
#   BUILD_DIR holds tests/fuzz/korvan-core-replay (any build configuration).
# Header bytes (see coreinput.h): 0x00 FEN text, search depth 1; 0x02 depth 2;
# 0x04 depth 3; +0x10 a book probe; +0x20 two lines; +0x01 a built board,
# +0x08 repaired.
set -euo pipefail
build=${1:?usage: core-seeds.sh BUILD_DIR}
here=$(cd "$(dirname "$0")" && pwd)
tool="$build/tests/fuzz/korvan-core-replay"
out="$here/core-corpus"
[ -x "$tool" ] || { echo "no $tool"; exit 1; }
mkdir -p "$out"
rm -f "$out"/seed-*

seed() {  # NAME HEADER FEN [MOVE...]
    local name=$1 header=$2 fen=$3
    shift 3
    "$tool" --write "$out/seed-$name" "$header" "$fen" "$@" >/dev/null
}

# The perft suites, each with every header's search depth and a book probe.
n=0
while IFS= read -r line; do
    fen=${line%% ;*}
    seed "perft-$n" $(((n % 3) * 2 | 0x10 | (n % 2) * 0x20)) "$fen"
    n=$((n + 1))
done < <(grep -v '^#' "$here/../data/perft.epd")

# Material no game starts with: every man a promotion can make, as many as fit.
seed queens-30 0x04 "qqqqkqqq/qqqqqqqq/8/8/8/8/QQQQQQQQ/QQQQKQQQ w - - 0 1"
seed queens-9 0x02 "R6R/3Q4/1Q4Q1/4Q3/2Q4Q/Q4Q2/pp1Q4/kBNN1KB1 w - - 0 1"
seed knights-16 0x00 "K7/NNNNNNNN/NNNNNNNN/8/8/8/8/7k w - - 0 1"
seed knights-16-black 0x20 "7K/8/8/8/8/nnnnnnnn/nnnnnnnn/k7 b - - 0 1"
seed bishops-rooks 0x02 "k7/8/BBBBBBBB/RRRRRRRR/8/8/8/7K b - - 0 1"
seed minors-both 0x04 "n1n1k1n1/1b1b1b1b/8/8/8/8/B1B1B1B1/1N1NKN1N w - - 0 1"

# Every promotion, pushing and taking, both colours, rights lost with the rook.
for piece in q r b n; do
    seed "promote-push-$piece" 0x00 "r3k2r/1P4P1/8/8/8/8/1p4p1/R3K2R w KQkq - 0 1" "b7b8$piece"
    seed "promote-take-$piece" 0x12 "r3k2r/1P4P1/8/8/8/8/1p4p1/R3K2R w KQkq - 0 1" "g7h8$piece"
    seed "promote-black-$piece" 0x04 "r3k2r/1P4P1/8/8/8/8/1p4p1/R3K2R b KQkq - 0 1" "b2a1$piece"
done

# Castling: both sides and colours, rights the record names without their rook
# (dropped), through and out of check, and a rook taken at home.
seed castle-all 0x10 "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1" e1g1 e8c8
seed castle-queen-side 0x02 "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1" e1c1 e8g8
seed castle-odd-rooks 0x00 "1r2k1r1/8/8/8/8/8/8/1R2K1R1 w KQkq - 0 1"
seed castle-one-rook 0x00 "4k2r/8/8/8/8/8/8/R3K3 w KQkq - 0 1"
seed castle-through-check 0x04 "r3k2r/8/8/8/8/5q2/8/R3K2R w KQkq - 0 1"
seed castle-in-check 0x02 "r3k2r/8/8/8/8/8/4q3/R3K2R w KQkq - 0 1"
seed castle-rook-taken 0x00 "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1" a1a8
seed castle-b1-attacked 0x00 "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1" a1b1 h8h1

# En passant: captures that expose the king (along the rank, along a
# diagonal), one that answers the check of the pawn that stepped, the square
# dropped when no pawn can take, and steps made by moves.
seed ep-rank-pin 0x00 "8/8/8/8/k2Pp2Q/8/8/3K4 b - d3 0 1"
seed ep-rank-pin-white 0x02 "8/8/8/KPp4r/8/8/8/7k w - c6 0 1"
seed ep-diagonal-pin 0x04 "8/8/2k5/8/3Pp3/8/6B1/7K b - d3 0 1"
seed ep-answers-check 0x00 "8/8/8/4k3/3Pp3/8/8/4K3 b - d3 0 1"
seed ep-no-taker 0x00 "4k3/8/8/8/3P4/8/8/4K3 b - d3 0 1"
seed ep-by-moves 0x10 "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1" e2e4 a7a6 e4e5 d7d5 e5d6
seed ep-both-takers 0x00 "4k3/8/8/8/2p1p3/8/3P4/4K3 w - - 0 1" d2d4

# One move from the repetition rule: the position has stood twice.
seed repeat-once-more 0x02 "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1" \
    g1f3 g8f6 f3g1 f6g8 g1f3 g8f6 f3g1
seed repeat-third 0x00 "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1" \
    g1f3 g8f6 f3g1 f6g8 g1f3 g8f6 f3g1 f6g8

# One move from the fifty-move rule: 99 reversible plies, no position twice
# (the kings walk loops of 16 and 15 squares, which meet again only after 240
# moves each), then black to move; and the ply before.
white=(b1 c1 d1 e1 f1 g1 h1 h2 g2 f2 e2 d2 c2 b2 a2 a1)
black=(b8 c8 d8 e8 f8 g8 h8 h7 g7 f7 e7 d7 c7 b7 a8)
walk=()
from_w=a1
from_b=a8
for i in $(seq 0 49); do
    to=${white[$((i % 16))]}
    walk+=("$from_w$to")
    from_w=$to
    if [ "$i" -lt 49 ]; then
        to=${black[$((i % 15))]}
        walk+=("$from_b$to")
        from_b=$to
    fi
done
seed fifty-99 0x02 "k7/8/8/3n4/4N3/8/8/K7 w - - 0 1" "${walk[@]}"
seed fifty-98 0x04 "k7/8/8/3n4/4N3/8/8/K7 w - - 0 1" "${walk[@]:0:98}"

# Built boards: each frame, with and without repairs, and a prepared
# en-passant capture.
printf '\x01\x00\x00\x00' >"$out/seed-built-kings"
printf '\x09\x01\x1e\x00' >"$out/seed-built-start-castling"
printf '\x0b\x02\x1e\x10\x04\x0c\x44\x03' >"$out/seed-built-castling-edits"
printf '\x19\x03\x1f\x00\x01\x02\x03' >"$out/seed-built-promotions"
printf '\x0b\x04\x61\x03' >"$out/seed-built-pinned-ep"
printf '\x09\x05\x00\x08\xdb\x00\x00' >"$out/seed-built-queens"
printf '\x09\x06\x00\x00\x05\x05' >"$out/seed-built-knights"
printf '\x09\x00\xe0\x1c\x8b\x05\x50\x04' >"$out/seed-built-ep-prepared"
printf '\x09\x00\x00\x10\x48\x05\x90\x09' >"$out/seed-built-rank-file"
ls "$out" | grep -c '^seed-' | sed 's/^/seeds written: /'
