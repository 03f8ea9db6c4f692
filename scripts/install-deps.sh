#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Twinspotter needs.
# Idempotent: when everything is present it prints nothing and touches nothing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build ccache pkg-config
    qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libgl-dev
    libcurl4-openssl-dev libcpp-httplib-dev libxxhash-dev
    googletest libgtest-dev libgmock-dev
    clang libclang-rt-14-dev clang-format
    xvfb xauth x11-apps xdotool fonts-dejavu-core
    python3 findutils procps time libglib2.0-bin
    bindfs fuse3 acl attr
    dpkg-dev file lintian desktop-file-utils appstream man-db groff-base
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: these packages are missing and installing them needs root: ${missing[*]}" >&2
    exit 1
fi
echo "install-deps: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq >/dev/null
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
