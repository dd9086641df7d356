#!/usr/bin/env bash
# Installs what is missing, builds (incrementally) and runs every test through CTest, four times over:
# the plain debug build (preset default), the optimised build (release: the compiler warns differently
# at -O3, and timing-sensitive code runs faster), then under AddressSanitizer with
# UndefinedBehaviorSanitizer (asan) and under ThreadSanitizer (tsan). The tsan build leaves the window and
# its tests out: Qt is not built with ThreadSanitizer, so its own threads give false reports. The release
# build runs every test but the end-to-end ones, which the other three already run on the same code.
# Then the fuzz preset (clang): built whole, and each fuzz target run for $LUT_FUZZ_SECONDS (default 60)
# from its committed seeds (tools/fuzz.sh); an input that breaks one fails the run.
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
#
# Every compile goes through ccache, with its cache outside the source tree ($LUT_CACHE/ccache), so that it
# outlives the fresh clone CI builds in. Its settings are all given here, whatever the user's ccache
# configuration says: paths count relative to the source tree and the build folder does not count, so
# clones at other places share the cache.
set -euo pipefail
cd "$(dirname "$0")/.."
cache=${LUT_CACHE:-/var/cache/logger-update-tool}
export CCACHE_DIR=$cache/ccache CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=true CCACHE_MAXSIZE=10G
mkdir -p "$CCACHE_DIR" 2>/dev/null || sudo install -d -o "$(id -u)" -g "$(id -g)" "$cache" "$CCACHE_DIR"

# Configures a preset, with ccache before every compiler.
configure() {
    cmake --preset "$1" -DCMAKE_CXX_COMPILER_LAUNCHER=ccache "${@:2}" >/dev/null
}

windows() {
    local started=$SECONDS
    tools/windows-deps.sh
    configure default
    cmake --build --preset default --target logger-sim
    echo "== windows-x86 (compiled and linked, not run)"
    configure windows-x86
    cmake --build --preset windows-x86 --parallel "$(nproc)"
    echo "== windows-x64"
    configure windows-x64 -DLUT_HOST_SIM="$PWD/build/bin/logger-sim"
    cmake --build --preset windows-x64 --parallel "$(nproc)"
    # The unit tests share one Wine server, started here with its services and ended after them: a server
    # that a test's program started would outlive the program by seconds with its output open, and CTest
    # waits. The tests labelled wine-namespace run servers of their own in namespaces of their own; two
    # servers of one prefix would write its registry at once, so they come after.
    tools/wine64-run.sh --wineserver -w
    tools/wine64-run.sh --wineserver -p >/dev/null 2>&1
    trap 'tools/wine64-run.sh --wineserver -k || true' EXIT
    tools/wine64-run.sh cmd /c exit >/dev/null 2>&1
    ctest --preset windows-x64 --label-exclude wine-namespace "$@"
    tools/wine64-run.sh --wineserver -k || true
    tools/wine64-run.sh --wineserver -w
    trap - EXIT
    ctest --preset windows-x64 --label-regex wine-namespace "$@"
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
    configure "$preset"
    cmake --build --preset "$preset" --parallel "$(nproc)"
    QT_QPA_PLATFORM=offscreen ctest --preset "$preset" --label-exclude e2e "$@"
    # The collection's case (six playbook runs over SSH, minutes) runs in the debug build only: under the
    # sanitizers it would repeat at several times the cost what the other cases run of the same tool.
    if [[ "$preset" == default ]]; then
        QT_QPA_PLATFORM=offscreen ctest --preset "$preset" --label-regex e2e --parallel 4 "$@"
    elif [[ "$preset" != release ]]; then
        QT_QPA_PLATFORM=offscreen ctest --preset "$preset" --label-regex e2e --exclude-regex '^e2e\.ansible$' \
            --parallel 4 "$@"
    fi
done
# The Ansible collection's checks that run offline: sanity tests, unit tests and ansible-lint (under a minute).
echo "== ansible collection"
tools/ansible-sanity.sh
if ((${#presets[@]} > 1)); then
    echo "== fuzz"
    configure fuzz
    cmake --build --preset fuzz --parallel "$(nproc)"
    tools/fuzz.sh all "${LUT_FUZZ_SECONDS:-60}"
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
