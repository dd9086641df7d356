#!/usr/bin/env bash
# Renders the window offscreen into docs/window.png: started on 127.0.0.1 with ports of its own, three
# simulated loggers on 127.0.0.21-23 found by a sweep of 127.0.0.x, and an update file chosen.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target window-shot
mkdir -p docs
QT_QPA_PLATFORM=offscreen build/bin/window-shot docs/window.png
echo "Wrote docs/window.png"
