#!/usr/bin/env bash
# The Windows scanner under Wine and the Linux scanner over the same real tree: the same pairs, counts, exit status and
# removals, byte for byte once each Linux path /p is written as Wine shows it, Z:\p.
#
#   bash tests/windows/scanner_parity.sh LINUX-SCANNER WINDOWS-SCANNER.exe
#
# Wine's environment (WINEPREFIX, a running wineserver) comes from the caller, scripts/test-windows.sh. Lines are
# compared sorted: each system lists a folder in its own order (Linux as the file system gives, Windows sorted by
# name), and the walk keeps that order. In one location that order also decides which file of a pair is the first, so
# there the two folders of each line are put in order too. Both run in UTC: Windows packs a date with the time-zone
# offset of now, Linux with the offset of the date itself.
set -euo pipefail
linux_scan="$(realpath "$1")"
windows_scan="$(realpath "$2")"
export TZ=UTC
work="$(mktemp -d "${TMPDIR:-/tmp}/twinspotter-parity.XXXXXX")"
trap 'rm -rf "$work"' EXIT
root="$work/tree"
failures=0

template="$work/template"

# One file of the template: PATH SIZE-OR-TEXT DATE.
put() {
    mkdir -p "$(dirname "$template/$1")"
    if [[ "$2" =~ ^[0-9]+$ ]]; then head -c "$2" /dev/zero | tr '\0' 'x' >"$template/$1"; else printf '%s' "$2" >"$template/$1"; fi
    touch -d "$3 UTC" "$template/$1"
}

# The tree, made once and copied afresh for each run: names and dates that try both systems' rules: non-Latin names,
# spaces, a name in two letter cases, odd seconds (the packed date has two-second steps), a date before 1980 (the
# packed date's first), hidden folders (skipped), equal sizes of other bytes, a file in two folders of location 1, and
# a file of several read blocks.
make_template() {
    put "one/a.jpg" 5 "2011-03-07 12:00:00"
    put "two/a.jpg" 5 "2011-03-07 12:00:00"
    put "two/other/a.jpg" 5 "2012-01-01 00:00:01"
    put "one/b.txt" 3 "2019-07-01 08:30:01"
    put "two/sub/b.txt" 3 "2019-07-01 08:30:01"
    put "two/sub/deeper/b.txt" 4 "2019-07-01 08:30:01"
    put "one/ünïcödé ñame €.txt" 7 "2001-02-03 04:05:06"
    put "two/ünïcödé ñame €.txt" 7 "2001-02-03 04:05:06"
    put "one/Φωτογραφία 写真.png" 9 "1975-05-05 05:05:05"
    put "two/with space/Φωτογραφία 写真.png" 9 "1976-06-06 06:06:06"
    put "one/Mixed.Case" 2 "2020-02-29 23:59:59"
    put "two/mixed.case" 2 "2020-02-29 23:59:59"
    put "one/same-size.dat" "AAAA" "2015-05-05 05:05:05"
    put "two/same-size.dat" "BBBB" "2015-05-05 05:05:05"
    put "one/equal.dat" "CCCC" "2015-05-05 05:05:05"
    put "two/x/equal.dat" "CCCC" "2015-05-05 05:05:05"
    put "one/empty" "" "2015-05-05 05:05:05"
    put "two/empty" "" "2015-05-05 05:05:05"
    put "one/dup/a.jpg" 5 "2011-03-07 12:00:00"
    put "one/.hidden/a.jpg" 5 "2011-03-07 12:00:00"
    put "two/.hidden/a.jpg" 5 "2011-03-07 12:00:00"
    put "two/lonely" 1 "2011-03-07 12:00:00"
    head -c 3000000 /dev/urandom >"$template/one/big.bin"
    cp "$template/one/big.bin" "$template/two/big.bin"
    touch -d "2018-08-08 08:08:08 UTC" "$template/one/big.bin" "$template/two/big.bin"
}
make_template

make_tree() {
    rm -rf "$root" "$work/safe"
    cp -a "$template" "$root"
}

winpath() { printf 'Z:%s' "${1//\//\\}"; }

