#!/usr/bin/env bash
# Writes the option lists of docs/tool.md from the tool's own --help, so the
# page never lists other options than the tool takes. Each list sits between
#   <!-- glasswake-tool COMMAND --help -->   and   <!-- end of help -->
#   scripts/tool_docs.sh [TOOL]           rewrite docs/tool.md (TOOL: build/tools/glasswake-tool)
#   scripts/tool_docs.sh --check [TOOL]   fail when docs/tool.md differs from --help
set -euo pipefail
cd "$(dirname "$0")/.."
check=false
if [ "${1:-}" = --check ]; then
    check=true
    shift
fi
tool=${1:-build/tools/glasswake-tool}
doc=docs/tool.md

fresh=$(mktemp)
trap 'rm -f "$fresh"' EXIT
while IFS= read -r line; do
    printf '%s\n' "$line"
    if [[ $line =~ ^'<!-- glasswake-tool '(.*)'--help -->'$ ]]; then
        read -ra command <<<"${BASH_REMATCH[1]}"
        printf '```text\n'
        "$tool" "${command[@]}" --help
        printf '```\n'
        while IFS= read -r line && [ "$line" != "<!-- end of help -->" ]; do :; done
        printf '%s\n' "$line"
    fi
done <"$doc" >"$fresh"

if $check; then
    if ! diff -u "$doc" "$fresh"; then
        echo "tool_docs.sh: $doc lists other options than --help; run scripts/tool_docs.sh" >&2
        exit 1
    fi
elif ! cmp -s "$doc" "$fresh"; then
    cp "$fresh" "$doc"
    echo "$doc: option lists written from --help"
fi
