#!/usr/bin/env bash
# Keeps the source folders in their layers: a file may include headers of its
# own folder and of the layers below it, never of a layer above it nor of
# another folder on its own layer. The layers, bottom first (the README's
# Layout section describes them):
#   base  tables  board  moves  eval|book|bitbases  search  frontend
# Usage: tools/check-layers.sh [SRC_DIR]   (prints each wrong include; exit 1 if any)
set -euo pipefail
src=${1:-$(dirname "$0")/../src}

declare -A layer=([base]=0 [tables]=1 [board]=2 [moves]=3 [eval]=4 [book]=4 [bitbases]=4
    [search]=5 [frontend]=6)

status=0
for dir in "$src"/*/; do
    folder=$(basename "$dir")
    if [ -z "${layer[$folder]+set}" ]; then
        echo "$dir: a folder in no layer (add it to tools/check-layers.sh and the README)"
        status=1
        continue
    fi
    while IFS=: read -r file line text; do
        target=$(sed -E 's/^#include "([^/"]+)\/.*/\1/' <<<"$text")
        [ "$target" = "$folder" ] && continue
        if [ -z "${layer[$target]+set}" ]; then
            echo "$file:$line: includes $target/, a folder in no layer"
            status=1
        elif [ "${layer[$target]}" -ge "${layer[$folder]}" ]; then
            echo "$file:$line: $folder/ includes $target/, which is not below it"
            status=1
        fi
    done < <(grep -nE '^#include "[^/"]+/' -r "$dir" --include='*.h' --include='*.cpp' || true)
done
exit $status
