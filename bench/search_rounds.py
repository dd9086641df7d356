#!/usr/bin/env python3
"""Loggers found per search when the loggers lose some of their answers: one round against three.

    python3 -B bench/search_rounds.py [--build build] [--loggers 30] [--answer-loss 3 5] [--searches 20]

Everything runs on loopback: one logger-sim serving the loggers at 127.0.0.2 and up on a pair of free high
ports, losing --answer-loss percent of its answers (seeded), and logger-update bound to 127.0.0.1 with
127.0.0.1 as its local address, so that each search sweeps only 127.0.0.1 to 127.0.0.254. Each of the
--searches searches per round count is `search --json --wait 0.5`, which runs the window's own search (the
core's Search press and its rounds); the figures are the loggers found per search (mean and fewest) and the
searches that found every logger, for each --answer-loss.
"""

import json
import random
import subprocess
import sys
import tempfile
from pathlib import Path

from site_update import wait_for_line
from harness import TOOL_ADDRESS, argument_parser, free_ports, interrupt  # noqa: E402


def main():
    parser = argument_parser(__doc__)
    parser.add_argument("--build", type=Path, default=Path("build"))
    parser.add_argument("--loggers", type=int, default=30)
    parser.add_argument("--answer-loss", type=int, nargs="+", default=[3, 5])
    parser.add_argument("--searches", type=int, default=20)
    arguments = parser.parse_args()
    addresses = [TOOL_ADDRESS] + [f"127.0.0.{host}" for host in range(2, 2 + arguments.loggers)]
    discovery, update = free_ports(addresses)
    ports = ["--discovery-port", str(discovery), "--update-port", str(update)]

    for loss in arguments.answer_loss:
        with tempfile.TemporaryDirectory(prefix="lut-rounds-bench-") as folder:
            log = Path(folder) / "sim.log"
            sim = subprocess.Popen([arguments.build / "bin" / "logger-sim", "--base", "127.0.0.2", "--count",
                                    str(arguments.loggers), "--answer-loss", str(loss), "--seed",
                                    str(random.randrange(1, 1 << 30)), "--run-time", "600", "--log", log, *ports],
                                   stdout=subprocess.DEVNULL)
            try:
                wait_for_line(log, "ready:", 15)
                for rounds in (1, 3):
                    found = []
                    for _ in range(arguments.searches):
                        done = subprocess.run([arguments.build / "bin" / "logger-update", "search",
                                               "--local-address", TOOL_ADDRESS, "--bind", TOOL_ADDRESS, *ports,
                                               "--wait", "0.5", "--rounds", str(rounds), "--json"],
                                              capture_output=True, text=True, timeout=60, check=True)
                        found.append(len(json.loads(done.stdout)))
                    complete = sum(1 for count in found if count == arguments.loggers)
                    print(f"--rounds {rounds}: {sum(found) / len(found):.2f} of {arguments.loggers} loggers found "
                          f"per search (fewest {min(found)}); {complete} of {len(found)} searches found every "
                          f"logger ({loss} % of answers lost)")
            finally:
                interrupt(sim)
    return 0


if __name__ == "__main__":
    sys.exit(main())
