#!/usr/bin/env bash
# What the Windows builds and their tests need on this Debian machine, each step done once:
# - the MinGW-w64 "posix" cross compilers, Wine (64-bit), Xvfb and imagemagick;
# - GoogleTest cross-built from Debian's sources, and CLI11 and nlohmann-json (header-only) made findable,
#   in a prefix per target outside the source tree: $LUT_CACHE/mingw-<triple>;
# - a 64-bit Wine prefix, $LUT_CACHE/wine64.
#
#     tools/windows-deps.sh [x86_64|i686]...      (default: both)
set -euo pipefail
cd "$(dirname "$0")/.."
cache=${LUT_CACHE:-/var/cache/logger-update-tool}
targets=("$@")
((${#targets[@]})) || targets=(x86_64 i686)

packages=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 xvfb imagemagick
          googletest libcli11-dev nlohmann-json3-dev cmake ninja-build)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
$sudo mkdir -p "$cache"
$sudo chown "$(id -u):$(id -g)" "$cache"

for arch in "${targets[@]}"; do
    triple=$arch-w64-mingw32
    prefix=$cache/mingw-$triple
    if [ ! -f "$prefix/lib/cmake/GTest/GTestConfig.cmake" ]; then
        echo "Cross-building GoogleTest for $triple into $prefix"
        work=$(mktemp -d)
        cmake -S /usr/src/googletest -B "$work" -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchains/mingw-w64-$arch.cmake" \
            -DLUT_CROSS_PREFIX="$prefix" -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
        cmake --build "$work" -j2 >/dev/null
        cmake --install "$work" >/dev/null
        rm -rf "$work"
    fi
    mkdir -p "$prefix/include" "$prefix/share/cmake"
    for header in CLI nlohmann; do
        ln -sfn "/usr/include/$header" "$prefix/include/$header"
    done
    for config in CLI11 nlohmann_json; do
        ln -sfn "/usr/share/cmake/$config" "$prefix/share/cmake/$config"
    done
done

export WINEPREFIX=$cache/wine64 WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Setting up the Wine prefix $WINEPREFIX"
    # No display: the prefix is made without one, and its wineserver ends with it.
    env -u DISPLAY /usr/lib/wine/wine64 wineboot -i
    /usr/lib/wine/wineserver -w
fi
