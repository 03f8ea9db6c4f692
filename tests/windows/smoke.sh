#!/usr/bin/env bash
# The Windows installer and program under Wine, on a private Xvfb display and a private Wine prefix, checked from
# outside as a Windows user would meet them:
#   - the installer installs silently for the current user: the program, its Start-menu shortcut, its entry among
#     the installed programs;
#   - the installed twinspotter.exe opens its window with the right caption and ends cleanly when it is closed;
#   - the same window (the build's twinspotter-screenshot.exe, over the installed DLLs and plugins) searches the two
#     locations given on its command line, lists as many pairs as the installed scanner finds and pictures itself;
#   - the settings key HKEY_CURRENT_USER\Software\QuillNet\Twinspotter exists afterwards and holds no values;
#   - the silent uninstaller takes away everything the installer put there, and nothing else;
#   - the same for an all-users installation under Program Files.
#
#   bash tests/windows/smoke.sh [BUILD] [SCREENSHOT]
# BUILD (default build-windows) holds Twinspotter-VERSION-setup.exe from scripts/package-windows.sh; the window's
# picture goes to SCREENSHOT (default docs/screenshot-windows.png). Nothing leaves the machine: the program's server
# is a closed loopback port and its connectivity probe asks a name that does not exist.
set -euo pipefail

repo="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(realpath -m "${1:-$repo/build-windows}")"
screenshot="$(realpath -m "${2:-$repo/docs/screenshot-windows.png}")"
version="$(sed -n 's/^project(Twinspotter VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")"
setup="$build/Twinspotter-$version-setup.exe"
[ -f "$setup" ] || { echo "smoke: no $setup; run scripts/package-windows.sh" >&2; exit 1; }

wine=/usr/lib/wine/wine64
work="$(mktemp -d)"
source "$repo/scripts/lib/private-display.sh"
cleanup() {
    /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
    stop_private_display
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "smoke: FAIL: $*" >&2
    [ ! -s "$work/program.log" ] || { echo "--- program's output:" >&2; cat "$work/program.log" >&2; }
    exit 1
}
step_start=$SECONDS
step() { echo "smoke: $* ($((SECONDS - step_start)) s)"; }

start_private_display || fail "no private X display"

export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export TWINSPOTTER_SERVER="http://127.0.0.1:9" TWINSPOTTER_PROBE_HOSTS="nothing.invalid"
# Wine's background services inherit every open stream; with all three redirected nothing waits on them.
mkdir -p "$WINEPREFIX"
/usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1
"$wine" wineboot </dev/null >/dev/null 2>&1
step "fresh Wine prefix"

to_unix() { realpath -m "$("$wine" winepath -u "$1" 2>/dev/null | tr -d '\r')"; }
to_windows() { "$wine" winepath -w "$1" 2>/dev/null | tr -d '\r'; }
# Every file and folder of the prefix's drive, except the Windows folder, the temporary folder (an NSIS uninstaller
# runs from a copy of itself there, which Windows deletes at the next start) and the folder of per-user programs
# (a known folder of Windows that Wine makes only when something is first installed there).
drive_listing() {
    (cd "$WINEPREFIX/drive_c" && find . -path ./windows -prune -o -path './users/*/Temp' -prune -o \
        -path './users/*/AppData/Local/Programs' -o -print) | sort
}
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Twinspotter'
registry_value() { "$wine" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_SZ *//p"; }

# install MODE: installs silently in that mode and prints the installation folder as a Unix path.
install() {
    local hive=HKCU
    [ "$1" = AllUsers ] && hive=HKLM
    "$wine" "$setup" /S "/$1" </dev/null >/dev/null 2>&1 || fail "the installer ($1) exited with status $?"
    local location
    location="$(registry_value "${uninstall_key/HKLM/$hive}" InstallLocation)"
    [ -n "$location" ] || fail "the installer ($1) wrote no InstallLocation under $hive"
    to_unix "$location"
}

# uninstall DIR: runs the installed uninstaller silently; it copies itself away and returns at once, so the
# folder's disappearance is awaited.
uninstall() {
    "$wine" "$(to_windows "$1/uninstall.exe")" /S </dev/null >/dev/null 2>&1 || fail "the uninstaller exited with $?"
    for _ in $(seq 200); do [ -e "$1" ] || return 0; sleep 0.1; done
    fail "the uninstaller left $1: $(cd "$1" && find . | head)"
}

before="$(drive_listing)"

# --- For the current user.
dir="$(install CurrentUser)"
step "installed for the current user into $dir"
for f in twinspotter.exe twinspotter-scan.exe uninstall.exe Qt6Core.dll platforms/qwindows.dll; do
    [ -f "$dir/$f" ] || fail "$f was not installed"
done
start_menu="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Twinspotter.lnk"
[ -f "$start_menu" ] || fail "no Start-menu shortcut at $start_menu"
[ "$(registry_value 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Twinspotter' DisplayVersion)" = "$version" ] ||
    fail "the installed programs' list does not show version $version"

# A sample tree: a photo folder and its partial backup, two locations given on the command line.
bash "$repo/scripts/demo-tree.sh" "$work/tree" >/dev/null
location1="$(to_windows "$work/tree/Pictures")"
location2="$(to_windows "$work/tree/Backup")"
pairs="$("$wine" "$dir/twinspotter-scan.exe" "$location1" "$location2" 2>&1 >/dev/null </dev/null |
    tr -d '\r' | sed -n 's/^pairs: //p')"
