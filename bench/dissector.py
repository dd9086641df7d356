#!/usr/bin/env python3
"""Time and peak memory of tshark reading two captures, without the dissector and with it.

    python3 -B bench/dissector.py [--before OLD.lua] [--frames 20000] [--stray 1200]

The captures (classic pcap, made here): an update of 20,000 data blocks, one full "UD" frame a datagram; and
one stray ESC on the update port followed by 1,200 datagrams of 1,400 bytes without a frame end. Each is read
with `tshark -n -r FILE` (the packet list) and with `-2 -V` (two passes, every packet's tree), without the
dissector, with --before (for instance the dissector of an earlier commit: `git show
main:packaging/wireshark/logger_update.lua > /tmp/before.lua`) and with packaging/wireshark/logger_update.lua.
Figures: wall-clock and CPU seconds, and tshark's peak resident memory (from wait4).
The target: with the dissector, at least 2.5 times faster than before on the 20,000 blocks.
"""

import argparse
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "e2e"))
from e2e import DISSECTOR, frame, run_tshark, stray_esc_datagrams, write_pcap  # noqa: E402

TOOL, LOGGER = "192.0.2.1", "192.0.2.30"


def measure(pcap, dissector, arguments):
    """Wall-clock and CPU seconds (user and system: what the machine's other work does not inflate) and the
    peak resident memory in MiB."""
    started = time.monotonic()
    code, _, err, usage = run_tshark(pcap, dissector, *arguments, timeout=600, keep_output=False)
    seconds = time.monotonic() - started
    if code != 0:
        sys.exit(f"tshark ended with {code}:\n{err}")
    return seconds, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--before", type=Path, help="an earlier dissector to compare with")
    parser.add_argument("--frames", type=int, default=20000)
    parser.add_argument("--stray", type=int, default=1200)
    arguments = parser.parse_args()

    dissectors = [("without", None)] + ([("before", arguments.before)] if arguments.before else []) \
        + [("after", DISSECTOR)]
    with tempfile.TemporaryDirectory(prefix="lut-dissector-") as folder:
        blocks = Path(folder) / "blocks.pcap"
        write_pcap(blocks, [(TOOL, LOGGER, 8000, frame(b"UD%04X" % (n % 0x10000) + b"%600X" % n))
                            for n in range(arguments.frames)])
        stray = Path(folder) / "stray.pcap"
        write_pcap(stray, stray_esc_datagrams(TOOL, LOGGER, arguments.stray))
        for pcap, title in ((blocks, f"{arguments.frames} UD frames"),
                            (stray, f"stray ESC, {arguments.stray} datagrams of 1400 bytes")):
            for mode, tshark_arguments in (("-r", []), ("-2 -V", ["-2", "-V"])):
                row = []
                for name, dissector in dissectors:
                    seconds, cpu, peak = measure(pcap, dissector, tshark_arguments)
                    row.append(f"{name} {seconds:6.2f} s ({cpu:6.2f} s CPU) {peak:7.1f} MiB")
                print(f"{title:42} tshark {mode:6} " + " | ".join(row), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
