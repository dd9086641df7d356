#!/usr/bin/env bash
# Installs what is missing, builds (incrementally) and runs every test through CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default
QT_QPA_PLATFORM=offscreen ctest --preset default "$@"
