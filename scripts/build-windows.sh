#!/usr/bin/env bash
# Builds the Windows programs into build-windows/ with MinGW-w64: the window (twinspotter.exe), the scanner
# (twinspotter-scan.exe) and the test programs; then, with scripts/package-windows.sh, what a Windows user gets:
# build-windows/Twinspotter-VERSION/ (the runnable folder), Twinspotter-VERSION-portable.zip and
# Twinspotter-VERSION-setup.exe. The cross tools, Wine, NSIS, Qt and the other Windows libraries come from
# scripts/windows-deps.sh, which builds them once into a cache outside the checkout (Qt takes half an hour or more
# the first time).
#
#   bash scripts/build-windows.sh [--without-qt] [CMAKE-ARGS...]
#
# --without-qt builds only the scanner, the core and online libraries and their tests, and packs nothing.
# Extra arguments go to CMake's configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
with_qt=1
if [ "${1:-}" = --without-qt ]; then
    with_qt=0
    shift
fi

if [ "$with_qt" = 1 ]; then
    eval "$(bash scripts/windows-deps.sh --with-qt)"
    # Debian's own Qt 6.4.2 runs moc, rcc and uic for the Windows Qt of the same version.
    qt_args=(-DTWINSPOTTER_WITHOUT_QT=OFF -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake)
else
    eval "$(bash scripts/windows-deps.sh)"
    qt_args=(-DTWINSPOTTER_WITHOUT_QT=ON)
fi
cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
    -DTWINSPOTTER_WINDOWS_DEPS="$TWINSPOTTER_WINDOWS_DEPS" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTWINSPOTTER_WERROR="${TWINSPOTTER_WERROR:-OFF}" "${qt_args[@]}" "$@" >/dev/null
cmake --build build-windows -j "$(nproc)"
if [ "$with_qt" = 1 ]; then
    bash scripts/package-windows.sh build-windows
fi
