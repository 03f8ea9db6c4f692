#!/usr/bin/env bash
# Builds the Debian package twinspotter_VERSION_ARCH.deb into the top of this repository: installs what is
# missing, builds into build/ as scripts/build.sh does, and lets CPack make the package from the install rules.
#   sudo apt-get install ./twinspotter_*.deb      installs it; apt-get remove twinspotter takes it away again
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
rm -rf build/package twinspotter_*.deb
(cd build && cpack -G DEB -B "$PWD/package" >/dev/null)
mv build/package/twinspotter_*.deb .
ls twinspotter_*.deb
