#!/usr/bin/env python3
"""Peak memory of the command line during an update of a 16 MiB image, above that of an idle search.

    python3 -B bench/update_memory.py [--build build] [--megabytes 16]

Everything runs on loopback: one logger-sim at 127.0.0.2 on a pair of free high ports, logger-update bound to
127.0.0.1 with 127.0.0.1 as its local address. The peak is reached once the image is loaded and its blocks
begin to go out, so the update is stopped with SIGINT a second after "Updating" (the whole transfer would take
hours). Peaks are each process's VmHWM (/proc/PID/status), read until it ends.
The target: at most 2.2 times the file's size above the idle search.
"""

import argparse
import os
import random
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "e2e"))
from harness import free_ports, interrupt  # noqa: E402

TOOL = "127.0.0.1"
LOGGER = "127.0.0.2"
TARGET = 2.2


def high_water_kib(pid):
    """VmHWM: the process's peak resident set since its exec (a fork's own peak does not count)."""
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("VmHWM:"):
            return int(line.split()[1])
    return 0


def peak_kib(child, timeout):
    """The child's peak resident set in KiB, read until it ends (at most timeout seconds, then SIGKILL)."""
    peak = 0
    deadline = time.monotonic() + timeout
    while child.poll() is None:
        try:
            peak = max(peak, high_water_kib(child.pid))
        except (FileNotFoundError, ProcessLookupError):
            pass
        if time.monotonic() > deadline:
            child.kill()
            child.wait()
            sys.exit(f"{child.args[0]} did not end within {timeout} s")
        time.sleep(0.01)
    return peak


def wait_for_line(stream, text, timeout):
    os.set_blocking(stream.fileno(), False)
    seen = b""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        chunk = stream.read()
        if chunk:
            seen += chunk
            if text.encode() in seen:
                return
        time.sleep(0.02)
    sys.exit(f"no {text!r} within {timeout} s; output so far:\n{seen.decode(errors='replace')}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", type=Path, default=Path(__file__).resolve().parent.parent / "build")
    parser.add_argument("--megabytes", type=int, default=16)
    arguments = parser.parse_args()
    sim_program = arguments.build / "bin" / "logger-sim"
    cli_program = arguments.build / "bin" / "logger-update"

    discovery, update = free_ports([TOOL, LOGGER])
    ports = ["--discovery-port", str(discovery), "--update-port", str(update)]
    on_loopback = ["--local-address", TOOL, "--bind", TOOL, *ports]
    with tempfile.TemporaryDirectory(prefix="lut-memory-") as folder:
        image = Path(folder) / "S2.00.bin"
        image.write_bytes(random.randbytes(arguments.megabytes * 1024 * 1024))
        size = image.stat().st_size

        sim = subprocess.Popen([sim_program, "--logger", f"{LOGGER},SN0001,S1.00", "--run-time", "60", *ports],
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        try:
            wait_for_line(sim.stderr, "ready:", 15)
            search = subprocess.Popen([cli_program, "search", *on_loopback, "--wait", "1"],
                                      stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL)
            idle = peak_kib(search, 30)

            run = subprocess.Popen([cli_program, "update", "--logger", LOGGER, "--file", image, *on_loopback],
                                   stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            wait_for_line(run.stdout, "Updating", 30)
            time.sleep(1.0)  # about five blocks out
            busy = high_water_kib(run.pid)
            run.send_signal(signal.SIGINT)
            busy = max(busy, peak_kib(run, 30))
        finally:
            interrupt(sim)

    above = (busy - idle) * 1024
    ratio = above / size
    print(f"file {size} bytes; peak resident: idle search {idle} KiB, update {busy} KiB; "
          f"{above / 1048576:.1f} MiB above idle = {ratio:.2f} x the file (target <= {TARGET})")
    return 0 if ratio <= TARGET else 1


if __name__ == "__main__":
    sys.exit(main())
