#!/usr/bin/env bash
# The demo behind tools/run.sh --demo: five simulated loggers on loopback (127.0.0.2 to 127.0.0.6) and the
# tool bound to 127.0.0.1 with 127.0.0.1 as its local address, so that a whole search and update can be
# seen without hardware. With a display it starts the window; without one it runs the same search and
# update through logger-update. Nothing leaves 127.0.0.0/8. Expects the programs built (run.sh does it).
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${LUT_BIN_DIR:-build/bin}
tool_address=127.0.0.1
demo_blocks=36 # 300 bytes a block, 200 ms apart: about 12 s for a whole update

if (($#)); then
    echo "tools/run.sh --demo takes no other option" >&2
    exit 1
fi

work=$(mktemp -d /tmp/lut-demo.XXXXXX)
sim_pid=""
cleanup() {
    if [ -n "$sim_pid" ]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mkdir "$work/received"
update_file="$work/S2.00.bin"
head -c $((demo_blocks * 300)) /dev/urandom >"$update_file"

# The loggers answer on ports 23 and 8000 of their own addresses, as real ones do; their log goes to a file.
"$bin/logger-sim" --base 127.0.0.2 --count 5 --out-dir "$work/received" --log "$work/sim.log" \
    --run-time 86400 &
sim_pid=$!

# Waits at most $2 seconds for a line of the simulator's log that matches $1; fails if it ends first.
wait_for_log() {
    timeout "$2" grep -q -m1 "$1" <(tail -n +1 -F --pid="$sim_pid" "$work/sim.log" 2>/dev/null)
}

if ! wait_for_log "ready:" 10; then
    echo "The simulated loggers did not start (logger-sim says why, above)." >&2
    if [ "$(id -u)" -ne 0 ]; then
        echo "The demo uses UDP port 23, as the tool and the loggers do. Run it as root, or grant the" \
            "capability once: sudo setcap cap_net_bind_service=+ep $bin/logger-sim $bin/logger-update-tool" \
            "$bin/logger-update" >&2
    fi
    exit 1
fi

# What each logger received, compared with the update file.
show_received() {
    local image
    for image in "$work"/received/*.bin; do
        [ -e "$image" ] || continue
        if cmp -s "$image" "$update_file"; then
            echo "  $(basename "$image"): identical to $(basename "$update_file")"
        else
            echo "  $(basename "$image"): DIFFERS from $(basename "$update_file")"
        fi
    done
}

cat <<EOF
Five simulated loggers listen on 127.0.0.2 to 127.0.0.6: serial numbers SN0001 to SN0005, versions S1.00
to S1.04 (their log: $work/sim.log).
Demo update file: $update_file ($demo_blocks blocks, about $((demo_blocks / 5 + 5)) s to send).
Each logger writes a completed update to $work/received/SERIAL_S2.00.bin.
EOF

if [ -n "${DISPLAY-}" ] || [ -n "${WAYLAND_DISPLAY-}" ]; then
    cat <<EOF

In the window (bound to $tool_address, local address $tool_address):
  1. Press Search: the five loggers appear.
  2. Press Browse and choose $update_file.
  3. Select a logger and press Update: the status line shows "Request Update", "Updating" and
     "Query Update result", then a box says "Update complete". Search again to see the new version.
Closing the window stops the simulated loggers and removes $work.
EOF
    "$bin/logger-update-tool" --bind "$tool_address" --local-address "$tool_address" || true
    echo "The window is closed. Received:"
    show_received
    exit 0
fi

echo
echo "No display (\$DISPLAY and \$WAYLAND_DISPLAY are empty): the same demo through logger-update."
echo
echo "\$ logger-update search --local-address $tool_address --bind $tool_address"
search=$("$bin/logger-update" search --local-address "$tool_address" --bind "$tool_address" --wait 1)
echo "$search"
first=$(awk 'NR == 2 { print $2 }' <<<"$search")
if [ -z "$first" ]; then
    echo "No logger answered the search." >&2
    exit 1
fi
echo
echo "\$ logger-update update --logger $first --file $update_file --local-address $tool_address" \
    "--bind $tool_address"
"$bin/logger-update" update --logger "$first" --file "$update_file" --local-address "$tool_address" \
    --bind "$tool_address"
wait_for_log "$first image written" 5 || true
echo
echo "Received:"
show_received
echo "The simulated loggers stop and $work is removed."
