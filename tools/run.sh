#!/usr/bin/env bash
# Installs what is missing, builds and starts the window; options go to the program (see --help).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target logger-update-tool
exec build/bin/logger-update-tool "$@"
