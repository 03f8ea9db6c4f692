#!/usr/bin/env bash
# The Debian package as a user gets it: unpacked into a scratch root with dpkg -x, its programs run from there,
# its launcher, metainfo and manual pages checked with the tools that desktops and Debian use, and lintian run on
# it. A real install is left out on purpose: the tests may run beside other work on a shared machine.
#   check_package.sh PACKAGE.deb
set -euo pipefail
deb=$(realpath "$1")
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

version=$(dpkg-deb --field "$deb" Version)
depends=$(dpkg-deb --field "$deb" Depends)
for library in libc6 libstdc++6 libcurl4 libqt6widgets6; do
    [[ ", $depends," == *", $library "* ]] || fail "the computed Depends line lacks $library: $depends"
done

dpkg -x "$deb" "$root"
bin="$root/usr/bin"
share="$root/usr/share"

[ "$("$bin/twinspotter-scan" --version)" = "twinspotter-scan $version" ] || fail "twinspotter-scan --version"
"$bin/twinspotter-scan" --help | grep -q '^Usage: twinspotter-scan ' || fail "twinspotter-scan --help"
[ "$("$bin/twinspotter" --version)" = "twinspotter $version" ] || fail "twinspotter --version"
"$bin/twinspotter" --help | grep -q '^Usage: twinspotter ' || fail "twinspotter --help"

mkdir -p "$root/tree/one" "$root/tree/two"
echo same >"$root/tree/one/a.txt"
cp -p "$root/tree/one/a.txt" "$root/tree/two/a.txt"
pairs=$("$bin/twinspotter-scan" "$root/tree/one" "$root/tree/two" 2>/dev/null)
[[ $pairs == "a.txt"$'\t'"$root/tree/one/"$'\t'"$root/tree/two/"$'\t'5$'\t'* ]] ||
    fail "the installed scanner did not find the pair: $pairs"

# The installed window starts with the locations on its command line and shows its caption on a private X
# display. Its online services talk to a closed loopback port and probe no real host.
source "$(dirname "$0")/../../scripts/lib/private-display.sh"
mkdir -m 700 "$root/runtime"
window_pid=""
trap 'kill $window_pid 2>/dev/null || true; stop_private_display; rm -rf "$root"' EXIT
start_private_display || fail "no private X display"
(cd "$root" && QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$root/runtime" XDG_CONFIG_HOME="$root/config" \
    TWINSPOTTER_SERVER="http://127.0.0.1:9" TWINSPOTTER_PROBE_HOSTS="nothing.invalid" \
    exec "$bin/twinspotter" "$root/tree/one" "$root/tree/two" >/dev/null 2>&1) &
window_pid=$!
caption=""
for _ in $(seq 100); do
    caption=$(xdotool search --name '^Duplicate file finder  v\. ' getwindowname 2>/dev/null | head -1) &&
        [ -n "$caption" ] && break
    kill -0 "$window_pid" 2>/dev/null || fail "the installed window ended at start-up"
    sleep 0.2
done
[ "$caption" = "Duplicate file finder  v. $version" ] || fail "the installed window showed no caption: '$caption'"
kill "$window_pid"
wait "$window_pid" 2>/dev/null || true
stop_private_display

desktops=("$share"/applications/*.desktop)
[ ${#desktops[@]} -eq 1 ] || fail "expected one launcher, found: ${desktops[*]}"
desktop=${desktops[0]}
id=$(basename "$desktop" .desktop)
report=$(desktop-file-validate "$desktop" 2>&1) && [ -z "$report" ] || fail "desktop-file-validate: $report"
exec_line=$(grep '^Exec=' "$desktop")
[ -x "$bin/$(echo "${exec_line#Exec=}" | cut -d' ' -f1)" ] || fail "the launcher starts no installed program: $exec_line"
grep -qx "Icon=$id" "$desktop" || fail "the launcher's icon is not named $id"

metainfo="$share/metainfo/$id.metainfo.xml"
report=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli validate: $report"
report=$(appstreamcli validate-tree --no-net "$root" 2>&1) || fail "appstreamcli validate-tree: $report"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo does not name release $version"

[ -f "$share/icons/hicolor/scalable/apps/$id.svg" ] || fail "no scalable icon"
for size in 16 22 24 32 48 64 128 256; do
    png="$share/icons/hicolor/${size}x${size}/apps/$id.png"
    file "$png" | grep -q "PNG image data, $size x $size," || fail "no $size-pixel icon at $png"
done

for page in "$share"/man/man1/twinspotter.1.gz "$share"/man/man1/twinspotter-scan.1.gz; do
    warnings=$(MANWIDTH=80 man --warnings=w -l "$page" 2>&1 >/dev/null) || fail "man -l $page failed"
    [ -z "$warnings" ] || fail "man -l $page warns: $warnings"
done

# Warnings fail too: lintian warns of a program without a manual page, for one.
report=$(lintian --fail-on error,warning "$deb" 2>&1) || fail "lintian: $report"
echo "package $(basename "$deb"): $(stat -c %s "$deb") bytes, unpacks and checks cleanly"
