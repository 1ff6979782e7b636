#!/usr/bin/env bash
# Cross-builds the layers below the application for 64-bit Windows (build-windows/) and runs their
# tests under Wine. Crypto++ comes from Debian's own source of the installed version, built once
# for mingw and kept under ~/.cache/cryvan-windows/ (rebuilt when missing).
# Usage: scripts/windows.sh [--deps-only | --no-tests]
#   --deps-only  install what is missing and make sure the cached Crypto++ exists, nothing else
#   --no-tests   build without running the tests
set -euo pipefail
cd "$(dirname "$0")/.."

mode=all
case "${1:-}" in
    "") ;;
    --deps-only) mode=deps ;;
    --no-tests) mode=build ;;
    *)
        echo "usage: $0 [--deps-only | --no-tests]" >&2
        exit 2
        ;;
esac

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
jobs=$(nproc)

# --- The tools ---------------------------------------------------------------------------------
packages=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine wine64 dpkg-dev libcrypto++-dev
          googletest cmake ninja-build)
missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
fi

# --- Crypto++ for mingw, from the source of the version installed for Linux --------------------
version=$(dpkg-query -W -f='${Version}' libcrypto++-dev)
upstream=${version#*:}
upstream=${upstream%-*}
cache=${CRYVAN_WINDOWS_CACHE:-$HOME/.cache/cryvan-windows}
cryptopp=$cache/cryptopp-$version

have_deb_src() {
    grep -qsE '^Types:.*deb-src' /etc/apt/sources.list.d/*.sources ||
        grep -qsE '^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list
}

# The source lines of the archive the binary packages come from.
add_deb_src() {
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
            $sudo tee /etc/apt/sources.list.d/cryvan-src.sources >/dev/null
    else
        sed -n 's/^deb /deb-src /p' /etc/apt/sources.list |
            $sudo tee /etc/apt/sources.list.d/cryvan-src.list >/dev/null
    fi
    $sudo apt-get update -qq
}

build_cryptopp() {
    local src=$cache/src/libcrypto++-$upstream
    if [ ! -f "$src/GNUmakefile" ]; then
        have_deb_src || add_deb_src
        mkdir -p "$cache/src"
        (cd "$cache/src" && apt-get source -qq "libcrypto++=$version" >/dev/null)
    fi
    echo "Building Crypto++ $version for Windows (once; kept in $cryptopp)"
    # A copy, so that an interrupted build never leaves half-made objects in the kept source.
    local work
    work=$(mktemp -d)
    trap 'rm -rf "$work"' RETURN
    cp -a "$src/." "$work/"
    make -C "$work" -j"$jobs" static CXX=x86_64-w64-mingw32-g++-posix AR=x86_64-w64-mingw32-ar \
        RANLIB=x86_64-w64-mingw32-ranlib CXXFLAGS="-DNDEBUG -O2" >"$work/build.log" 2>&1 || {
        tail -40 "$work/build.log" >&2
        return 1
    }
    # Put in place whole, or not at all.
    rm -rf "$cryptopp.tmp"
    mkdir -p "$cryptopp.tmp/include/cryptopp" "$cryptopp.tmp/lib"
    cp "$work"/*.h "$cryptopp.tmp/include/cryptopp/"
    # Debian names the archive after its package.
    cp "$work/libcrypto++.a" "$cryptopp.tmp/lib/libcryptopp.a" 2>/dev/null ||
        cp "$work/libcryptopp.a" "$cryptopp.tmp/lib/"
    rm -rf "$cryptopp"
    mv "$cryptopp.tmp" "$cryptopp"
}

[ -f "$cryptopp/lib/libcryptopp.a" ] || build_cryptopp
[ "$mode" = deps ] && exit 0

# --- The build ---------------------------------------------------------------------------------
args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
      -DCRYVAN_WINDOWS_CRYPTOPP="$cryptopp")
[ "${CI:-}" = "true" ] && args+=(-DCRYVAN_WERROR=ON)
command -v ccache >/dev/null && args+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-windows -G Ninja "${args[@]}" >/dev/null
cmake --build build-windows -j "$jobs"
[ "$mode" = build ] && exit 0

# --- The tests, under Wine in a prefix of their own --------------------------------------------
WINEPREFIX=$(mktemp -d)
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
# Wine's Recycle Bin is the desktop trash of the user: the tests get one of their own.
export XDG_DATA_HOME="$WINEPREFIX/xdg-data"
mkdir -p "$XDG_DATA_HOME"
wineboot -i >/dev/null 2>&1 || true

# Wine shows the Linux root as drive Z:.
fixtures=${CRYVAN_FIXTURES:-$(cd .. && pwd)/shared/fixtures}
export CRYVAN_FIXTURES="Z:$fixtures"

# Every layer below the application.
status=0
for layer in os filters format recovery engine; do
    program=build-windows/bin/test_$layer.exe
    echo "=== test_$layer (Wine)"
    wine "$program" --gtest_brief=1 || status=1
done
exit $status
