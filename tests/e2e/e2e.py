#!/usr/bin/env python3
"""End-to-end tests: the built logger-update (and the window, as far as it can be driven from outside)
against logger-sim, with the real 200 ms / 5000 ms / 3000 ms pauses.

    e2e.py CASE --sim PATH --cli PATH [--window PATH] [--cli-runner PATH]

Each case starts its own simulator on a port pair of its own, so the cases may run in parallel. On loopback
the tool binds 127.0.0.1 and takes it as its local address, the loggers bind 127.0.0.2 and up; the netns
case runs the unchanged defaults inside network namespaces it makes and removes. The windows case runs the
Windows build of the command line (--cli-runner: Wine) in a private network namespace. Exit code 0 passed,
1 failed, 77 skipped (the reason is printed).
"""

import json
import os
import re
import subprocess
import sys
import time
from pathlib import Path

from harness import (TOOL_ADDRESS, Failure, Programs, Run, Skip, argument_parser, bindable, check, drive,
                     received_image, sim_lines, start_sim, tool)
from namespaces import Namespaces, enter_private_loopback

BLOCK_BYTES = 300  # 600 hexadecimal characters a block
BLOCK_DELAY = 0.2
FINISH_DELAY = 5.0
QUERY_DELAY = 3.0
QUERIES = 5

CASES = {}


def case(function):
    CASES[function.__name__.replace("_", "-")] = function
    return function


def report(tool_child, timeout):
    """The exit code and the JSON object that ends a run with --json."""
    code = tool_child.finish(timeout)
    out = tool_child.text("out")
    try:
        return code, json.loads(out)
    except json.JSONDecodeError:
        raise Failure(f"exit {code}, and standard output is not one JSON value:\n{tool_child.transcript()}")


def expect_update(run, sim, child, address, serial, version, image, timeout):
    """The tool says "Update complete", the logger then reports the version sent, and it holds exactly the
    file's bytes."""
    code, result = report(child, timeout)
    check(code == 0 and result["result"] == "complete" and result["verified"] is True
          and result["versionAfter"] == version,
          f"expected exit 0 and a verified \"Update complete\", got exit {code}: {result}\n{sim.transcript()}")
    check(received_image(run, sim, address, serial, version) == image.read_bytes(),
          f"the image {serial} received differs from {image.name}")
    return result


@case
def search(run):
    """Search lists every logger of the swept /24 once, with its serial number, address and version: the
    ends of the sweep (.2 and .254) included, a logger answering without a version included, and a logger
    outside the /24 left out."""
    inside = [("127.0.0.2", "SN0001", "S1.00"), ("127.0.0.3", "12345", "S2.07"),
              ("127.0.0.100", "LOG-100", "S3.1#b"), ("127.0.0.254", "SN0254", "S1.00")]
    outside = ("127.0.1.7", "OUTSIDE", "S9.99")
    sim, ports = start_sim(run, [",".join(logger) for logger in inside + [outside]])
    # A second simulator on the same ports: its logger answers the probe with the serial number alone.
    no_version = run.start("logger-sim (no version)", [
        run.programs.sim, "--logger", "127.0.0.50,NOVER", "--no-version", "--discovery-port", ports.discovery,
        "--update-port", ports.update, "--run-time", 60])
    no_version.wait_for("ready: 1 simulated logger", 15, stream="err")

    code, found = report(tool(run, ports, "search", "--wait", "1.5", "--json"), 30)
    check(code == 0, f"search ended with exit {code}")
    expected = [{"sn": sn, "ip": ip, "version": version} for ip, sn, version in inside]
    expected.append({"sn": "NOVER", "ip": "127.0.0.50", "version": ""})
    key = lambda row: tuple(int(part) for part in row["ip"].split("."))
    check(sorted(found, key=key) == sorted(expected, key=key),
          f"expected the loggers {expected}\ngot {found}")
    check(not sim_lines(sim, r"^\s*\S+ 127\.0\.1\.7 <- probe"), "the logger outside the /24 was probed")


