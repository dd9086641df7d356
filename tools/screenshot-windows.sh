#!/usr/bin/env bash
# Renders the Windows window into docs/window-windows.png: the 64-bit build under Wine and Xvfb in a private
# network namespace, after a search of three simulated loggers and an update of one (tests/win32).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
tools/windows-deps.sh x86_64
cmake --preset default >/dev/null
cmake --build --preset default --target logger-sim
cmake --preset windows-x64 -DLUT_HOST_SIM="$PWD/build/bin/logger-sim" >/dev/null
cmake --build --preset windows-x64 --target win32_window_tests
tests/win32/run_window_test.sh build-windows-x64/bin/win32_window_tests.exe build/bin/logger-sim \
    --screenshot docs/window-windows.png
