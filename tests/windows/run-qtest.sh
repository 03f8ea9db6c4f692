#!/usr/bin/env bash
# Runs a Windows Qt Test program under Wine and prints its log:
#   run-qtest.sh DEPS PROGRAM.exe [ARGS...]
# DEPS is a colon-separated list of the Windows library prefixes (scripts/windows-deps.sh): their bin folders are
# where the program's DLLs are found. Qt Test under Wine
# writes its console output to the debugger channel, not to standard output, so the log goes through a file; pass
# or fail is the program's exit status.
set -euo pipefail
deps="$1"
program="$2"
shift 2

# Wine's drive Z: is the Unix root.
windows_path() { local p="${1//\//\\}"; printf 'Z:%s' "$p"; }
path=""
IFS=: read -r -a prefixes <<<"$deps"
for prefix in "${prefixes[@]}"; do
    [ -d "$prefix/bin" ] && path="${path:+$path;}$(windows_path "$prefix/bin")"
done
# Qt's DLLs load MinGW's C++ runtime, which the package ships beside them.
for dll in libstdc++-6.dll libwinpthread-1.dll; do
    path="$path;$(windows_path "$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name="$dll")")")"
done
export WINEPATH="$path"

log="$(mktemp --suffix=.txt)"
trap 'rm -f "$log"' EXIT
status=0
# Wine leaves out every variable whose name begins with QT_, so the platform a test asks for goes on the command line;
# Qt finds its plugins beside its DLLs by itself.
platform=()
[ -z "${QT_QPA_PLATFORM:-}" ] || platform=(-platform "$QT_QPA_PLATFORM")
/usr/lib/wine/wine64 "$program" "${platform[@]}" "$@" -o "$(windows_path "$log"),txt" </dev/null || status=$?
tr -d '\r' <"$log"
exit "$status"
