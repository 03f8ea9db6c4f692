#!/usr/bin/env bash
# Installs what is missing, checks the layout of the sources, builds everything and runs every test; checks the
# Debian package built from that build; then builds the core a second time with AddressSanitizer and
# UndefinedBehaviorSanitizer and a third time with ThreadSanitizer (the walk's listing threads, the content
# readers), and runs its tests again under each.
set -euo pipefail
cd "$(dirname "$0")/.."
# Every warning is an error here; the package step below builds from the same configuration.
export TWINSPOTTER_WERROR=ON
# A fresh clone in another folder still finds its objects in ccache: paths are taken relative to the checkout, and
# the folder itself is left out of the hash (only debug information names it).
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
bash scripts/install-deps.sh
# Every C++ source laid out by .clang-format (clang-format --dry-run -Werror); "scripts/format.sh" mends it.
bash scripts/format.sh --check
bash scripts/build.sh
(cd build && ctest --output-on-failure -j 2 --timeout 300)

# Windows: the window, the scanner, their tests and the installer built with MinGW (Qt built once into the
# dependency cache); the tests under Wine, the Windows scanner against the Linux one, then the installer's smoke test
# under Wine on an Xvfb display.
bash scripts/build-windows.sh
bash scripts/test-windows.sh build/app/twinspotter-scan
bash tests/windows/smoke.sh build-windows

# The Debian package from the same build, unpacked and checked as a user would get it.
bash scripts/package.sh >/dev/null
bash tests/package/check_package.sh twinspotter_*.deb

cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTWINSPOTTER_CORE_ONLY=ON \
    -DTWINSPOTTER_SANITIZE=ON -DTWINSPOTTER_WERROR=ON >/dev/null
cmake --build build-sanitize -j "$(nproc)"
(cd build-sanitize && ctest --output-on-failure -j 2 --timeout 300)

cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTWINSPOTTER_CORE_ONLY=ON \
    -DTWINSPOTTER_SANITIZE_THREAD=ON -DTWINSPOTTER_WERROR=ON >/dev/null
cmake --build build-tsan -j "$(nproc)"
(cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j 2 --timeout 300)