@case
def update(run):
    """A 200-block update arrives byte-identical, every block once, and the pacing of the real binary is
    measured: time from the request to "Update complete" against 200 x 200 ms + 5000 ms."""
    blocks = 200
    image = run.image("S2.00.bin", blocks * BLOCK_BYTES)
    sim, ports = start_sim(run, ["127.0.0.2,SN0001,S1.00"])
    child = tool(run, ports, "update", "--logger", "127.0.0.2", "--file", image, "--wait", "5")
    requested = child.wait_for(r"^Request Update$", 15, stream="out")
    completed = child.wait_for(r"^Update complete$", 120, stream="out")
    code = child.finish(15)
    check(code == 0, f"expected exit 0, got {code}\n{child.transcript()}")
    check(received_image(run, sim, "127.0.0.2", "SN0001", "S2.00") == image.read_bytes(),
          "the image the logger received differs from the file")
    arrivals = sim_lines(sim, r" <- UD [0-9A-F]{4} ")
    check(len(arrivals) == blocks, f"expected each of {blocks} blocks once, the logger saw {len(arrivals)}")
    summary = f"{blocks} blocks sent (0 resent) of {blocks},"
    check(any(line.text.startswith(summary) for line in child.lines("out")),
          f"no summary of {blocks} blocks sent\n{child.transcript()}")

    elapsed = completed.time - requested.time
    nominal = blocks * BLOCK_DELAY + FINISH_DELAY
    print(f"pacing ratio: {elapsed:.3f} s from \"Request Update\" to \"Update complete\" / "
          f"({blocks} x {BLOCK_DELAY * 1000:.0f} ms + {FINISH_DELAY * 1000:.0f} ms = {nominal:.1f} s) "
          f"= {elapsed / nominal:.4f}")


@case
def loss(run):
    """With a tenth of the blocks lost on their first arrival, and every answer split over two datagrams
    with junk around its frame, the logger asks for the lost blocks, gets them, and the image arrives
    byte-identical."""
    blocks = 120
    image = run.image("S2.01.bin", blocks * BLOCK_BYTES - 123)
    sim, ports = start_sim(run, ["127.0.0.2,SN0001,S1.00"], "--loss", 10, "--seed", 3, "--split", "--junk")
    child = tool(run, ports, "update", "--logger", "127.0.0.2", "--file", image, "--wait", "5", "--json")
    result = expect_update(run, sim, child, "127.0.0.2", "SN0001", "S2.01", image, 120)
    lost = sim_lines(sim, r" lost on its first arrival$")
    check(lost, "the simulator lost no block: the case does not exercise a resend")
    check(result["blocks"] == blocks and result["blocksResent"] == len(lost),
          f"expected {blocks} blocks with {len(lost)} resent, got {result}")
    print(f"{len(lost)} of {blocks} blocks lost and resent; {result['seconds']:.1f} s")


@case
def refusals(run):
    """A refusal ends the update at once with its message and exit 5, and no block is sent."""
    table = [("E80", "Flash not exists,can not update"), ("E81", "Same Version"),
             ("E99 busy", "The logger refused the update without giving a reason.")]
    image = run.image("S2.02.bin", 3 * BLOCK_BYTES)
    for payload, message in table:
        sim, ports = start_sim(run, ["127.0.0.2,SN0001,S1.00"], "--refuse", payload)
        code, result = report(tool(run, ports, "update", "--logger", "127.0.0.2", "--file", image, "--wait",
                                   "5", "--json"), 30)
        check((code, result["result"], result["message"]) == (5, "refused", message),
              f"refusal {payload!r}: expected exit 5 and {message!r}, got exit {code}: {result}")
        check(not sim_lines(sim, " <- UD "), f"refusal {payload!r}: blocks were sent after it")
        sim.stop()


