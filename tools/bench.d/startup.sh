#!/usr/bin/env bash
# Start-up: time to "uciok" and "readyok", peak resident memory. Usage: startup.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$1" && "$here"/startup-bench.py ./korvan 20
