#!/usr/bin/env bash
# Every option that a program's --help names has its own entry under OPTIONS in the program's manual page, and the
# page renders without a groff warning, so an option added to a program cannot go undocumented.
#   man_pages.sh PROGRAM PAGE [PROGRAM PAGE]...
set -euo pipefail
fail() { echo "FAIL: $*" >&2; exit 1; }
warnings=$(mktemp)
trap 'rm -f "$warnings"' EXIT

while [ $# -ge 2 ]; do
    program=$1 page=$2
    shift 2
    # The C locale renders \- as a plain hyphen; no hyphenation keeps every option whole.
    rendered=$(LC_ALL=C MANWIDTH=100 man --nh --nj --warnings=w -l "$page" 2>"$warnings")
    [ ! -s "$warnings" ] || fail "$page warns: $(cat "$warnings")"
    entries=$(awk '/^OPTIONS$/ { inside = 1; next } /^[A-Z]/ { inside = 0 } inside' <<<"$rendered")
    [ -n "$entries" ] || fail "$page has no OPTIONS section"
    options=$("$program" --help | grep -oE -- '--[a-z0-9][a-z0-9-]*' | sort -u)
    [ -n "$options" ] || fail "$program --help names no option"
    for option in $options; do
        grep -qE -- "^ {7}$option( |$)" <<<"$entries" || fail "$page has no entry for $option"
    done
done
