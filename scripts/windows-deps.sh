#!/usr/bin/env bash
# Installs the MinGW-w64 cross tools, Wine and NSIS, and builds the Windows libraries Debian does not ship for
# MinGW into a cache outside the checkout, once per machine:
#
#   bash scripts/windows-deps.sh [--with-qt] [--env-file FILE]
#
# - curl 7.88.1 from Debian's `curl` source: HTTP only, Schannel, shared, nothing optional;
# - GoogleTest from /usr/src/googletest;
# - cpp-httplib's single header from Debian's `cpp-httplib` source (the online tests' loopback server; Debian's
#   own package splits it into a header and a Linux library);
# - with --with-qt, Qt 6.4.2 from Debian's `qt6-base` source: Core, Gui, Widgets, Test and the windows platform
#   plugin and the JPEG image plugin, about half an hour on two cores.
#
# The cache is TWINSPOTTER_WINDOWS_CACHE (default /var/cache/twinspotter-windows). Each library lives in a folder
# named by its version, the MinGW compiler's version and a hash of its build options, is built into a temporary
# folder and renamed into place only when complete, so an interrupted build is never taken for a finished one
# and a change of options builds afresh beside the old one. A lock per library lets two checkouts share the cache.
#
# Standard output gets shell assignments for the other scripts (eval "$(bash scripts/windows-deps.sh)"):
#   TWINSPOTTER_WINDOWS_CURL=... TWINSPOTTER_WINDOWS_GTEST=... TWINSPOTTER_WINDOWS_HTTPLIB=... [TWINSPOTTER_WINDOWS_QT=...]
#   TWINSPOTTER_WINDOWS_DEPS="curl;gtest;httplib[;qt]"   (the toolchain file's search prefixes)
# --env-file FILE writes the same lines to FILE. Progress goes to standard error.
set -euo pipefail

repo="$(cd "$(dirname "$0")/.." && pwd)"
toolchain="$repo/cmake/mingw-w64-x86_64.cmake"
cache="${TWINSPOTTER_WINDOWS_CACHE:-/var/cache/twinspotter-windows}"
with_qt=0
env_file=""
while [ $# -gt 0 ]; do
    case "$1" in
    --with-qt) with_qt=1 ;;
    --env-file)
        env_file="$2"
        shift
        ;;
    *)
        echo "usage: windows-deps.sh [--with-qt] [--env-file FILE]" >&2
        exit 2
        ;;
    esac
    shift
done

log() { echo "windows-deps: $*" >&2; }

install_tools() {
    local packages=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix wine64 wine nsis
        cmake ninja-build dpkg-dev debian-archive-keyring googletest xz-utils zip unzip)
    [ "$with_qt" = 1 ] && packages+=(qt6-base-dev qt6-base-dev-tools)
    local missing=() p
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        log "these packages are missing and installing them needs root: ${missing[*]}"
        exit 1
    fi
    log "installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq >/dev/null
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

install_tools
mkdir -p "$cache"

mingw_version="$(x86_64-w64-mingw32-g++-posix -dumpfullversion)-$(dpkg-query -W -f='${Version}' mingw-w64-x86-64-dev)"
mingw_version="${mingw_version//[^A-Za-z0-9.+_-]/_}"

# A short hash of everything that decides how a library is built: its options, the toolchain file and the
# compiler's version.
options_hash() {
    { printf '%s\n' "$@" "$mingw_version"; cat "$toolchain"; } | sha256sum | cut -c1-12
}

