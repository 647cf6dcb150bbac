#!/usr/bin/env bash
# Writes what the docs show of a program's own --help, so a page never lists
# other options or keys than the program takes: docs/tool.md for
# glasswake-tool, docs/demo.md for glasswake. Each part sits between a line
#   <!-- PROGRAM [COMMAND] --help -->   (the help as it is printed) or
#   <!-- PROGRAM keys -->               (the keys of --help as a table)
# and the line <!-- end of help -->.
#   scripts/tool_docs.sh [PROGRAM]           rewrite its page (default: build/tools/glasswake-tool)
#   scripts/tool_docs.sh --check [PROGRAM]   fail when the page differs from --help
set -euo pipefail
cd "$(dirname "$0")/.."
check=false
if [ "${1:-}" = --check ]; then
    check=true
    shift
fi
program=${1:-build/tools/glasswake-tool}
name=${program##*/}
case $name in
glasswake-tool) doc=docs/tool.md ;;
glasswake) doc=docs/demo.md ;;
*) echo "tool_docs.sh: no page for $name" >&2 && exit 2 ;;
esac

# The lines after "Keys and mouse ...:" up to the first without the indent,
# each "  INPUT  EFFECT", as rows of a Markdown table.
key_table() {
    printf '| input | effect |\n|---|---|\n'
    "$program" --help | sed -n '/^Keys and mouse/,/^[^ ]/{/^  /p}' |
        sed -E 's/^  (([^ ]| [^ ])*)  +(.*)$/| \1 | \3 |/'
}

fresh=$(mktemp)
trap 'rm -f "$fresh"' EXIT
while IFS= read -r line; do
    printf '%s\n' "$line"
    if [[ $line =~ ^'<!-- '$name' '(.*)' -->'$ ]]; then
        read -ra words <<<"${BASH_REMATCH[1]}"
        if [ "${words[*]}" = keys ]; then
            key_table
        else
            printf '```text\n'
            "$program" "${words[@]}"
            printf '```\n'
        fi
        while IFS= read -r line && [ "$line" != "<!-- end of help -->" ]; do :; done
        printf '%s\n' "$line"
    fi
done <"$doc" >"$fresh"

if $check; then
    if ! diff -u "$doc" "$fresh"; then
        echo "tool_docs.sh: $doc shows other options or keys than --help; run scripts/tool_docs.sh $program" >&2
        exit 1
    fi
elif ! cmp -s "$doc" "$fresh"; then
    cp "$fresh" "$doc"
    echo "$doc: written from --help"
fi
