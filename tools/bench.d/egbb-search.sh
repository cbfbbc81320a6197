#!/usr/bin/env bash
# Search speed in king-and-rook endings with and without the bitbases.
# Usage: egbb-search.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$1"
echo "with bitbases:";    "$here"/uci-nps.py ./korvan 14 "$here/data/krk.fen" OwnBook=false
echo "without bitbases:"; "$here"/uci-nps.py ./korvan 14 "$here/data/krk.fen" OwnBook=false "Bitbases Path=/nonexistent"
