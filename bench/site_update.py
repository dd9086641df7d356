#!/usr/bin/env python3
"""Wall time of a whole-site update against the protocol floor of one logger.

    python3 -B bench/site_update.py [--build build] [--loggers 30] [--blocks 50] [--parallel 30]

Everything runs on loopback: one logger-sim serving the loggers at 127.0.0.1 and up (a whole /24 with
--loggers 254) on a pair of free high ports, logger-update bound to 127.0.1.1 with 127.0.0.255 as its local
address, so that its search sweeps 127.0.0.1 to 127.0.0.254 and no logger's answer counts as its own. The
run is `update --all --no-verify` (the version check would add the loggers' answer to one probe each, not
protocol time) with the record off. Two figures are divided by one logger's floor (blocks x 200 ms +
5000 ms):
  - the batch: from the first "Updating" line to the last logger's result line;
  - the whole command, its search (--wait 1) included.
The target: the batch at most 1.10. Under /usr/bin/time, when it is there, the tool's peak memory and CPU
time are printed too.
"""

import os
import random
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "e2e"))
from harness import argument_parser, free_ports, interrupt  # noqa: E402

TOOL = "127.0.1.1"
SWEPT = "127.0.0.255"
TIME = Path("/usr/bin/time")
TARGET = 1.10


def wait_for_line(log, text, timeout):
    """The simulator's log goes to a file: a pipe nobody reads would fill and stop the simulator."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if log.exists() and text in log.read_text():
            return
        time.sleep(0.05)
    sys.exit(f"logger-sim did not say {text!r}")


def main():
    parser = argument_parser(__doc__)
    parser.add_argument("--build", type=Path, default=Path("build"))
    parser.add_argument("--loggers", type=int, default=30)
    parser.add_argument("--blocks", type=int, default=50)
    parser.add_argument("--parallel", type=int, default=30)
    arguments = parser.parse_args()
    floor = arguments.blocks * 0.2 + 5.0
    if not 1 <= arguments.loggers <= 254:
        sys.exit("--loggers must lie between 1 and 254")
    addresses = [TOOL] + [f"127.0.0.{host}" for host in range(1, 1 + arguments.loggers)]
    discovery, update = free_ports(addresses)
    ports = ["--discovery-port", str(discovery), "--update-port", str(update)]
    env = dict(os.environ, LOGGER_UPDATE_RECORD="off")

    with tempfile.TemporaryDirectory(prefix="lut-site-bench-") as folder:
        image = Path(folder) / "S9.00.bin"
        image.write_bytes(random.randbytes(arguments.blocks * 300))
        log = Path(folder) / "sim.log"
        sim = subprocess.Popen([arguments.build / "bin" / "logger-sim", "--base", "127.0.0.1", "--count",
                                str(arguments.loggers), "--run-time", "300", "--log", log, *ports],
                               stdout=subprocess.DEVNULL)
        try:
            wait_for_line(log, "ready:", 15)
            started = time.monotonic()
            usage = Path(folder) / "time.txt"
            timed = [TIME, "-v", "-o", usage] if TIME.exists() else []
            run = subprocess.Popen([*timed, arguments.build / "bin" / "logger-update", "update", "--all", "--file",
                                    image, "--local-address", SWEPT, "--bind", TOOL, *ports, "--wait", "1",
                                    "--parallel", str(arguments.parallel), "--no-verify"],
                                   stdout=subprocess.PIPE, text=True, env=env)
            first = last = None
            for line in run.stdout:
                now = time.monotonic()
                print(line, end="")
                if line.startswith("Updating ") and first is None:
                    first = now
                if " s: " in line and " at 127.0.0." in line:
                    last = now
            code = run.wait(600)
            whole = time.monotonic() - started
            resources = usage.read_text() if timed else ""
        finally:
            interrupt(sim)
    if code != 0 or first is None or last is None:
        sys.exit(f"the update ended with exit {code}")
    batch = last - first
    print(f"batch: {batch:.2f} s / {floor:.1f} s = {batch / floor:.3f}  (target at most {TARGET})")
    print(f"whole command, search included: {whole:.2f} s / {floor:.1f} s = {whole / floor:.3f}")
    for line in resources.splitlines():
        if any(name in line for name in ("Maximum resident set size", "User time", "System time",
                                         "Percent of CPU")):
            print("logger-update: " + line.strip())
    return 0 if batch / floor <= TARGET else 1


if __name__ == "__main__":
    sys.exit(main())
