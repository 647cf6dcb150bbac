#!/usr/bin/env bash
# Each core library links with only the ones below it: nothing a library
# leaves undefined is defined by a library above it. The libraries come
# bottom first (math, assets, render, the backends, the scene); a function
# declared low and defined high fails here even when every program links both.
#   tests/library_links.sh NM LIBRARY...
set -euo pipefail
nm=$1
shift
libraries=("$@")
status=0
for ((i = 0; i < ${#libraries[@]}; ++i)); do
    needs=$("$nm" -g -u -P "${libraries[i]}" | awk '$2 == "U" { print $1 }' | sort -u)
    for ((j = i + 1; j < ${#libraries[@]}; ++j)); do
        # Strong definitions only: inline functions and templates are weak,
        # emitted by every library that uses them.
        above=$("$nm" -g --defined-only -P "${libraries[j]}" | awk '$2 ~ /^[TDBR]$/ { print $1 }' | sort -u)
        wrong=$(comm -12 <(echo "$needs") <(echo "$above"))
        if [ -n "$wrong" ]; then
            echo "$(basename "${libraries[i]}") needs what $(basename "${libraries[j]}") defines:"
            echo "$wrong" | c++filt | sed 's/^/    /'
            status=1
        fi
    done
done
if [ $status -eq 0 ]; then
    echo "Every core library links with only the ones below it"
fi
exit $status
