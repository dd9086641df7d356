#!/usr/bin/env bash
# Installs what is missing, builds (incrementally) and runs every test through CTest, four times over:
# the plain debug build (preset default), the optimised build (release: the compiler warns differently
# at -O3, and timing-sensitive code runs faster), then under AddressSanitizer with
# UndefinedBehaviorSanitizer (asan) and under ThreadSanitizer (tsan). The tsan build leaves the window and
# its tests out: Qt is not built with ThreadSanitizer, so its own threads give false reports. The release
# build runs every test but the end-to-end ones, which the other three already run on the same code.
# Then the Windows part (tools/windows-deps.sh installs what it needs): windows-x86 is compiled and linked
# only (this machine runs no 32-bit program), windows-x64 built and its tests run under wine64: the unit
# tests of link/, update/ and cli/, the window's test and the command line's end-to-end test, both against
# the Linux logger-sim of the default build.
#
#     tools/test.sh [--quick | --windows] [CTEST ARGUMENTS...]
#
# --quick: the default preset alone, for a developer's turn-around. Arguments after it go to every ctest.
# --windows: the Windows part alone.
# The end-to-end tests (label e2e) spend their time in the protocol's real pauses, each on ports of its
# own, so they run four at a time after the rest.
set -euo pipefail
cd "$(dirname "$0")/.."

windows() {
    local started=$SECONDS
    tools/windows-deps.sh
    cmake --preset default >/dev/null
    cmake --build --preset default --target logger-sim
    echo "== windows-x86 (compiled and linked, not run)"
    cmake --preset windows-x86 >/dev/null
    cmake --build --preset windows-x86 --parallel "$(nproc)"
    echo "== windows-x64"
    cmake --preset windows-x64 -DLUT_HOST_SIM="$PWD/build/bin/logger-sim" >/dev/null
    cmake --build --preset windows-x64 --parallel "$(nproc)"
    # Wine now and then fails to start a process at all (it exits at once, before the test runs): such a
    # test gets a second start.
    ctest --preset windows-x64 --repeat until-pass:2 "$@"
    echo "== the Windows part took $((SECONDS - started)) s"
}

presets=(default release asan tsan)
if [[ "${1:-}" == "--quick" ]]; then
    presets=(default)
    shift
elif [[ "${1:-}" == "--windows" ]]; then
    shift
    tools/deps.sh
    windows "$@"
    exit
fi

tools/deps.sh
for preset in "${presets[@]}"; do
    echo "== $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --parallel "$(nproc)"
    QT_QPA_PLATFORM=offscreen ctest --preset "$preset" --label-exclude e2e "$@"
    if [[ "$preset" != release ]]; then
        QT_QPA_PLATFORM=offscreen ctest --preset "$preset" --label-regex e2e --parallel 4 "$@"
    fi
done
# The Ansible collection's sanity tests that run offline (a few seconds).
echo "== ansible sanity"
tools/ansible-sanity.sh
if ((${#presets[@]} > 1)); then
    windows "$@"
fi

# The packages, made from the release build above (tools/package.sh): the .deb installed, used by an
# unprivileged user and removed again; the Windows installers' firewall commands read in their generated
# scripts, and the 64-bit installer run silently under wine64. A test that cannot run here exits 77.
if [[ " ${presets[*]} " == *" release "* ]]; then
    echo "== packages"
    tools/package.sh
    passed_or_skipped() { "$@" || [[ $? -eq 77 ]]; }
    passed_or_skipped python3 -B tests/package/deb_test.py dist/logger-update-tool_*.deb
    passed_or_skipped python3 -B tests/package/nsis_test.py \
        build-windows-x86/package/_CPack_Packages/win32/NSIS/project.nsi dist/logger-update-tool-*-win32.exe
    passed_or_skipped python3 -B tests/package/nsis_test.py \
        build-windows-x64/package/_CPack_Packages/win64/NSIS/project.nsi dist/logger-update-tool-*-win64.exe \
        --run
fi
