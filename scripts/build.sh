#!/usr/bin/env bash
# Configures and builds the whole project into build/ (Ninja, ccache when present).
set -euo pipefail
cd "$(dirname "$0")/.."
# TWINSPOTTER_WERROR=ON (the test command sets it) makes every warning an error.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTWINSPOTTER_WERROR="${TWINSPOTTER_WERROR:-OFF}" >/dev/null
cmake --build build -j "$(nproc)"
