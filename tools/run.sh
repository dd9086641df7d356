#!/usr/bin/env bash
# Installs what is missing, builds and starts the window; options go to the program (see --help).
# tools/run.sh --demo instead shows a whole search and update against five simulated loggers on loopback
# (tools/demo.sh); without a display it runs the same through logger-update.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
cmake --preset default >/dev/null
if [ "${1-}" = "--demo" ]; then
    shift
    cmake --build --preset default --target logger-update-tool logger-sim logger-update
    exec tools/demo.sh "$@"
fi
cmake --build --preset default --target logger-update-tool
exec build/bin/logger-update-tool "$@"
