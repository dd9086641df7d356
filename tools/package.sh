#!/usr/bin/env bash
# Builds the packages into dist/: the Debian package from the release build (checked with lintian) and,
# with the Windows builds, an NSIS installer for each of windows-x86 and windows-x64. Only the programs and
# the files the packages hold are built; what a build directory holds already (CI's release build) is
# reused, not built again.
#
#     tools/package.sh [deb] [windows]      (default: both)
set -euo pipefail
cd "$(dirname "$0")/.."

kinds=("$@")
((${#kinds[@]})) || kinds=(deb windows)
for kind in "${kinds[@]}"; do
    if [[ "$kind" != deb && "$kind" != windows ]]; then
        echo "usage: tools/package.sh [deb] [windows]" >&2
        exit 1
    fi
done

tools/deps.sh
mkdir -p dist
for kind in "${kinds[@]}"; do
    case "$kind" in
    deb)
        echo "== Debian package"
        cmake --preset release >/dev/null
        cmake --build --preset release --target lut_package_files --parallel "$(nproc)"
        cpack --preset deb
        deb=$(ls dist/logger-update-tool_*.deb)
        echo "== lintian $deb"
        lintian --fail-on error --display-info "$deb"
        ;;
    esac
done
rm -rf dist/_CPack_Packages
ls -l dist
