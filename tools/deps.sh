#!/usr/bin/env bash
# Installs the Debian packages the project builds, tests and runs with, when any of them is missing.
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config qt6-base-dev libgl-dev libcli11-dev nlohmann-json3-dev libssl-dev
          libgtest-dev libgmock-dev libbenchmark-dev fonts-arphic-uming iproute2 nftables python3
          help2man lintian libcap2-bin nsis tshark lua5.1 lua5.2 lua5.4 ccache clang libclang-rt-14-dev
          ansible-core openssh-server python3-voluptuous pycodestyle yamllint ansible-lint python3-pytest
          g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
