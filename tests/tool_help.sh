#!/usr/bin/env bash
# What is made from the programs' --help: the option lists of docs/tool.md, the
# manual pages (every option and the examples of each of the tool's commands,
# every option and key of the demo) and the bash completion (commands,
# options, and the values --help names).
#   tests/tool_help.sh TOOL MAN_DIR DEMO
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
tool=$1
man_dir=$2
demo=$3
failures=0
check() {  # check WHAT COMMAND...: runs COMMAND, reports WHAT
    if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}

check "docs/tool.md lists what --help says" bash "$root/scripts/tool_docs.sh" --check "$tool"

options_of() { "$tool" "$@" --help | sed -n 's/^  \(-[a-zA-Z], \)\{0,1\} *\(--[a-z-]*\).*/\2/p'; }
man_lists_help() {  # man_lists_help PAGE COMMAND: every option and the examples
    local text
    text=$(zcat "$man_dir/$1.1.gz" | sed 's/\\-/-/g') || return 1
    [[ $text == *'.SH OPTIONS'* && $text == *'.SH EXAMPLES'* ]] || return 1
    for option in $(options_of ${2:+"$2"}); do
        [[ $text == *"$option"* ]] || { echo "$1(1) lacks $option"; return 1; }
    done
}
check "glasswake-tool(1)" man_lists_help glasswake-tool ""
for command in render bench check info make-data; do
    check "glasswake-tool-$command(1) lists every option of --help" \
        man_lists_help "glasswake-tool-$command" "$command"
done

demo_man_lists_help() {  # glasswake(6): every option and key, rendered without a warning
    local text warnings
    text=$(zcat "$man_dir/glasswake.6.gz" | sed 's/\\-/-/g') || return 1
    [[ $text == *'.SH OPTIONS'* && $text == *'.SH "KEYS AND MOUSE"'* ]] || return 1
    for option in $("$demo" --help | sed -n -E 's/^  (-[a-zA-Z], )? *(-[-a-z]*(=0)?).*/\2/p'); do
        [[ $text == *"\\fB$option\\fR"* ]] || { echo "glasswake(6) lacks $option"; return 1; }
    done
    while IFS= read -r key; do  # each key a term of its own
        [[ $text == *$'\n.TP\n'"$key"$'\n'* ]] || { echo "glasswake(6) lacks \"$key\""; return 1; }
    done < <("$demo" --help | sed -n -E '/^Keys and mouse/,/^[^ ]/s/^  (([^ ]| [^ ])*)  .*/\1/p')
    warnings=$(MANWIDTH=80 man --warnings -l "$man_dir/glasswake.6.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || { echo "$warnings"; return 1; }
}
check "glasswake(6) lists every option and key of --help" demo_man_lists_help

# shellcheck source=tools/completion/glasswake-tool
source "$root/tools/completion/glasswake-tool"
completes() {  # completes "WORDS..." EXPECTED: the words offered for the last word
    read -ra COMP_WORDS <<<"$tool $1"
    [[ -z $1 || $1 == *' ' ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _glasswake_tool
    [ "${COMPREPLY[*]}" = "$2" ] || { echo "\"$1\" offers \"${COMPREPLY[*]}\", not \"$2\""; return 1; }
}
cd "$root"
check "commands complete" completes "" "render bench check info make-data --help --version"
check "options complete" completes "render --ov" "--overlay"
check "a word list completes" completes "render --backend " "exact fast"
check "after =, as bash splits it" completes "bench --backend = e" "exact"
check "a folder completes" completes "render --output-dir=scr" "scripts"
check "a file completes after -o" completes "render -o README.m" "README.md"
check "a number offers nothing" completes "render --frames " ""

echo "tool help: $failures failure(s)"
[ "$failures" -eq 0 ]