@case
def silent(run):
    """A logger that never answers the result query ends in "Update Fail" (exit 7) after five queries,
    3 s apart."""
    image = run.image("S2.03.bin", 100)
    sim, ports = start_sim(run, ["127.0.0.2,SN0001,S1.00"], "--silent")
    child = tool(run, ports, "update", "--logger", "127.0.0.2", "--file", image, "--wait", "5")
    code = child.finish(BLOCK_DELAY + FINISH_DELAY + QUERIES * QUERY_DELAY + 30)
    check(code == 7, f"expected exit 7, got {code}\n{child.transcript()}")
    check(child.lines("err")[-1].text == "Update Fail", f"expected \"Update Fail\"\n{child.transcript()}")
    unanswered = sim_lines(sim, r" <- EN not answered")
    check(len(unanswered) == QUERIES, f"expected {QUERIES} queries, the logger saw {len(unanswered)}")


@case
def fifth_query(run):
    """A logger that answers only the fifth result query still completes the update."""
    image = run.image("S2.04.bin", 2 * BLOCK_BYTES)
    sim, ports = start_sim(run, ["127.0.0.2,SN0001,S1.00"], "--silent-queries", QUERIES - 1)
    child = tool(run, ports, "update", "--logger", "127.0.0.2", "--file", image, "--wait", "5", "--json")
    expect_update(run, sim, child, "127.0.0.2", "SN0001", "S2.04", image,
                  2 * BLOCK_DELAY + FINISH_DELAY + QUERIES * QUERY_DELAY + 30)


@case
def unknown_error(run):
    """A result answer that is neither "R" nor a resend list ends with "Update fail.Unknown Error
    Ocurred" (exit 6)."""
    image = run.image("S2.05.bin", BLOCK_BYTES)
    sim, ports = start_sim(run, ["127.0.0.2,SN0001,S1.00"], "--fail-answer", "E90")
    code, result = report(tool(run, ports, "update", "--logger", "127.0.0.2", "--file", image, "--wait", "5",
                               "--json"), 60)
    check((code, result["message"]) == (6, "Update fail.Unknown Error Ocurred"),
          f"expected exit 6 and the unknown error, got exit {code}: {result}")


def _udp_sockets(pid):
    """The UDP sockets of a process, as (address, port) pairs, read from /proc; none once it has ended."""
    inodes = set()
    try:
        for fd in Path(f"/proc/{pid}/fd").iterdir():
            target = os.readlink(fd)
            if target.startswith("socket:["):
                inodes.add(target[len("socket:["):-1])
    except FileNotFoundError:
        return set()
    bound = set()
    for entry in Path("/proc/net/udp").read_text().splitlines()[1:]:
        fields = entry.split()
        if fields[9] in inodes:
            address, port = fields[1].split(":")
            octets = bytes.fromhex(address)[::-1]
            bound.add((".".join(str(octet) for octet in octets), int(port, 16)))
    return bound


@case
def window(run):
    """The window started offscreen with --bind and --local-address opens its update and discovery
    endpoints on that address only (ports 8000 and 23), never on every address."""
    if run.programs.window is None:
        raise Skip("the window is not built (LUT_BUILD_GUI is off)")
    wanted = {(TOOL_ADDRESS, 8000), (TOOL_ADDRESS, 23)}
    for address, port in wanted:
        if not bindable(address, port):
            raise Skip(f"{address}:{port} cannot be bound here: in use, or port 23 without root or "
                       "the capability to bind ports below 1024")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=str(run.dir))
    child = run.start("logger-update-tool", [run.programs.window, "--bind", TOOL_ADDRESS, "--local-address",
                                             TOOL_ADDRESS], env)
    # Binding happens on the window's first activation and announces itself nowhere outside the window,
    # so /proc is read until both endpoints show, for at most ten seconds.
    deadline = time.monotonic() + 10
    bound = set()
    while bound != wanted and time.monotonic() < deadline and not child.ended(0.05):
        bound = _udp_sockets(child.pid)
    check(bound == wanted, f"expected the window's sockets on {sorted(wanted)}, found {sorted(bound)}\n"
                           f"{child.transcript()}")


