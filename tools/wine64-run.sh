#!/usr/bin/env bash
# Runs a 64-bit Windows program under wine64 in the project's Wine prefix (tools/windows-deps.sh makes it);
# CTest uses it as the emulator of the windows-x64 build. `wine64-run.sh --wineserver ARGS` runs the prefix's
# server instead (-k ends it, and every program it runs).
#
# Wine now and then fails to start a program at all: it ends at once with a message of its own on standard
# error ("wine: ..." or "wine client error ..."), before the program ran. Such a start is made once more. A
# program that started and then failed, an unhandled exception included, is not started again.
export WINEPREFIX=${WINEPREFIX:-/var/cache/logger-update-tool/wine64} WINEARCH=win64 WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ "${1:-}" = --wineserver ]; then
    shift
    exec /usr/lib/wine/wineserver "$@"
fi

messages=$(mktemp)
trap 'rm -f "$messages"' EXIT
exec 3>&1
for start in first second; do
    # Standard error passes through tee, which keeps a copy; standard output goes straight on.
    /usr/lib/wine/wine64 "$@" 2>&1 >&3 3>&- | tee "$messages" >&2
    status=${PIPESTATUS[0]}
    if ((status == 0)) || ! grep -qE '^(wine: |wine client error)' "$messages" ||
        grep -q '^wine: Unhandled' "$messages"; then
        break
    fi
    [ "$start" = second ] || echo "wine64-run.sh: Wine did not start $1 (exit $status); starting it once more" >&2
done
exit "$status"
