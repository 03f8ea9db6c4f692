#!/usr/bin/env bash
# Installs what is missing, builds, and starts the window; without a display it says so and shows the scanner.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ "${QT_QPA_PLATFORM:-}" = "" ]; then
    echo "No display here: the window needs one (an X11 or Wayland session, or xvfb-run)." >&2
    echo "The headless scanner runs anywhere; here it is on a small sample tree:" >&2
    sample=$(mktemp -d)
    trap 'rm -rf "$sample"' EXIT
    mkdir -p "$sample/photos/2009" "$sample/backup/photos" "$sample/backup/old"
    for n in a b c; do echo "picture $n" >"$sample/photos/2009/$n.jpg"; done
    cp -p "$sample/photos/2009/a.jpg" "$sample/photos/2009/b.jpg" "$sample/backup/photos/"
    cp -p "$sample/photos/2009/c.jpg" "$sample/backup/old/"
    echo "notes" >"$sample/backup/old/notes.txt"
    echo "\$ build/app/twinspotter-scan $sample/photos $sample/backup" >&2
    build/app/twinspotter-scan "$sample/photos" "$sample/backup"
    exit 0
fi
exec build/app/twinspotter "$@"