# What the Linux scanner wrote, as the Windows one writes it: the root under Z:, every / a separator (a backslash,
# written \\ in the scanner's fields and in JSON).
mapped() { sed -e "s#$root#Z:$root#g" -e 's#/#\\\\#g'; }

# Sorted lines; in one location each line's two folders in order as well.
normal() {
    if [ "$1" = single ]; then
        awk -F'\t' 'BEGIN { OFS = "\t" } NF >= 5 { if ($2 > $3) { t = $2; $2 = $3; $3 = t } } { print }'
    else
        cat
    fi | sed -e 's/,$//' | LC_ALL=C sort
}

# run NAME MODE OPTIONS... -- LOCATIONS...: both scanners on a fresh tree each; compares output, standard error, exit
# status and what is left on disk.
run() {
    local name="$1" mode="$2"
    shift 2
    local options=() locations=() winlocations=()
    while [ "$1" != -- ]; do options+=("$1"); shift; done
    shift
    for l in "$@"; do locations+=("$root/$l"); winlocations+=("$(winpath "$root/$l")"); done
    local winoptions=() o
    for o in "${options[@]}"; do
        case "$o" in
        /*) winoptions+=("$(winpath "$o")") ;;
        *) winoptions+=("$o") ;;
        esac
    done

    make_tree
    [ -n "${prepare:-}" ] && $prepare
    local status=0
    "$linux_scan" "${options[@]}" "${locations[@]}" >"$work/linux.out" 2>"$work/linux.err" </dev/null || status=$?
    echo "$status" >"$work/linux.status"
    (cd "$work" && find tree $([ -d safe ] && echo safe) -print | LC_ALL=C sort) >"$work/linux.files"

    make_tree
    [ -n "${prepare:-}" ] && $prepare
    status=0
    /usr/lib/wine/wine64 "$windows_scan" "${winoptions[@]}" "${winlocations[@]}" >"$work/win.out" 2>"$work/win.err" \
        </dev/null || status=$?
    echo "$status" >"$work/win.status"
    (cd "$work" && find tree $([ -d safe ] && echo safe) -print | LC_ALL=C sort) >"$work/win.files"

    local ok=1
    diff <(mapped <"$work/linux.out" | normal "$mode") <(normal "$mode" <"$work/win.out") >"$work/diff" || ok=0
    diff <(mapped <"$work/linux.err" | LC_ALL=C sort) <(LC_ALL=C sort "$work/win.err") >>"$work/diff" || ok=0
    diff "$work/linux.status" "$work/win.status" >>"$work/diff" || ok=0
    diff "$work/linux.files" "$work/win.files" >>"$work/diff" || ok=0
    if [ ! -s "$work/linux.out" ] && [ "$mode" != removal ]; then
        echo "parity: $name: the Linux scanner found no pairs, which proves nothing" >>"$work/diff"
        ok=0
    fi
    if [ "$ok" = 1 ]; then
        echo "parity: $name: same ($(wc -l <"$work/win.out") lines, exit status $(cat "$work/win.status"))"
    else
        echo "parity: $name: DIFFERENT"
        sed 's/^/    /' "$work/diff"
        failures=$((failures + 1))
    fi
}

run "two locations" pairs -- one two
run "two locations, --ignore-date" pairs --ignore-date -- one two
run "two locations, --ignore-size" pairs --ignore-size -- one two
run "two locations, --same-content" pairs --same-content -- one two
run "two locations, --json" pairs --json -- one two
run "one location" single -- one
run "one location over both" single --same-content -- .
run "removal, deleted" removal --delete-location2 --yes -- one two
# The safety directory already holds one copy's name: that copy stays, is named, and the status is 1.
take_safety_place() { mkdir -p "$work/safe$root/two/sub" && echo taken >"$work/safe$root/two/sub/b.txt"; }
prepare=take_safety_place run "removal, safety directory" removal --delete-location2 --yes --safety-dir "$work/safe" -- one two
prepare="" run "removal, single location" removal --delete-location2 --yes -- one

if [ "$failures" -gt 0 ]; then
    echo "parity: $failures of the runs differ" >&2
    exit 1
fi