# Fetches and unpacks a Debian source package into the cache through an apt configuration of our own; the
# system's sources stay as they are.
debian_source() {
    local name="$1" version="$2"
    local dir="$cache/src/$name-$version"
    if [ -f "$dir/.complete" ]; then
        echo "$dir"
        return
    fi
    local apt="$cache/src/apt"
    mkdir -p "$apt/lists/partial" "$apt/parts"
    cat >"$apt/parts/debian-src.sources" <<EOF
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    local aptopts=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$apt/parts"
        -o "Dir::State::Lists=$apt/lists" -o Dir::Etc::Preferences=/dev/null -o Dir::Etc::PreferencesParts=/dev/null)
    [ -n "$(ls "$apt/lists" 2>/dev/null | grep -v partial)" ] || apt-get "${aptopts[@]}" -qq update >&2
    local tmp
    tmp="$(mktemp -d "$cache/src/.$name.XXXXXX")"
    (cd "$tmp" && apt-get "${aptopts[@]}" -qq source --download-only "$name" >&2)
    # Bookworm's point releases change the Debian revision, never the upstream version the cache is keyed by.
    local dsc
    dsc="$(ls "$tmp"/*.dsc)"
    case "$(basename "$dsc")" in
    "${name}_$version"*) ;;
    *)
        log "Debian's source of $name is $(basename "$dsc"), not version $version"
        return 1
        ;;
    esac
    (cd "$tmp" && dpkg-source --no-check -x ./*.dsc unpacked >&2)
    rm -rf "$dir"
    mv "$tmp/unpacked" "$dir"
    rm -rf "$tmp"
    touch "$dir/.complete"
    echo "$dir"
}

# build_cached NAME VERSION FUNCTION OPTIONS...: runs FUNCTION SOURCE-BUILD-DIR PREFIX OPTIONS... unless the
# keyed prefix already exists, and prints the prefix.
build_cached() {
    local name="$1" version="$2" fn="$3"
    shift 3
    local key
    key="$name-$version-mingw$mingw_version-$(options_hash "$name" "$version" "$@" "$(declare -f "$fn")")"
    local prefix="$cache/$key"
    if [ -d "$prefix" ]; then
        echo "$prefix"
        return
    fi
    exec {lockfd}>"$cache/.$name.lock"
    flock "$lockfd"
    if [ ! -d "$prefix" ]; then
        # Left by an interrupted build of this library; nobody else builds it while we hold its lock.
        rm -rf "$cache/.build-$name-"* "$cache/.install-$name-"*
        mkdir -p "$cache/.build-$key" "$cache/.install-$key"
        log "building $name $version into $prefix"
        local start=$SECONDS
        "$fn" "$cache/.build-$key" "$cache/.install-$key" "$@" >&2
        mv "$cache/.install-$key" "$prefix"
        rm -rf "$cache/.build-$key"
        log "$name built in $((SECONDS - start)) s"
    fi
    exec {lockfd}>&-
    echo "$prefix"
}

cross_cmake() {
    cmake -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release "$@"
}

curl_version=7.88.1
curl_options=(-DBUILD_SHARED_LIBS=ON -DHTTP_ONLY=ON -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF
    -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DUSE_NGHTTP2=OFF -DCURL_USE_LIBSSH2=OFF
    -DCURL_USE_LIBSSH=OFF -DUSE_LIBIDN2=OFF -DUSE_WIN32_IDN=OFF -DCURL_DISABLE_LDAP=ON -DCURL_USE_GSSAPI=OFF
    -DENABLE_UNIX_SOCKETS=OFF -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF
    -DCURL_CA_BUNDLE=none -DCURL_CA_PATH=none)
build_curl() {
    local build="$1" prefix="$2"
    shift 2
    local src
    src="$(debian_source curl "$curl_version")"
    cross_cmake -S "$src" -B "$build" -DCMAKE_INSTALL_PREFIX="$prefix" "$@" >"$build/configure.log" 2>&1 ||
        { tail -30 "$build/configure.log" >&2; return 1; }
    cmake --build "$build" -j "$(nproc)" >"$build/build.log" 2>&1 || { tail -30 "$build/build.log" >&2; return 1; }
    cmake --install "$build" >/dev/null
    rm -rf "$prefix/share/man"
}

gtest_version="$(dpkg-query -W -f='${Version}' googletest)"
gtest_options=(-DBUILD_GMOCK=ON -DINSTALL_GTEST=ON -Dgtest_force_shared_crt=ON)
build_gtest() {
    local build="$1" prefix="$2"
    shift 2
    cross_cmake -S /usr/src/googletest -B "$build" -DCMAKE_INSTALL_PREFIX="$prefix" "$@" >"$build/configure.log" 2>&1 ||
        { tail -30 "$build/configure.log" >&2; return 1; }
    cmake --build "$build" -j "$(nproc)" >"$build/build.log" 2>&1 || { tail -30 "$build/build.log" >&2; return 1; }
    cmake --install "$build" >/dev/null
}

httplib_version=0.11.4
build_httplib() {
    local prefix="$2"
    local src
    src="$(debian_source cpp-httplib "$httplib_version")"
    mkdir -p "$prefix/include"
    cp "$src/httplib.h" "$prefix/include/httplib.h"
}

# Qt: Core, Gui, Widgets, Test, the windows platform plugin and the JPEG reader (the splash picture), with Debian's
# own Qt as the host tools (moc, rcc,
# uic). Three switches avoid faults of this Qt version on MinGW without OpenGL: dynamicgl must follow opengl off
# (the platform plugin does not compile otherwise), DirectWrite 3 needs Direct2D on (else qwindows.dll lacks a
# font database symbol), and the tablet support needs wintab.h, which neither the tarball nor MinGW has.
qt_version=6.4.2
qt_options=(-DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DTWINSPOTTER_MINGW_STATIC_RUNTIME=OFF -DBUILD_SHARED_LIBS=ON
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF -DQT_BUILD_MANUAL_TESTS=OFF
    -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_opengl=OFF -DFEATURE_dynamicgl=OFF -DFEATURE_dbus=OFF
    -DFEATURE_printsupport=OFF -DFEATURE_xml=OFF -DFEATURE_concurrent=OFF -DFEATURE_vulkan=OFF
    -DFEATURE_jpeg=ON -DFEATURE_system_jpeg=OFF -DFEATURE_icu=OFF -DFEATURE_glib=OFF -DFEATURE_zstd=OFF -DFEATURE_tabletevent=OFF
    -DFEATURE_direct2d=ON -DFEATURE_directwrite3=ON
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF
    -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_doubleconversion=OFF
    -DFEATURE_testlib=ON -DFEATURE_widgets=ON -DFEATURE_gui=ON)
build_qt() {
    local build="$1" prefix="$2"
    shift 2
    local src
    src="$(debian_source qt6-base "$qt_version")"
    cross_cmake -S "$src" -B "$build" -DCMAKE_INSTALL_PREFIX="$prefix" "$@" >"$build/configure.log" 2>&1 ||
        { tail -40 "$build/configure.log" >&2; return 1; }
    cmake --build "$build" -j "${TWINSPOTTER_QT_JOBS:-$(nproc)}" >"$build/build.log" 2>&1 ||
        { grep -m5 -B2 -A8 'error:' "$build/build.log" >&2 || tail -40 "$build/build.log" >&2; return 1; }
    cmake --install "$build" >/dev/null
}

curl_prefix="$(build_cached curl "$curl_version" build_curl "${curl_options[@]}")"
gtest_prefix="$(build_cached googletest "$gtest_version" build_gtest "${gtest_options[@]}")"
httplib_prefix="$(build_cached cpp-httplib "$httplib_version" build_httplib)"
deps="$curl_prefix;$gtest_prefix;$httplib_prefix"
out="TWINSPOTTER_WINDOWS_CURL='$curl_prefix'
TWINSPOTTER_WINDOWS_GTEST='$gtest_prefix'
TWINSPOTTER_WINDOWS_HTTPLIB='$httplib_prefix'"
if [ "$with_qt" = 1 ]; then
    qt_prefix="$(build_cached qt "$qt_version" build_qt "${qt_options[@]}")"
    deps="$deps;$qt_prefix"
    out="$out
TWINSPOTTER_WINDOWS_QT='$qt_prefix'"
fi
out="$out
TWINSPOTTER_WINDOWS_DEPS='$deps'
export TWINSPOTTER_WINDOWS_CURL TWINSPOTTER_WINDOWS_GTEST TWINSPOTTER_WINDOWS_HTTPLIB TWINSPOTTER_WINDOWS_DEPS"
[ "$with_qt" = 1 ] && out="$out TWINSPOTTER_WINDOWS_QT"
echo "$out"
if [ -n "$env_file" ]; then echo "$out" >"$env_file"; fi
