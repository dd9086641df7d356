#!/usr/bin/env python3
"""Peak memory growth of the tool core under a flood of junk on both ports, against its allowance.

    python3 -B bench/flood_memory.py [--build build-release]

Runs the flood test (tests/flood) of an optimised build and reads what it recorded: the growth of the
peak resident memory from before the flood to after it, and the allowance (the receive buffers' cap and a
margin for the allocator). A sanitizer build measures its own bookkeeping (AddressSanitizer keeps freed
memory resident, ThreadSanitizer shadows every page), so the figure is taken from the release build.
The target: the growth within the allowance.
"""

import argparse
import json
import subprocess
import sys
import tempfile
from pathlib import Path


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", type=Path, default=Path(__file__).resolve().parent.parent / "build-release")
    arguments = parser.parse_args()
    program = arguments.build / "bin" / "flood_tests"
    with tempfile.TemporaryDirectory(prefix="lut-flood-") as folder:
        report = Path(folder) / "flood.json"
        done = subprocess.run([program, "--gtest_filter=Flood.*", f"--gtest_output=json:{report}"],
                              stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=300)
        if done.returncode != 0:
            sys.exit(f"{program} failed (exit {done.returncode}):\n{done.stdout}{done.stderr}")
        tests = [test for suite in json.loads(report.read_text())["testsuites"] for test in suite["testsuite"]]
    flood = next(test for test in tests if "peak_memory_growth_kib" in test)
    growth, allowed = int(flood["peak_memory_growth_kib"]), int(flood["memory_allowance_kib"])
    pause_ms = int(flood["longest_loop_pause_us"]) / 1000
    print(f"flood: {flood['datagrams_sent']} datagrams; peak memory {growth} KiB above the memory before the "
          f"flood (target <= {allowed} KiB); longest pause of the loop {pause_ms:.1f} ms")
    return 0 if growth <= allowed else 1


if __name__ == "__main__":
    sys.exit(main())
