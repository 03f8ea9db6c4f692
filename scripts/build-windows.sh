#!/usr/bin/env bash
# Builds the Windows programs into build-windows/ with MinGW-w64: the scanner (twinspotter-scan.exe) and the test
# programs, with no Qt. The cross tools, Wine and the Windows libraries come from scripts/windows-deps.sh, which builds
# them once into a cache outside the checkout. Extra arguments go to CMake's configure step (say -DTWINSPOTTER_WITHOUT_QT=OFF
# with a Qt prefix for the window).
set -euo pipefail
cd "$(dirname "$0")/.."
eval "$(bash scripts/windows-deps.sh)"
cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
    -DTWINSPOTTER_WINDOWS_DEPS="$TWINSPOTTER_WINDOWS_DEPS" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTWINSPOTTER_WITHOUT_QT=ON -DTWINSPOTTER_WERROR="${TWINSPOTTER_WERROR:-OFF}" "$@" >/dev/null
cmake --build build-windows -j "$(nproc)"