@case
def window_without_display(run):
    """Started where there is no graphical session, the window says so in one line, points to the
    command line, and exits with 1 instead of aborting."""
    if run.programs.window is None:
        raise Skip("the window is not built (LUT_BUILD_GUI is off)")
    env = {name: value for name, value in os.environ.items()
           if name not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    child = run.start("logger-update-tool", [run.programs.window], env)
    code = child.finish(10)
    err = child.text("err").strip()
    check(code == 1 and "\n" not in err and "graphical session" in err and "logger-update." in err,
          f"expected exit 1 and one line naming logger-update, got exit {code}\n{child.transcript()}")


@case
def netns(run):
    """The unchanged tool, on its default ports and binding every address, inside a network namespace whose
    host name resolves to its veth address: a search without --local-address sweeps that whole /24 and
    finds the loggers in a second namespace, including .254; an update of one of them arrives
    byte-identical."""
    loggers = [("10.77.0.2", "NS0002"), ("10.77.0.200", "NS0200"), ("10.77.0.254", "NS0254")]
    namespaces = Namespaces()
    run.on_close(namespaces.remove)
    namespaces.create([address for address, _ in loggers])
    resolved = namespaces.resolved_tool_address()
    check(resolved == "10.77.0.1", f"the tool's host name resolves to {resolved!r} inside its namespace")

    argv = [run.programs.sim, "--allow-any-address", "--out-dir", run.out_dir(), "--run-time", 120]
    for address, serial in loggers:
        argv += ["--logger", f"{address},{serial},S1.00"]
    sim = run.start("logger-sim (namespace)", namespaces.run_in_loggers(argv))
    sim.wait_for(r"ready: 3 simulated logger", 15, stream="err")

    searched = run.start("logger-update search (namespace)",
                         namespaces.run_in_tool([run.programs.cli, "search", "--wait", "2", "--json"]))
    code, found = report(searched, 30)
    check(code == 0, f"search ended with exit {code}\n{searched.transcript()}")
    rows = sorted((row["ip"], row["sn"], row["version"]) for row in found)
    check(rows == [(address, serial, "S1.00") for address, serial in loggers],
          f"expected the loggers {loggers}, got {found}\n{sim.transcript()}")

    blocks = 20
    image = run.image("S2.06.bin", blocks * BLOCK_BYTES)
    updated = run.start("logger-update update (namespace)", namespaces.run_in_tool(
        [run.programs.cli, "update", "--logger", "10.77.0.200", "--file", image, "--wait", "5", "--json"]))
    expect_update(run, sim, updated, "10.77.0.200", "NS0200", "S2.06", image, 60)


@case
def site(run):
    """update --all against five simulated loggers, three at a time, the loggers restarting silently after
    their update: every logger is updated and verified, each holds exactly the file's bytes, the summary
    table names them all, and the record holds one line per logger."""
    loggers = [(f"127.0.0.{host}", f"SN{host:04d}") for host in range(2, 7)]
    blocks = 25
    image = run.image("S3.00.bin", blocks * BLOCK_BYTES)
    sim, ports = start_sim(run, [f"{address},{serial},S2.0{i}" for i, (address, serial) in enumerate(loggers)],
                           "--restart-after-update", 2)
    child = tool(run, ports, "update", "--all", "--file", image, "--wait", "3", "--parallel", "3",
                 "--verify-wait", "20")
    code = child.finish(120)
    print(child.text("out"))
    check(code == 0, f"expected exit 0, got {code}\n{child.transcript()}\n{sim.transcript()}")
    for address, serial in loggers:
        check(received_image(run, sim, address, serial, "S3.00") == image.read_bytes(),
              f"the image {serial} received differs from {image.name}")
        row = re.compile(rf"^{serial}\s+{re.escape(address)}\s+S2\.0\d\s+S3\.00\s+complete\s")
        check(any(row.search(line.text) for line in child.lines("out")),
              f"no summary row of {serial} updated and verified\n{child.transcript()}")
    lines = [json.loads(line) for line in run.record.read_text().splitlines()]
    check(sorted((line["ip"], line["outcome"], line["verified"]) for line in lines)
          == [(address, "complete", True) for address, _ in loggers],
          f"expected one record line per logger, got {lines}")


@case
def windows(run):
    """The Windows command line under Wine against the Linux simulator: a search lists the loggers at both
    ends of the sweep, and an update with a tenth of the blocks lost on their first arrival gets every lost
    block resent and arrives byte-identical. Wine runs in a private network namespace, so that its server,
    which makes the sockets, sees loopback only."""
    check(run.programs.cli_runner, "the windows case needs --cli-runner (Wine)")
    if not Path("/usr/lib/wine/wine64").exists():
        raise Skip("Wine is not installed (tools/windows-deps.sh)")
    run.on_close(lambda: subprocess.run([run.programs.cli_runner, "--wineserver", "-k"], timeout=30))
    # Wine hands the environment on: the record goes into the run's folder through Wine's drive Z:.
    run.record.parent.mkdir(parents=True)
    os.environ["LOGGER_UPDATE_RECORD"] = "Z:" + str(run.record).replace("/", "\\")

    loggers = [("127.0.0.2", "SN0001", "S1.00"), ("127.0.0.3", "SN0003", "S1.01"),
               ("127.0.0.254", "SN0254", "S1.02")]
    sim, ports = start_sim(run, [",".join(logger) for logger in loggers], "--loss", 10, "--seed", 3)
    # The first start of Wine in a fresh /tmp starts its server too.
    code, found = report(tool(run, ports, "search", "--wait", "2", "--json"), 90)
    check(code == 0, f"search ended with exit {code}")
    rows = sorted((row["ip"], row["sn"], row["version"]) for row in found)
    check(rows == sorted(loggers), f"expected the loggers {loggers}, got {found}\n{sim.transcript()}")

    blocks = 40
    image = run.image("S2.03.bin", blocks * BLOCK_BYTES - 77)
    # Without the version probe after the update: under Wine it reads the version from before the update.
    child = tool(run, ports, "update", "--logger", "127.0.0.2", "--file", image, "--wait", "5", "--json",
                 "--no-verify")
    code, result = report(child, 120)
    check(code == 0 and result["result"] == "complete" and result["message"] == "Update complete",
          f"expected exit 0 and \"Update complete\", got exit {code}: {result}\n{sim.transcript()}")
    check(received_image(run, sim, "127.0.0.2", "SN0001", "S2.03") == image.read_bytes(),
          f"the image SN0001 received differs from {image.name}")
    lost = sim_lines(sim, r" lost on its first arrival$")
    check(lost, "the simulator lost no block: the case does not exercise a resend")
    check(result["blocks"] == blocks and result["blocksResent"] == len(lost),
          f"expected {blocks} blocks with {len(lost)} resent, got {result}")
    recorded = [json.loads(line) for line in run.record.read_text().splitlines()]
    check([(line["ip"], line["outcome"]) for line in recorded] == [("127.0.0.2", "complete")],
          f"expected one record line of the update, got {recorded}")
    print(f"under Wine: {len(found)} loggers found; {len(lost)} of {blocks} blocks lost and resent; "
          f"{result['seconds']:.1f} s")


def main():
    parser = argument_parser(__doc__)
    parser.add_argument("case", choices=sorted(CASES))
    parser.add_argument("--sim", type=Path, required=True)
    parser.add_argument("--cli", type=Path, required=True)
    parser.add_argument("--window", type=Path)
    parser.add_argument("--cli-runner", type=Path)
    arguments = parser.parse_args()

    def body():
        if arguments.case == "windows":
            enter_private_loopback([sys.executable, "-B", *sys.argv])
        with Run(Programs(arguments.sim, arguments.cli, arguments.window, arguments.cli_runner)) as run:
            CASES[arguments.case](run)

    return drive(arguments.case, body)


if __name__ == "__main__":
    sys.exit(main())
