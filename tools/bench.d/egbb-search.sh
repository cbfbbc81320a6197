#!/usr/bin/env bash
# Search speed in king-and-rook endings and in ten four-man endings, with and
# without the endgame tables.
# Usage: egbb-search.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$1"
for set in krk:14 fourmen:14; do
    file=$here/data/${set%:*}.fen depth=${set#*:}
    echo "${set%:*} with tables:";    "$here"/uci-nps.py ./korvan "$depth" "$file" OwnBook=false
    echo "${set%:*} without tables:"; "$here"/uci-nps.py ./korvan "$depth" "$file" OwnBook=false "Bitbases Path=/nonexistent"
done
