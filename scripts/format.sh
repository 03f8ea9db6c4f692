#!/usr/bin/env bash
# Lays out every C++ source of the project by its .clang-format; with --check it changes nothing, names each file
# that is off and fails (clang-format --dry-run -Werror). CLANG_FORMAT names another clang-format to use.
#   scripts/format.sh [--check]      (also: cmake --build build --target format)
set -euo pipefail
cd "$(dirname "$0")/.."
clang_format="${CLANG_FORMAT:-clang-format}"
mapfile -d '' sources < <(find app bench core online tests ui \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z)
if [ "${1:-}" = "--check" ]; then
    "$clang_format" --dry-run -Werror "${sources[@]}"
else
    "$clang_format" -i "${sources[@]}"
fi
