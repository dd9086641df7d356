#!/usr/bin/env bash
# Builds the packages into dist/: the Debian package from the release build (checked with lintian), and an
# NSIS installer for each Windows build (windows-x86, windows-x64). Only the programs and the files the
# packages hold are built; what a build directory holds already (CI's release build) is reused, not built
# again. CPack leaves its work, the generated installer scripts included, in each build's package/.
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

# Builds one preset's package files and runs its CPack preset; prints the package's path.
package() {
    local preset=$1 pattern=$2
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target lut_package_files --parallel "$(nproc)" >&2
    rm -f build-"$preset"/package/$pattern
    cpack --preset "$preset" >&2
    ls build-"$preset"/package/$pattern
}

tools/deps.sh
mkdir -p dist
for kind in "${kinds[@]}"; do
    case "$kind" in
    deb)
        echo "== Debian package"
        deb=$(package release 'logger-update-tool_*.deb')
        echo "== lintian $(basename "$deb")"
        lintian --fail-on error --display-info "$deb"
        cp "$deb" dist/
        ;;
    windows)
        tools/windows-deps.sh
        for preset in windows-x86 windows-x64; do
            echo "== $preset installer"
            cp "$(package "$preset" 'logger-update-tool-*.exe')" dist/
        done
        ;;
    esac
done
ls -l dist
