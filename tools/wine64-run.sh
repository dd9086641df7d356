#!/usr/bin/env bash
# Runs a 64-bit Windows program under wine64 in the project's Wine prefix (tools/windows-deps.sh makes it);
# CTest uses it as the emulator of the windows-x64 build.
export WINEPREFIX=${WINEPREFIX:-/var/cache/logger-update-tool/wine64} WINEARCH=win64 WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
exec /usr/lib/wine/wine64 "$@"