[ -n "$pairs" ] && [ "$pairs" -gt 0 ] || fail "the installed scanner found no pairs"
# The Linux scanner over the same tree, when there is one, must agree.
if [ -x "$repo/build/app/twinspotter-scan" ]; then
    linux_pairs="$("$repo/build/app/twinspotter-scan" "$work/tree/Pictures" "$work/tree/Backup" 2>&1 >/dev/null |
        sed -n 's/^pairs: //p')"
    [ "$linux_pairs" = "$pairs" ] || fail "the Windows scanner found $pairs pairs, the Linux one $linux_pairs"
fi
step "the installed scanner finds $pairs pairs"

# The installed program from outside, as a user starts it: its window comes up on the X display with its caption,
# and it ends cleanly when the window is closed (Alt+F4).
mkdir -p "$work/cwd" "$(dirname "$screenshot")"
caption="Duplicate file finder  v. $version"
(cd "$work/cwd" && exec timeout 120 "$wine" "$(to_windows "$dir/twinspotter.exe")" "$location1" "$location2" \
    </dev/null >"$work/program.log" 2>&1) &
program_pid=$!
window="$(timeout 60 xdotool search --sync --onlyvisible --name "^${caption//./\\.}\$" 2>/dev/null | head -n1)" || true
[ -n "$window" ] || fail "no window captioned \"$caption\" appeared"
# The start-up's update check runs once the window is up; its answer (no server) comes within the probe's second.
sleep 3
xdotool windowfocus --sync "$window" key alt+F4
status=0
wait "$program_pid" || status=$?
[ "$status" = 0 ] || fail "twinspotter.exe exited with status $status after its window was closed"
step "the installed window came up captioned \"$caption\" and closed cleanly"

# The search in the window, over the installed DLLs and plugins: the build's twinspotter-screenshot.exe is the same
# window with a harness that searches the locations it was given, pictures the window and says what it shows. It
# runs from the installed folder (as windeployqt's layout wants: Qt finds its plugins beside the program) and is
# taken out again before the uninstaller runs.
harness="$build/app/twinspotter-screenshot.exe"
[ -f "$harness" ] || fail "no $harness"
cp "$harness" "$dir/"
status=0
(cd "$work/cwd" && TWINSPOTTER_SCREENSHOT="$(to_windows "$work/window.png")" TWINSPOTTER_SCREENSHOT_LAST_ROWS=1 \
    timeout 120 "$wine" "$(to_windows "$dir/twinspotter-screenshot.exe")" "$location1" "$location2" </dev/null \
    >"$work/program.log" 2>&1) || status=$?
rm "$dir/twinspotter-screenshot.exe"
[ "$status" = 0 ] || fail "the window's search exited with status $status"
shown="$(tr -d '\r' <"$work/program.log" | sed -n 's/^twinspotter: pictured //p')"
[ "$shown" = "\"$caption\" showing \"Doublicates found: $pairs\" in $pairs rows" ] ||
    fail "the window showed: ${shown:-nothing}"
[ -s "$work/window.png" ] || fail "the window's picture was not saved"
cp "$work/window.png" "$screenshot"
step "the window's search listed $pairs pairs; its picture is $screenshot"

"$wine" reg query 'HKCU\Software\QuillNet\Twinspotter' >"$work/key" 2>&1 || fail "no settings key after the first run"
[ "$(tr -d '\r' <"$work/key" | grep -c 'REG_')" = 0 ] || fail "the settings key holds values: $(cat "$work/key")"
[ -z "$(ls -A "$work/cwd")" ] || fail "the program left files in its working folder: $(ls -A "$work/cwd")"
step "the settings key exists and holds no values"

uninstall "$dir"
[ ! -e "$start_menu" ] || fail "the uninstaller left the Start-menu shortcut"
"$wine" reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Twinspotter' >/dev/null 2>&1 &&
    fail "the uninstaller left its entry among the installed programs"
"$wine" reg query 'HKCU\Software\QuillNet\Twinspotter' >/dev/null 2>&1 ||
    fail "the uninstaller removed the program's settings key, which it had not installed"
step "uninstalled for the current user"

# --- For all users: under Program Files, registered under HKLM, and a user's file in the folder survives.
dir="$(install AllUsers)"
case "$dir" in */Program\ Files/Twinspotter) ;; *) fail "an all-users installation went to $dir" ;; esac
printf '12-24-2026\r\n' >"$dir/postponed.txt"
uninstall_and_keep() {
    "$wine" "$(to_windows "$dir/uninstall.exe")" /S </dev/null >/dev/null 2>&1 || fail "the uninstaller exited with $?"
    for _ in $(seq 200); do [ -e "$dir/twinspotter.exe" ] || break; sleep 0.1; done
    for _ in $(seq 50); do [ -e "$dir/uninstall.exe" ] || break; sleep 0.1; done
}
uninstall_and_keep
[ "$(cd "$dir" && find . -mindepth 1)" = "./postponed.txt" ] ||
    fail "after uninstalling, the folder holds: $(cd "$dir" && find . -mindepth 1 | head)"
"$wine" reg query "$uninstall_key" >/dev/null 2>&1 && fail "the uninstaller left its HKLM entry"
rm -r "$dir"
step "installed and uninstalled for all users; a user's file in the folder stayed"

after="$(drive_listing)"
leftover="$(comm -13 <(echo "$before") <(echo "$after"))"
[ -z "$leftover" ] || fail "the installations left on the drive: $(echo "$leftover" | head)"
step "nothing of the installer's is left on the drive"
echo "smoke: passed in $SECONDS s"
