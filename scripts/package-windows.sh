#!/usr/bin/env bash
# Makes, from a finished Windows build, what a Windows user gets:
#   BUILD/Twinspotter-VERSION/                  the runnable folder: the two programs, the Qt, curl and MinGW runtime
#                                               DLLs they load, and Qt's plugins, deployed as windeployqt would
#   BUILD/Twinspotter-VERSION-portable.zip      that folder as a .zip
#   BUILD/Twinspotter-VERSION-setup.exe         the NSIS installer of that folder
#
#   bash scripts/package-windows.sh [BUILD]     (default build-windows; run scripts/build-windows.sh first)
#
# It stops when a DLL that a shipped file loads is neither shipped nor part of Windows (Wine's own copies stand for
# Windows), so a folder that would not start on a clean machine is never packed.
set -euo pipefail

repo="$(cd "$(dirname "$0")/.." && pwd)"
build="$(realpath -m "${1:-$repo/build-windows}")"
log() { echo "package-windows: $*" >&2; }

version="$(sed -n 's/^project(Twinspotter VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")"
[ -n "$version" ] || { log "no version found in CMakeLists.txt"; exit 1; }
for program in twinspotter twinspotter-scan; do
    [ -f "$build/app/$program.exe" ] || { log "no $build/app/$program.exe; run scripts/build-windows.sh"; exit 1; }
done
# scripts/build-windows.sh hands over the prefixes it used; run alone, the script asks the dependency cache.
[ -n "${TWINSPOTTER_WINDOWS_QT:-}" ] && [ -n "${TWINSPOTTER_WINDOWS_CURL:-}" ] ||
    eval "$(bash "$repo/scripts/windows-deps.sh" --with-qt)"
qt="$TWINSPOTTER_WINDOWS_QT"
mingw=x86_64-w64-mingw32

stage="$build/Twinspotter-$version"
rm -rf "$stage"
mkdir -p "$stage/platforms" "$stage/styles" "$stage/imageformats"
cp "$build/app/twinspotter.exe" "$build/app/twinspotter-scan.exe" "$stage/"
cp "$qt/bin/Qt6Core.dll" "$qt/bin/Qt6Gui.dll" "$qt/bin/Qt6Widgets.dll" "$TWINSPOTTER_WINDOWS_CURL/bin/libcurl.dll" \
    "$stage/"
# Qt's DLLs share one C++ runtime; the programs carry their own (linked statically) and do not need these.
for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
    cp "$("$mingw-g++-posix" -print-file-name="$dll")" "$stage/"
done
cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
cp "$qt/plugins/imageformats/qjpeg.dll" "$stage/imageformats/"
find "$stage" -name '*.exe' -o -name '*.dll' | xargs "$mingw-strip" --strip-unneeded

# Every DLL a shipped file loads must be shipped beside the programs or come with Windows.
wine_system=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
missing=0
while IFS= read -r file; do
    while IFS= read -r dll; do
        lower="${dll,,}"
        [ -n "$(find "$stage" -maxdepth 1 -iname "$lower")" ] && continue
        [ -e "$wine_system/$lower" ] && continue
        case "$lower" in api-ms-win-* | ext-ms-win-*) continue ;; esac
        log "${file#"$stage"/} loads $dll, which is neither shipped nor part of Windows"
        missing=1
    done < <("$mingw-objdump" -p "$file" | sed -n 's/^\s*DLL Name: //p')
done < <(find "$stage" -name '*.exe' -o -name '*.dll')
[ "$missing" = 0 ] || exit 1

zip="$build/Twinspotter-$version-portable.zip"
rm -f "$zip"
(cd "$build" && TZ=UTC zip -q -r -X "$zip" "Twinspotter-$version")

# The installer's lists of what it puts where, and what its uninstaller takes away again.
nsis="$build/nsis"
rm -rf "$nsis"
mkdir -p "$nsis"
windows_path() { printf '%s' "${1//\//\\}"; }
{
    for dir in "" platforms styles imageformats; do
        echo "SetOutPath \"\$INSTDIR${dir:+\\$dir}\""
        find "$stage${dir:+/$dir}" -maxdepth 1 -type f | sort | while IFS= read -r f; do echo "File \"$f\""; done
    done
} >"$nsis/install.nsh"
{
    (cd "$stage" && find . -type f | sort) | while IFS= read -r f; do
        echo "Delete \"\$INSTDIR\\$(windows_path "${f#./}")\""
    done
    for dir in platforms styles imageformats; do echo "RMDir \"\$INSTDIR\\$dir\""; done
} >"$nsis/uninstall.nsh"
# The licence page shows the package's copyright text, with Windows line ends.
sed 's/$/\r/' "$repo/packaging/copyright" >"$nsis/LICENSE.txt"
python3 "$repo/packaging/windows/make-ico.py" "$nsis/twinspotter.ico" "$repo"/data/icons/png/twinspotter-*.png

setup="$build/Twinspotter-$version-setup.exe"
rm -f "$setup"
makensis -V2 -DVERSION="$version" -DOUTFILE="$setup" -DICON="$nsis/twinspotter.ico" -DLICENSE="$nsis/LICENSE.txt" \
    -DFILES="$nsis" -DSIZE_KB="$(du -sk "$stage" | cut -f1)" "$repo/packaging/windows/installer.nsi" >&2
log "$stage ($(du -sh "$stage" | cut -f1))"
log "$zip ($(du -h "$zip" | cut -f1))"
log "$setup ($(du -h "$setup" | cut -f1))"
