#!/usr/bin/env bash
# Builds both Windows presets and leaves, for the project's version (CMake's project(VERSION)):
#     dist/logger-update-tool-<version>-win32.zip    (32-bit: windows-x86)
#     dist/logger-update-tool-<version>-win64.zip    (64-bit: windows-x64)
# each holding logger-update-tool.exe (the window), logger-update.exe (the command line) and README.txt.
# Only the programs are built, not the tests; tools/windows-deps.sh installs what the builds need.
#
#     tools/dist-windows.sh
set -euo pipefail
cd "$(dirname "$0")/.."
tools/windows-deps.sh

version=$(sed -n 's/^project(LoggerUpdateTool VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "no project(VERSION) in CMakeLists.txt"; exit 1; }
command -v zip >/dev/null || { echo "zip is missing (tools/windows-deps.sh installs it)"; exit 1; }
mkdir -p dist

for pair in windows-x86:win32:i686 windows-x64:win64:x86_64; do
    IFS=: read -r preset name arch <<<"$pair"
    echo "== $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --parallel "$(nproc)" --target logger-update-tool logger-update
    bin=build-$preset/bin
    if "$arch-w64-mingw32-objdump" -p "$bin"/*.exe | grep -i "DLL Name" | grep -viE \
        "(kernel32|msvcrt|ws2_32|iphlpapi|bcrypt|user32|gdi32|comctl32|comdlg32|shell32|advapi32|ole32)\.dll"; then
        echo "$preset: an .exe imports a DLL that is not part of Windows"
        exit 1
    fi
    stage=$(mktemp -d)
    trap 'rm -rf "$stage"' EXIT
    cp "$bin/logger-update-tool.exe" "$bin/logger-update.exe" "$stage/"
    # Windows' Notepad before 2018 shows only CR LF line ends.
    sed 's/$/\r/' tools/windows-readme.txt >"$stage/README.txt"
    zip_file=$PWD/dist/logger-update-tool-$version-$name.zip
    rm -f "$zip_file"
    (cd "$stage" && zip -q -X -9 "$zip_file" logger-update-tool.exe logger-update.exe README.txt)
    rm -rf "$stage"
    trap - EXIT
    ls -l "$zip_file"
done
