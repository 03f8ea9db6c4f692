#!/usr/bin/env bash
# End to end: the real program under Xvfb asks to update when the loopback server announces a newer version, with its
# main window already on screen; answering with anything but Yes records the seven-day postponement, and Yes starts
# the downloaded updater and ends the program, also when the "Update" report fails.
#   update_prompt.sh TWINSPOTTER_BINARY TEST_SERVER_BINARY
set -euo pipefail
program=$(realpath "$1")
server=$(realpath "$2")
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; echo "--- server log:" >&2; cat "$work/requests.log" >&2 || true; exit 1; }

"$server" --version "1.0.8" --log "$work/requests.log" >"$work/port" &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(head -n1 "$work/port")
[ -n "$port" ] || fail "the test server did not start"

source "$(dirname "$0")/../../scripts/lib/private-display.sh"
start_private_display 1280x1024x24 || fail "no private X display"
pids+=("$private_display_pid")

mkdir -p "$work/cwd" "$work/config"
(cd "$work/cwd" && QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$work/config" \
    TWINSPOTTER_SERVER="http://127.0.0.1:$port" TWINSPOTTER_PROBE_HOSTS=127.0.0.1 \
    exec "$program") >"$work/program.log" 2>&1 &
program_pid=$!
pids+=($program_pid)

question=$(timeout 30 xdotool search --sync --onlyvisible --name '^Confirm$' | head -n1) ||
    fail "the update question did not come up"
xdotool search --onlyvisible --name '^Duplicate file finder  v\. 1\.0\.7$' >/dev/null ||
    fail "the main window was not on screen while the update question was asked"
grep -qP '^/downloads/twinspotter/version\.txt\tts=\d{8}\tBasic Og==$' "$work/requests.log" ||
    fail "the version text was not requested with an eight-digit ts and the anonymous Authorization header"
echo "the question came up after: $(grep -c . "$work/requests.log") request(s)"

# Escape closes the question without a Yes: the question is postponed by seven days.
xdotool windowfocus --sync "$question" key Escape
for _ in $(seq 100); do [ -s "$work/cwd/postponed.txt" ] && break; sleep 0.1; done
[ -s "$work/cwd/postponed.txt" ] || fail "no postponement was written after answering No"
expected_date=$(date -d "+7 days" +%m-%d-%Y)
grep -qP "^$expected_date( [0-9:]+( ?[AaPp][Mm])?)?\r$" "$work/cwd/postponed.txt" ||
    fail "unexpected postponement line: $(od -c "$work/cwd/postponed.txt" | head -n 3)"
kill -0 "$program_pid" 2>/dev/null || fail "the program ended after the question"
echo "postponed until: $(tr -d '\r' <"$work/cwd/postponed.txt")"
kill "$program_pid"

# Yes: the updater is saved beside a copy of the program and started; the report answered with 500 is shown, and
# once its box is closed the program ends on its own.
printf '#!/bin/sh\necho "$PWD" >"$(dirname "$0")/updater-ran"\n' >"$work/updater.sh"
"$server" --version "1.0.8" --updater "$work/updater.sh" --answer /controlcenter/contact_quillnet.php=500 \
    --log "$work/requests.log" >"$work/port2" &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/port2" ] && break; sleep 0.1; done
mkdir -p "$work/bin" "$work/cwd2" && cp "$program" "$work/bin/twinspotter"
(cd "$work/cwd2" && QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$work/config" \
    TWINSPOTTER_SERVER="http://127.0.0.1:$(head -n1 "$work/port2")" TWINSPOTTER_PROBE_HOSTS=127.0.0.1 \
    exec "$work/bin/twinspotter") >>"$work/program.log" 2>&1 &
program_pid=$!
pids+=($program_pid)
question=$(timeout 30 xdotool search --sync --onlyvisible --name '^Confirm$' | head -n1) ||
    fail "the update question did not come up the second time"
xdotool windowfocus --sync "$question" key y
error_box=$(timeout 30 xdotool search --sync --onlyvisible --name '^Twinspotter$' | head -n1) ||
    fail "the failed report was not shown"
for _ in $(seq 50); do [ -s "$work/bin/updater-ran" ] && break; sleep 0.1; done
[ "$(cat "$work/bin/updater-ran" 2>/dev/null)" = "$work/cwd2" ] || fail "the updater did not run"
xdotool windowfocus --sync "$error_box" key Return
for _ in $(seq 100); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$program_pid" 2>/dev/null && fail "the program kept running beside the updater"
echo "2 passed, 0 failed"
