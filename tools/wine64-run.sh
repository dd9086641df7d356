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

# Standard error goes to a file, which tail passes on as it grows: a pipe would stay open in the Wine server
# and the services it starts, which outlive the program.
messages=$(mktemp)
trap 'rm -f "$messages"' EXIT
for start in first second; do
    /usr/lib/wine/wine64 "$@" <&0 2>"$messages" &
    program=$!
    tail -n +1 -s 0.1 -f --pid="$program" "$messages" >&2 &
    status=0
    wait "$program" || status=$?
    wait $!
    if ((status == 0)) || ! grep -qE '^(wine: |wine client error)' "$messages" ||
        grep -q '^wine: Unhandled' "$messages"; then
        break
    fi
    [ "$start" = second ] || echo "wine64-run.sh: Wine did not start $1 (exit $status); starting it once more" >&2
done
exit "$status"
