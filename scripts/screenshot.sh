#!/usr/bin/env bash
# Takes a PNG of the main window under a private Xvfb display, optionally after a search on given locations.
# Usage: scripts/screenshot.sh [--cancel-after PAIRS|comparing] [--last-rows] [--tick BOX]... [--remove-all]
#                              [OUT.png] [LOCATION1 [LOCATION2]]
#   --cancel-after PAIRS  press Cancel once the search has found PAIRS pairs (0: during the first walk), or once it
#                         compares contents (comparing)
#   --last-rows           scroll the results table to its last rows before the picture
#   --tick BOX            tick the check box of that object name (chkContent, chkTrash, ...) before the search
#   --remove-all          after the search, press "Delete duplicate files", answer Yes, and take the picture of the
#                         "Not removed" box instead of the window (run it where a removal will keep files)
# TWINSPOTTER_BIN names the program to run (default: build/app/twinspotter-screenshot, the window with a harness
# that takes the picture, beside this script's repository).
set -euo pipefail

cancel_after=""
last_rows=0
remove_all=0
tick=""
while [ $# -gt 0 ]; do
    case "$1" in
        --cancel-after)
            [[ "${2:-}" =~ ^([0-9]+|comparing)$ ]] ||
                { echo "screenshot: --cancel-after needs a number of pairs or comparing" >&2; exit 2; }
            cancel_after="$2"; shift 2 ;;
        --last-rows) last_rows=1; shift ;;
        --remove-all) remove_all=1; shift ;;
        --tick)
            [ -n "${2:-}" ] || { echo "screenshot: --tick needs the name of a check box" >&2; exit 2; }
            tick="${tick:+$tick,}$2"; shift 2 ;;
        --) shift; break ;;
        -*) echo "screenshot: unknown option $1" >&2; exit 2 ;;
        *) break ;;
    esac
done

here="$(cd "$(dirname "$0")/.." && pwd)"
out="$(realpath -m "${1:-twinspotter.png}")"
bin="${TWINSPOTTER_BIN:-$here/build/app/twinspotter-screenshot}"
[ -x "$bin" ] || { echo "screenshot: no program at $bin (build it, or set TWINSPOTTER_BIN)" >&2; exit 1; }
command -v Xvfb >/dev/null || { echo "screenshot: Xvfb is missing; run scripts/install-deps.sh" >&2; exit 1; }

source "$here/scripts/lib/private-display.sh"
runtime="$(mktemp -d)"
trap 'stop_private_display; rm -rf "$runtime"' EXIT
start_private_display

# Nothing may leave the machine: the online services talk to a closed loopback port and probe no real host.
XDG_RUNTIME_DIR="$runtime" XDG_CONFIG_HOME="$runtime/config" QT_QPA_PLATFORM=xcb \
TWINSPOTTER_SERVER="http://127.0.0.1:9" TWINSPOTTER_PROBE_HOSTS="nothing.invalid" \
TWINSPOTTER_SCREENSHOT="$out" TWINSPOTTER_SCREENSHOT_CANCEL="$cancel_after" TWINSPOTTER_SCREENSHOT_LAST_ROWS="$last_rows" \
TWINSPOTTER_SCREENSHOT_TICK="$tick" TWINSPOTTER_SCREENSHOT_REMOVE="$remove_all" \
timeout 120 "$bin" -- "${@:2}"
echo "$out"
