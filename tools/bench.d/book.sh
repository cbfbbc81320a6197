#!/usr/bin/env bash
# Book lookup time: median over 10,000 lookups in the Debian book (positions
# reached by random playouts of 0..4 plies), file cached.
# Usage: tools/bench.d/book.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
book=/usr/share/games/gnuchess/book.bin
if [ ! -r "$book" ]; then
    echo "skipped: $book is missing (package gnuchess-book)"
    exit 0
fi
"$build/tools/korvan-bookbench" "$book" 10000 4
