#!/usr/bin/env bash
# Runs the Win32 window's tests under wine64 and Xvfb, in a private network namespace with a /tmp of its
# own, so that its X server, its wineserver and ports 8000 and 23 meet nothing else on the machine. With
# LOGGER-SIM (the build machine's simulated loggers), three loggers at 127.0.0.21-23 answer a search and
# take a 36-block update, which must arrive byte-identical. --screenshot PATH leaves a picture of the
# window after the update (imagemagick's import of the whole screen).
#
#     run_window_test.sh TESTS.exe [LOGGER-SIM] [--screenshot PATH]
#
# Exit 77 (skipped) without root, Wine or Xvfb; tools/windows-deps.sh installs them and the Wine prefix.
set -euo pipefail
tests=$(realpath "$1")
shift
sim=""
shot=""
while (($#)); do
    case "$1" in
        --screenshot) shot=$(realpath -m "$2"); shift 2 ;;
        *) sim=$(realpath "$1"); shift ;;
    esac
done
prefix=${WINEPREFIX:-/var/cache/logger-update-tool/wine64}
wine=$(realpath "$(dirname "$0")/../../tools/wine64-run.sh")

if [ "${LUT_IN_NAMESPACE:-}" != 1 ]; then
    for tool in /usr/lib/wine/wine64 Xvfb import unshare ip; do
        command -v "$tool" >/dev/null || { echo "skipped: $tool is missing (tools/windows-deps.sh)"; exit 77; }
    done
    [ -f "$prefix/system.reg" ] || { echo "skipped: no Wine prefix at $prefix (tools/windows-deps.sh)"; exit 77; }
    unshare -n -m true 2>/dev/null || { echo "skipped: no private network namespace (needs root)"; exit 77; }
    args=("$tests")
    [ -z "$sim" ] || args+=("$sim")
    [ -z "$shot" ] || args+=(--screenshot "$shot")
    exec env LUT_IN_NAMESPACE=1 unshare -n -m "$0" "${args[@]}"
fi

# Inside the namespace: loopback only, and private folders for the X server's and Wine's server sockets
# (not a private /tmp, which would hide a source tree that lives under /tmp).
mkdir -p /tmp/.X11-unix "/tmp/.wine-$(id -u)"
mount -t tmpfs -o mode=1777 tmpfs /tmp/.X11-unix
mount -t tmpfs -o mode=0700 tmpfs "/tmp/.wine-$(id -u)"
ip link set lo up
work=$(mktemp -d)

pids=()
cleanup() {
    "$wine" --wineserver -k 2>/dev/null || true
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
}
trap cleanup EXIT

# Xvfb picks a free display itself: its lock files live in the shared /tmp, where a server of a cut run
# may still hold a fixed number.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
display=$(cat "$work/display")
[[ "$display" =~ ^[0-9]+$ ]] || { echo "Xvfb did not start:"; cat "$work/xvfb.log"; exit 1; }

export LOGGER_UPDATE_RECORD=off DISPLAY=":$display" WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Some builds of Wine keep the server's folder under $TMPDIR instead, where a server of the prefix outside
# the namespace would serve the test's programs.
export TMPDIR="/tmp/.wine-$(id -u)"
# A virtual desktop, so that Wine draws the window's frame and caption itself (there is no window manager).
"$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null
"$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null

if [ -n "$sim" ]; then
    mkdir "$work/received"
    head -c $((36 * 300)) /dev/urandom >"$work/S2.00.bin"
    "$sim" --base 127.0.0.21 --count 3 --out-dir "$work/received" --log "$work/sim.log" --run-time 300 &
    pids+=($!)
    timeout 10 grep -q -m1 "ready:" <(tail -n +1 -F "$work/sim.log" 2>/dev/null) ||
        { echo "logger-sim did not start:"; cat "$work/sim.log"; exit 1; }
    export LUT_TEST_LOGGERS="SN0001@127.0.0.21#S1.00,SN0002@127.0.0.22#S1.01,SN0003@127.0.0.23#S1.02"
    export LUT_TEST_IMAGE="Z:${work//\//\\}\\S2.00.bin"
    [ -z "$shot" ] || export LUT_TEST_SHOT="Z:${work//\//\\}\\shot-ready"
fi

# Waits for the tests' program (PID) for LIMIT seconds at most. One still running then has the stacks of
# its threads printed (winedbg), so that a hang says where it stood, and is ended with everything Wine runs.
finish_within() {
    local limit=$1 pid=$2
    for _ in $(seq $((limit * 10))); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        echo "The window's tests still ran after $limit s; the stacks of their threads:"
        local wpid
        wpid=$(/usr/lib/wine/wine64 winedbg --command "info proc" 2>/dev/null |
            awk '/win32_window_tests/ { print $1; exit }')
        if [ -n "$wpid" ]; then
            printf 'attach 0x%s\nbt all\ndetach\n' "$wpid" >"$work/winedbg.cmd"
            timeout 60 /usr/lib/wine/wine64 winedbg --file "$work/winedbg.cmd" 2>&1 |
                awk '/^Backtracing for thread/ { ours = /win32_window_tests/ } ours' || true
        fi
        "$wine" --wineserver -k 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
        return 124
    fi
    wait "$pid"
}

# The window without loggers once more with the display at 144 dpi: everything scales by one and a half.
"$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null
"$wine" --wineserver -w
echo "== at 144 dpi"
LUT_TEST_DPI=144 "$wine" "$tests" --gtest_filter='Win32Window.*' &
finish_within 60 $!
"$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null
"$wine" --wineserver -w
echo "== at 96 dpi"
export LUT_TEST_DPI=96

"$wine" "$tests" &
test_pid=$!
if [ -n "$shot" ] && [ -n "$sim" ]; then
    # The test holds the window open until the picture is taken, or 20 s at most.
    for _ in $(seq 1200); do
        [ -e "$work/shot-ready" ] && break
        kill -0 "$test_pid" 2>/dev/null || break
        sleep 0.1
    done
    if [ -e "$work/shot-ready" ]; then
        mkdir -p "$(dirname "$shot")"
        import -window root "$shot"
        echo "Wrote $shot"
    fi
    touch "$work/shot-ready.done"
fi
status=0
finish_within 150 "$test_pid" || status=$?

if [ -n "$sim" ] && [ "$status" -eq 0 ]; then
    received=("$work"/received/*.bin)
    [ -e "${received[0]}" ] || { echo "No logger wrote a received image:"; tail -20 "$work/sim.log"; exit 1; }
    cmp "$work/S2.00.bin" "${received[0]}" || { echo "The image at the logger differs from the file"; exit 1; }
    echo "The image at the logger is byte-identical to the file (${#received[@]} logger(s) updated)"

    # 24 loggers that lose 5 % of their answers, on ports of their own: every Search press lists all 24.
    "$sim" --base 127.0.0.101 --count 24 --answer-loss 5 --seed "$RANDOM" --discovery-port 40123 \
        --update-port 40124 --log "$work/lossy.log" --run-time 300 &
    pids+=($!)
    timeout 10 grep -q -m1 "ready:" <(tail -n +1 -F "$work/lossy.log" 2>/dev/null) ||
        { echo "logger-sim did not start:"; cat "$work/lossy.log"; exit 1; }
    echo "== 24 loggers losing 5 % of their answers"
    LUT_TEST_SEARCH=24,40123,40124 "$wine" "$tests" --gtest_filter='Win32WindowWithLoggers.SearchRounds*' &
    finish_within 100 $! || status=$?
fi
exit "$status"
