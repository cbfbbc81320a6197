#!/usr/bin/env bash
# Parallel search against one thread, side by side over the bench positions:
# nodes per second and time to the same depth with Threads 1 and Threads 2,
# each search from a cleared 16 MB table without book or bitbases.
# Usage: smp.sh BUILD_DIR
set -euo pipefail
build=$1
"$build"/tools/korvan-smpbench 9 2 | grep -vE '^ *([0-9]+ +[0-9]+\.|# )'
