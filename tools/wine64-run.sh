#!/usr/bin/env bash
# Runs a 64-bit Windows program under wine64 in the project's Wine prefix (tools/windows-deps.sh makes it);
# CTest uses it as the emulator of the windows-x64 build. `wine64-run.sh --wineserver ARGS` runs the prefix's
# server instead (-k ends it, and every program it runs).
export WINEPREFIX=${WINEPREFIX:-/var/cache/logger-update-tool/wine64} WINEARCH=win64 WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ "${1:-}" = --wineserver ]; then
    shift
    exec /usr/lib/wine/wineserver "$@"
fi
exec /usr/lib/wine/wine64 "$@"
