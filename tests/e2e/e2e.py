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
import random
import re
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

from harness import (TOOL_ADDRESS, Failure, Programs, Run, Skip, argument_parser, bindable, check, drive,
                     received_image, sim_lines, ssh_keys, start_sim, start_sshd, tool)
from namespaces import Namespaces, Sites, enter_private_loopback, enter_private_sites

BLOCK_BYTES = 300  # 600 hexadecimal characters a block
BLOCK_DELAY = 0.2
FINISH_DELAY = 5.0
QUERY_DELAY = 3.0
QUERIES = 5

CASES = {}

DISSECTOR = Path(__file__).resolve().parents[2] / "packaging" / "wireshark" / "logger_update.lua"
# What tshark prints of each packet: one line, tab-separated, several values of a field "|"-separated.
DISSECTED_FIELDS = ["frame.number", "logger.kind", "logger.block", "logger.checksum.status", "logger.version",
                    "logger.block_count", "logger.resend_block", "logger.split", "logger.serial",
                    "logger.refusal", "logger.reassembled_in", "_ws.expert.message", "_ws.lua.error",
                    "_ws.col.Info"]
# Beyond this much unfinished text the tool drops the oldest (link/RxAccumulator.h).
RX_TEXT_CAP = 320 * 1024


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


def run_tshark(pcap, dissector=DISSECTOR, *arguments, timeout=120, keep_output=True):
    """tshark on the capture, with the dissector or without (None): the exit code, standard output (empty
    unless kept) and error, and tshark's resource usage from wait4, which reaps it. Its ru_maxrss, the peak
    resident memory in KiB, counts this process's own size when tshark started: keep the caller small."""
    if shutil.which("tshark") is None:
        raise Skip("tshark is not installed (tools/deps.sh installs it)")
    script = ["-X", f"lua_script:{dissector}"] if dissector else []
    with tempfile.TemporaryFile("w+", errors="replace") as out, \
            tempfile.TemporaryFile("w+", errors="replace") as err:
        child = subprocess.Popen(["tshark", *script, "-n", "-r", str(pcap), *map(str, arguments)],
                                 stdin=subprocess.DEVNULL, stdout=out if keep_output else subprocess.DEVNULL,
                                 stderr=err, text=True)
        watchdog = threading.Timer(timeout, child.kill)
        watchdog.start()
        _, status, usage = os.wait4(child.pid, 0)
        child.returncode = os.waitstatus_to_exitcode(status)  # before the watchdog can fire: kill() then skips
        watchdog.cancel()
        out.seek(0)
        err.seek(0)
        return child.returncode, out.read(), err.read(), usage


def dissected(pcap, update_port=8000, discovery_port=23):
    """Each packet of the capture as tshark with the dissector shows it, in one pass and in two (-2), which
    must agree (the links from a frame's first part to where it was put together or dropped come with the
    second pass, as in Wireshark's own reassembly): a dict of DISSECTED_FIELDS per packet, each value a list
    (several frames in one datagram give several values). No packet may carry a Lua error."""
    passes = []
    for two_pass in ([], ["-2"]):
        code, out, err, _ = run_tshark(
            pcap, DISSECTOR, *two_pass, "-o", f"logger.update_port:{update_port}", "-o",
            f"logger.discovery_port:{discovery_port}", "-T", "fields", "-E", "aggregator=|",
            *[argument for field in DISSECTED_FIELDS for argument in ("-e", field)])
        check(code == 0, f"tshark ended with {code}:\n{err}")
        # Only "\n" ends a line: a field may hold other line separators that str.splitlines() would cut at.
        packets = [{field: [_field_value(part) for part in value.split("|")] if value else []
                    for field, value in zip(DISSECTED_FIELDS, line.split("\t"))}
                   for line in out.split("\n")[:-1]]
        errors = [(packet["frame.number"], packet["_ws.lua.error"]) for packet in packets
                  if packet["_ws.lua.error"]]
        check(not errors,
              f"Lua errors in {pcap.name} ({'two passes' if two_pass else 'one pass'}): {errors[:5]}")
        passes.append(packets)
    one, two = ([{field: [message for message in value if "dropped in frame" not in message]
                  if field == "_ws.expert.message" else value
                  for field, value in packet.items() if field != "logger.reassembled_in"}
                 for packet in packets] for packets in passes)
    check(one == two, f"one pass and two passes differ on {pcap.name}:\n"
          + "\n".join(f"{a}\n{b}" for a, b in zip(one, two) if a != b))
    return passes[1]


def _field_value(text):
    """tshark writes numbers of the block fields in hexadecimal (0x0036) and the check code's verdict as 1 or 0."""
    return int(text, 16) if re.fullmatch(r"0x[0-9a-f]+", text) else text


def check_code(payload):
    """The CRC-16/MODBUS of the payload as four upper-case hexadecimal digits, low byte first."""
    crc = 0xFFFF
    for byte in payload:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return f"{crc & 0xFF:02X}{crc >> 8:02X}".encode()


def frame(payload, code=None):
    return b"\x1b" + payload + (check_code(payload) if code is None else code) + b"\x05"


def write_pcap(path, datagrams, snap=65535):
    """A classic pcap file (raw IPv4) of (source, destination, port, payload) datagrams, checksums left 0,
    each packet cut at the snap length."""
    with open(path, "wb") as out:
        out.write(struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, snap, 101))
        for number, (source, destination, port, payload) in enumerate(datagrams):
            udp = struct.pack("!HHHH", port, port, 8 + len(payload), 0) + payload
            ip = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + len(udp), number, 0, 64, 17, 0,
                             socket.inet_aton(source), socket.inet_aton(destination))
            packet = (ip + udp)[:snap]
            out.write(struct.pack("<IIII", 1_700_000_000 + number, 0, len(packet), len(ip + udp)) + packet)


def stray_esc_datagrams(source, destination, count, size=1400):
    """One stray ESC on the update port, then datagrams without a frame end: the waiting text would grow
    without end were it not capped as the tool caps it."""
    return [(source, destination, 8000, b"\x1b")] + [(source, destination, 8000, b"%0*d" % (size, n))
                                                     for n in range(count)]


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
    expected = [{"sn": sn, "ip": ip, "version": version, "conflict": False} for ip, sn, version in inside]
    expected.append({"sn": "NOVER", "ip": "127.0.0.50", "version": "", "conflict": False})
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
    unwritable = run.dir / "no such folder" / "run.pcap"
    refused = tool(run, ports, "update", "--logger", "127.0.0.2", "--file", image, "--capture", unwritable)
    check(refused.finish(30) == 1 and "cannot be written" in refused.text("err") and not sim_lines(sim, " <- "),
          f"a capture that cannot be written must end the run before anything is sent\n{refused.transcript()}")

    capture = run.dir / "loss.pcapng"
    child = tool(run, ports, "update", "--logger", "127.0.0.2", "--file", image, "--wait", "5", "--json",
                 "--capture", capture)
    result = expect_update(run, sim, child, "127.0.0.2", "SN0001", "S2.01", image, 120)
    lost = sim_lines(sim, r" lost on its first arrival$")
    check(lost, "the simulator lost no block: the case does not exercise a resend")
    check(result["blocks"] == blocks and result["blocksResent"] == len(lost),
          f"expected {blocks} blocks with {len(lost)} resent, got {result}")
    print(f"{len(lost)} of {blocks} blocks lost and resent; {result['seconds']:.1f} s")

    # pcapng: its section header says which tool made the capture, on which system, with which command.
    info = subprocess.run(["capinfos", str(capture)], capture_output=True, text=True, timeout=60)
    check(info.returncode == 0 and "File type:           Wireshark/... - pcapng" in info.stdout
          and "Capture application: Logger Update Tool" in info.stdout and "Capture oper-sys:    Linux" in info.stdout
          and f"--capture {capture}" in info.stdout, f"capinfos {capture}:\n{info.stdout}{info.stderr}")

    # The capture, read by tshark with the dissector: every block frame sent, each with a good check code,
    # the request with the file's version and block count, and a resend answer naming the lost blocks.
    packets = dissected(capture, ports.update, ports.discovery)
    frames = [(kind, packet) for packet in packets for kind in packet["logger.kind"]]
    blocks_sent = [packet for kind, packet in frames if kind == "UD"]
    check(len(blocks_sent) == blocks + len(lost),
          f"expected {blocks} + {len(lost)} UD frames in the capture, found {len(blocks_sent)}")
    verdicts = [ok for packet in packets for ok in packet["logger.checksum.status"]]
    update_frames = [kind for kind, _ in frames if kind not in ("probe", "answer")]
    check(set(verdicts) == {"1"} and len(verdicts) == len(update_frames),
          f"expected a good check code on each of {len(update_frames)} update frames, got {verdicts}")
    requests = [packet for kind, packet in frames if kind == "LU"]
    check(len(requests) == 1 and requests[0]["logger.version"] == ["S2.01"]
          and requests[0]["logger.block_count"] == [blocks],
          f"expected one LU S2.01 {blocks:04X}, got {requests}")
    lost_blocks = sorted(int(re.search(r"<- UD ([0-9A-F]{4}) ", line).group(1), 16) for line in lost)
    resends = [packet for kind, packet in frames if kind == "R" and packet["logger.resend_block"]]
    check(any(sorted(packet["logger.resend_block"]) == lost_blocks for packet in resends),
          f"no resend answer lists the lost blocks {lost_blocks}: {[p['_ws.col.Info'] for p in resends]}")
    print(f"capture: {len(packets)} datagrams, {len(blocks_sent)} UD frames, resend answer "
          f"{resends[0]['_ws.col.Info'][0]}")


@case
def dissector(run):
    """The dissector on crafted captures of the real ports, each read in one pass and in two without a Lua
    error: the probe, an answer split over two datagrams, the request, an acceptance, two blocks in one
    datagram of which one has a wrong check code, a resend answer, completion, a refusal and an unknown
    payload; the same cut at a snap length; garbage; and a stray ESC before more text than the tool keeps,
    read within a memory bound."""
    tool_address, logger_address = "192.0.2.1", "192.0.2.30"
    answer = b"\x1bSN0001#S1.00\x05"
    wrong = frame(b"UD0011" + b"A" * 600, b"0000")
    datagrams = [
        (tool_address, logger_address, 23, bytes.fromhex("FF0403FB")),
        (logger_address, tool_address, 23, answer[:6]),
        (logger_address, tool_address, 23, answer[6:]),
        (tool_address, logger_address, 8000, frame(b"LUS2.000036")),
        (logger_address, tool_address, 8000, frame(b"R0000")),
        (tool_address, logger_address, 8000, frame(b"UD0010" + b"B" * 600) + wrong),
        (tool_address, logger_address, 8000, frame(b"EN")),
        (logger_address, tool_address, 8000, frame(b"R000200030009")[:5]),
        (logger_address, tool_address, 8000, frame(b"R000200030009")[5:]),
        (tool_address, logger_address, 8000, frame(b"EN")),
        (logger_address, tool_address, 8000, frame(b"R")),
        (logger_address, tool_address, 8000, frame(b"E81")),
        (logger_address, tool_address, 8000, frame(b"XYZ")),
    ]
    pcap = run.dir / "crafted.pcap"
    write_pcap(pcap, datagrams)
    packets = dissected(pcap)
    kinds = [packet["logger.kind"] for packet in packets]
    check(kinds == [["probe"], [], ["answer"], ["LU"], ["R"], ["UD", "UD"], ["EN"], [], ["R"], ["EN"], ["R"],
                    ["E81"], ["unknown"]], f"kinds of the frames: {kinds}")
    check(packets[1]["logger.split"] and packets[1]["logger.reassembled_in"] == ["3"] and packets[2]["logger.split"]
          and packets[2]["logger.serial"] == ["SN0001"] and packets[2]["logger.version"] == ["S1.00"],
          f"split answer: {packets[1]}, {packets[2]}")
    check(packets[3]["logger.version"] == ["S2.00"] and packets[3]["logger.block_count"] == [0x36],
          f"request: {packets[3]}")
    check(packets[5]["logger.block"] == [0x10, 0x11] and packets[5]["logger.checksum.status"] == ["1", "0"]
          and any(message.startswith("Bad check code 0000") for message in packets[5]["_ws.expert.message"]),
          f"two blocks, the second with a wrong check code: {packets[5]}")
    check(packets[7]["logger.split"] and packets[7]["logger.reassembled_in"] == ["9"]
          and packets[8]["logger.resend_block"] == [3, 9] and packets[8]["logger.checksum.status"] == ["1"]
          and packets[8]["logger.split"], f"resend answer split over two datagrams: {packets[7]}, {packets[8]}")
    check(packets[8]["_ws.col.Info"][0].startswith("R 0002: resend 0x0003 0x0009"), f"column: {packets[8]}")
    check(packets[11]["logger.refusal"] == ["Same Version"]
          and "The logger refused the update: E81 (Same Version)" in packets[11]["_ws.expert.message"]
          and any(message.startswith("Payload the tool does not know")
                  for message in packets[12]["_ws.expert.message"]),
          f"refusal and unknown payload: {packets[11]}, {packets[12]}")
    check(packets[4]["_ws.col.Info"][0].startswith("R 0000: start at block 0x0000"), f"acceptance: {packets[4]}")

    # Cut at 60 bytes (28 of headers): the datagram of two blocks is read alone, and the frames after it are
    # read as before.
    cut = run.dir / "cut.pcap"
    write_pcap(cut, datagrams, snap=60)
    packets = dissected(cut)
    check(any(message.startswith("Datagram cut by the capture") for message in packets[5]["_ws.expert.message"])
          and not packets[5]["logger.kind"] and packets[6]["logger.kind"] == ["EN"]
          and packets[6]["logger.checksum.status"] == ["1"] and packets[10]["logger.kind"] == ["R"],
          f"a datagram cut by the capture: {packets[5]}, then {packets[6]}")

    garbage = run.dir / "garbage.pcap"
    rng = random.Random(25)
    write_pcap(garbage, [(tool_address, logger_address, rng.choice((23, 8000)),
                          bytes(rng.choice(b"\x00\x05\x1b#R0UDE8\xff") if rng.random() < 0.5 else rng.randrange(256)
                                for _ in range(rng.randrange(1, 300)))) for _ in range(400)]
               + [(tool_address, logger_address, 8000, b"x" * 10300 + frame(b"EN"))])
    packets = dissected(garbage)
    check(not packets[-1]["logger.kind"] and any(message.startswith("The tool reads only the first 10230 bytes")
                                                 for message in packets[-1]["_ws.expert.message"]),
          f"a frame beyond the 10230 bytes the tool reads: {packets[-1]}")

    # A stray ESC, then four times the cap: the waiting text stays bounded as the tool's does, and the frame
    # after it is read alone. tshark's own memory for the capture is the baseline; the bound, 64 times the
    # cap, leaves room for the dissector's tables and a few copies of the capped text, and none for text
    # that grows with the capture.
    stray = run.dir / "stray.pcap"
    write_pcap(stray, stray_esc_datagrams(tool_address, logger_address, 4 * RX_TEXT_CAP // 1400)
               + [(tool_address, logger_address, 8000, frame(b"EN"))])
    packets = dissected(stray)
    check(packets[-1]["logger.kind"] == ["EN"] and packets[-1]["logger.checksum.status"] == ["1"]
          and packets[-1]["_ws.col.Info"] == ["EN: result?"], f"the frame after a stray ESC: {packets[-1]}")
    peaks = {}
    for name, script in (("without", None), ("with", DISSECTOR)):
        code, _, err, usage = run_tshark(stray, script, "-2", "-V", keep_output=False)
        check(code == 0, f"tshark ended with {code}:\n{err}")
        peaks[name] = usage.ru_maxrss * 1024
    bound = 64 * RX_TEXT_CAP
    check(peaks["with"] - peaks["without"] <= bound,
          f"the dissector took {(peaks['with'] - peaks['without']) / 2**20:.1f} MiB more than tshark alone on a "
          f"stray ESC; the bound is {bound / 2**20:.0f} MiB")
    print(f"stray ESC: {(peaks['with'] - peaks['without']) / 2**20:.1f} MiB above tshark alone "
          f"(bound {bound / 2**20:.0f} MiB)")


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
    # so /proc is read until both endpoints show; the limit only stops a hang (a sanitizer's build of the
    # window on a loaded machine takes seconds to start).
    deadline = time.monotonic() + 60
    bound = set()
    while bound != wanted and time.monotonic() < deadline and not child.ended(0.05):
        bound = _udp_sockets(child.pid)
    check(bound == wanted, f"expected the window's sockets on {sorted(wanted)}, found {sorted(bound)}\n"
                           f"{child.transcript()}")


@case
def window_search(run):
    """The window (offscreen) against 24 simulated loggers that lose 5 % of their answers: 20 Search presses
    miss at most two rows in all, as the search's rounds ask again the loggers whose answer was lost. Runs the
    window's test program, whose case presses Search, in a network namespace of its own."""
    if run.programs.window_tests is None:
        raise Skip("the window is not built (LUT_BUILD_GUI is off)")
    loggers = [f"127.0.0.{host},SN{host:04d},S1.00" for host in range(2, 26)]
    _, ports = start_sim(run, loggers, "--answer-loss", 5, "--seed", run.rng.randrange(1, 1 << 30))
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=str(run.dir),
               LUT_TEST_SEARCH=f"{len(loggers)},{ports.discovery},{ports.update}")
    child = run.start("tst_frmmain_network", [run.programs.window_tests, "searchRoundsListEveryLossyLogger"],
                      env)
    code = child.finish(120)
    check(code == 0 and "SKIP" not in child.text("out"),
          f"expected at most two rows missed in 20 Search presses, got exit {code}\n{child.transcript()}")
    print("the window listed the 24 loggers in 20 Search presses (5 % of answers lost)")


@case
def window_without_display(run):
    """Started where there is no graphical session, the window says so in one line, points to the
    command line, and exits with 1 instead of aborting."""
    if run.programs.window is None:
        raise Skip("the window is not built (LUT_BUILD_GUI is off)")
    env = {name: value for name, value in os.environ.items()
           if name not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    child = run.start("logger-update-tool", [run.programs.window], env)
    code = child.finish(60)
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

    # doctor on the namespace's LAN: its adapter, the /24 a search sweeps, and one search's answers.
    doctor = run.start("logger-update doctor (namespace)",
                       namespaces.run_in_tool([run.programs.cli, "doctor", "--probe", "--wait", "2", "--json"]))
    code, facts = report(doctor, 30)
    # As root, the program built here has no file capability: the one warning, which other users would meet.
    check(code == 13 and [problem["code"] for problem in facts["problems"]] == ["no-file-capability"]
          and {"address": "10.77.0.1", "prefix": 24, "up": True}.items()
          <= next((a for a in facts["adapters"] if a["address"] == "10.77.0.1"), {}).items()
          and facts["search"]["localAddress"] == "10.77.0.1" and facts["search"]["sweep"] == "10.77.0.1 to 10.77.0.254"
          and all(port["bindable"] for port in facts["ports"]),
          f"doctor in the namespace: exit {code}, {facts}")
    answers = sorted((row["ip"], row["sn"]) for row in facts["probe"]["answers"])
    check(answers == sorted(loggers) and facts["probe"]["sendsFailed"] == 0,
          f"doctor --probe: expected the loggers {loggers}, got {facts['probe']}")


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


def _playbook(run, inventory, env, *extra):
    """ansible-playbook with the collection's rollout playbook; returns its exit code, its output and each
    host's recap counts."""
    argv = ["ansible-playbook", "-i", inventory, "lut.logger_update_tool.rollout",
            "-e", f"@{run.dir / 'vars.json'}"]
    child = run.start("ansible-playbook", [*argv, *extra], env=env)
    code = child.finish(400)
    output = child.text("out")
    print(f"ansible-playbook {' '.join(extra)}: exit {code} in {time.monotonic() - child.started:.1f} s")
    recap = {match.group(1): {key: int(value) for key, value in re.findall(r"(\w+)=(\d+)", match.group(2))}
             for match in re.finditer(r"^(site-\w+)\s+: (ok=.*)$", output, re.MULTILINE)}
    return code, output, recap


@case
def ansible(run):
    """The Ansible collection rolls an update out to three sites over SSH, in waves: each site is a network
    namespace with its gateway's SSH server and its own simulated loggers, and the controller runs the
    collection's playbook. Every logger is updated byte-identically and verified and the fleet report lists
    them all; a second run changes nothing; a site whose loggers refuse fails its host, after which no
    later wave starts; a site that fails before its update has its row, and a run after a failure updates
    what is left."""
    names = ["site-a", "site-b", "site-c"]
    sites = Sites(names, loggers_per_site=2)
    sites.create()
    keys = ssh_keys(run)
    known_hosts = run.dir / "known_hosts"
    known_hosts.write_text(",".join(site.gateway for site in sites.sites) + " "
                           + keys.host.with_suffix(".pub").read_text())

    def serial(site, n):
        return f"{site.name[-1].upper()}{n:03d}"

    def start_loggers(site, version, *options):
        argv = [run.programs.sim, "--allow-any-address", "--out-dir", run.dir / site.name, "--run-time", 900,
                *options]
        for n, address in enumerate(site.loggers):
            argv += ["--logger", f"{address},{serial(site, n)},{version}"]
        (run.dir / site.name).mkdir(exist_ok=True)
        sim = run.start(f"logger-sim {site.name}", sites.run_in(site, argv))
        sim.wait_for(r"ready: \d+ simulated logger", 15, stream="err")
        return sim

    sims = {}
    for site in sites.sites:
        start_sshd(run, site.name, site.gateway, keys, lambda argv, site=site: sites.run_in(site, argv),
                   {"LOGGER_UPDATE_RECORD": run.dir / f"{site.name}-updates.jsonl"})
        sims[site.name] = start_loggers(site, "S2.00")

    # The collection as a user gets it: built into an archive and installed from it.
    collections = run.dir / "collections"
    source = Path(__file__).resolve().parents[2] / "ansible"
    for argv in (["ansible-galaxy", "collection", "build", "--output-path", run.dir, source],
                 ["ansible-galaxy", "collection", "install", "-p", collections,
                  run.dir / "lut-logger_update_tool-2.0.0.tar.gz"]):
        done = subprocess.run(argv, capture_output=True, text=True, timeout=120, cwd=run.dir)
        check(done.returncode == 0, f"{' '.join(map(str, argv[:3]))}: {done.stdout}{done.stderr}")
    env = dict(os.environ, HOME=str(run.dir / "home"), ANSIBLE_COLLECTIONS_PATH=str(collections),
               ANSIBLE_NOCOLOR="1", ANSIBLE_RETRY_FILES_ENABLED="0", ANSIBLE_PIPELINING="1",
               # No SSH master left running in the background after a run: it would outlive the test.
               ANSIBLE_SSH_ARGS="-o ControlMaster=no -o ControlPersist=no")
    # logger_search is the deprecated name of logger_search_info.
    for module in ("logger_update", "logger_search_info", "logger_search"):
        done = subprocess.run(["ansible-doc", f"lut.logger_update_tool.{module}"], capture_output=True,
                              text=True, timeout=60, env=env)
        check(done.returncode == 0 and "OPTIONS" in done.stdout, f"ansible-doc {module}: {done.stderr}")

    inventory = run.dir / "inventory.ini"
    inventory.write_text("[gateways]\n" + "".join(
        f"{site.name} ansible_host={site.gateway} rollout_local_address={site.gateway} "
        f"rollout_bind={site.gateway}\n" for site in sites.sites) + "\n".join([
            "[gateways:vars]", "ansible_user=root", f"ansible_ssh_private_key_file={keys.client}",
            f"ansible_ssh_common_args='-F /dev/null -o UserKnownHostsFile={known_hosts} "
            "-o StrictHostKeyChecking=yes'",
            "ansible_python_interpreter=/usr/bin/python3", f"ansible_remote_tmp={run.dir / 'remote-tmp'}",
            ""]))
    blocks = 3
    report = run.dir / "fleet-report"

    def rollout(image, *extra):
        (run.dir / "vars.json").write_text(json.dumps({
            "rollout_image": str(image),
            "rollout_image_dir": f"{run.dir}/gateway/{{{{ inventory_hostname }}}}",
            "rollout_report": str(report), "rollout_executable": str(run.programs.cli.resolve()),
            "rollout_wait": 1, "rollout_verify_wait": 10}))
        return _playbook(run, inventory, env, *extra)

    def images(site, version):
        return [run.dir / site.name / f"{serial(site, n)}_{version}.bin" for n in range(len(site.loggers))]

    first = run.image("S3.00.bin", blocks * BLOCK_BYTES)
    code, output, recap = rollout(first)
    check(code == 0 and sorted(recap) == names
          and all(counts["changed"] > 0 and counts["failed"] == 0 for counts in recap.values()),
          f"the rollout ended with exit {code}, recap {recap}\n{output}")
    for site in sites.sites:
        check(all(path.exists() and path.read_bytes() == first.read_bytes()
                  for path in images(site, "S3.00")),
              f"the loggers of {site.name} do not all hold {first.name}\n{sims[site.name].transcript()}")
    rows = json.loads(report.with_suffix(".json").read_text())
    expected = sorted((site.name, address, "S2.00", "S3.00", "complete") for site in sites.sites
                      for address in site.loggers)
    check(sorted((row["site"], row["ip"], row["before"], row["after"], row["outcome"]) for row in rows)
          == expected and all(row["message"].startswith("Verified: ") for row in rows),
          f"expected the fleet report to list every logger updated and verified, got {rows}")
    table = report.with_suffix(".csv").read_text().splitlines()
    check(table[0] == "site,sn,ip,before,after,outcome,time,message" and len(table) == 1 + len(expected),
          f"the CSV report is {table}")

    code, output, recap = rollout(first, "-e", '{"rollout_waves": ["100%"]}')
    check(code == 0 and sorted(recap) == names and all(counts["changed"] == 0 for counts in recap.values()),
          f"the second run ended with exit {code}, recap {recap}\n{output}")
    check(json.loads(report.with_suffix(".json").read_text()) == rows, "the second run changed the report")

    # logger_search_info over SSH, one line of JSON a site.
    searched = run.start("ansible logger_search_info", [
        "ansible", "gateways", "-i", inventory, "-o", "-m", "lut.logger_update_tool.logger_search_info", "-a",
        f"executable={run.programs.cli.resolve()} local_address={{{{ ansible_host }}}} "
        "bind={{ ansible_host }} wait=1"], env=env)
    code = searched.finish(120)
    found = {}
    for line in searched.lines("out"):
        name, _, answer = line.text.partition(" | SUCCESS => ")
        if answer:
            result = json.loads(answer)
            versions = sorted((row["ip"], row["version"]) for row in result["loggers"])
            found[name] = (result["count"], versions)
    listed = {site.name: (2, [(address, "S3.00") for address in site.loggers]) for site in sites.sites}
    check(code == 0 and found == listed,
          f"logger_search_info: exit {code}, expected {listed}, found {found}\n{searched.transcript()}")

    # Waves of one site each, no failure allowed: site-b's loggers refuse, so site-c is never started.
    sims["site-b"].stop()
    sims["site-b"] = start_loggers(sites.sites[1], "S3.00", "--refuse", "E81")
    second = run.image("S3.01.bin", blocks * BLOCK_BYTES)
    requests_before = len(sim_lines(sims["site-c"], r" <- LU "))
    code, output, recap = rollout(second)
    check(code != 0 and recap.get("site-a", {}).get("failed") == 0
          and recap.get("site-b", {}).get("failed") == 1 and "site-c" not in recap,
          f"expected site-a updated, site-b failed and site-c not started; exit {code}, recap {recap}\n"
          f"{output}")
    check(len(sim_lines(sims["site-c"], r" <- LU ")) == requests_before,
          "site-c got an update request after site-b failed")
    check(all(path.exists() for path in images(sites.sites[0], "S3.01")), "site-a's loggers were not updated")
    added = json.loads(report.with_suffix(".json").read_text())[len(rows):]
    check(sorted((row["site"], row["outcome"]) for row in added)
          == [("site-a", "complete")] * 2 + [("site-b", "refused")] * len(sites.sites[1].loggers)
          and "Same Version" in output,
          f"expected the report to add site-a's updates and site-b's refusals, got {added}\n{output}")

    # Check mode: the tool's dry run. Site-a runs the file already, site-b would be updated, and site-c is
    # left at the copy its image would need; nothing is sent to any logger.
    requests_before = [len(sim_lines(sims[name], r" <- LU ")) for name in names]
    reported = report.with_suffix(".json").read_text()
    code, output, recap = rollout(second, "-e", '{"rollout_waves": ["100%"]}', "--check")
    changed = {name: counts["changed"] for name, counts in recap.items()}
    check(code == 0 and changed == {"site-a": 0, "site-b": 1, "site-c": 2}
          and all(f"Would update {serial(sites.sites[2], n)} at {address} from S3.00 to S3.01" in output
                  for n, address in enumerate(sites.sites[2].loggers)),
          f"expected site-b's dry run, site-c's copy and dry run to change and site-c's loggers listed; exit "
          f"{code}, recap {recap}\n{output}")
    check([len(sim_lines(sims[name], r" <- LU ")) for name in names] == requests_before
          and report.with_suffix(".json").read_text() == reported,
          "the dry run sent an update request or changed the report")

    # The waves from the inventory, all sites at once: site-b's loggers take the file now, and site-c fails
    # before its update (a file where its folder for update files belongs), yet has its row.
    sims["site-b"].stop()
    sims["site-b"] = start_loggers(sites.sites[1], "S3.00")
    (run.dir / "group_vars").mkdir()
    (run.dir / "group_vars" / "gateways.yml").write_text('rollout_waves: ["100%"]\n')
    blocked = run.dir / "gateway" / "site-c"
    shutil.rmtree(blocked)
    blocked.write_text("not a folder\n")
    code, output, recap = rollout(second)
    added = json.loads(report.with_suffix(".json").read_text())[len(json.loads(reported)):]
    check(code != 0 and sorted(recap) == names and recap["site-c"]["failed"] == 1
          and recap["site-a"]["changed"] == 0 and recap["site-b"]["failed"] == 0
          and f"The fleet report: {report}.csv" in output,
          f"expected one wave, site-b updated, site-c failed and the report named; exit {code}, recap "
          f"{recap}\n{output}")
    check(sorted((row["site"], row["sn"], row["outcome"]) for row in added)
          == [("site-b", serial(sites.sites[1], n), "complete") for n in range(2)] + [("site-c", "", "failed")]
          and str(blocked) in next(row["message"] for row in added if row["site"] == "site-c"),
          f"expected site-b's updates and site-c's failure in the report, got {added}")

    # A run after the failure: site-c is updated, and its table is shown at the end.
    blocked.unlink()
    code, output, recap = rollout(second)
    check(code == 0 and recap["site-c"]["changed"] > 0 and recap["site-c"]["failed"] == 0
          and all(path.exists() for path in images(sites.sites[2], "S3.01"))
          and "site-c,C001," in output,
          f"expected site-c updated after its failure; exit {code}, recap {recap}\n{output}")
    table = report.with_suffix(".csv").read_text().splitlines()
    check(table.count(table[0]) == 1
          and len(table) == 1 + len(json.loads(report.with_suffix(".json").read_text())),
          f"the CSV report has one header and every row of the JSON report: {table}")
    print(f"3 sites, {len(expected)} loggers updated over SSH; the refusing site stopped the rollout; the "
          "site that failed before its update was reported and updated by the next run")


@case
def doctor(run):
    """doctor in a private network namespace with only loopback up, where another process holds the update
    port, the program lacks cap_net_bind_service and (with nft) a firewall drops the search port: the report
    names the holder with its program's path and, for the search port, the setcap line; the verdict lists
    each problem with what to do and ends with exit 12. It sends nothing."""
    if shutil.which("setpriv") is None:
        raise Skip("'setpriv' is not installed")
    firewall = shutil.which("nft") is not None
    if firewall:
        for rule in (["add", "table", "inet", "lut"],
                     ["add", "chain", "inet", "lut", "input", "{ type filter hook input priority 0; policy accept; }"],
                     ["add", "rule", "inet", "lut", "input", "udp", "dport", "23", "drop"]):
            subprocess.run(["nft", *rule], check=True, timeout=10)
    # The update port is held by a program with the window's name (a copy of this interpreter).
    window = run.dir / "logger-update-tool"
    shutil.copy(os.path.realpath(sys.executable), window)
    holder = run.start("a program named logger-update-tool", [
        window, "-c", "import socket, time\nheld = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)\n"
        f"held.bind(('{TOOL_ADDRESS}', 8000))\nprint('bound', flush=True)\ntime.sleep(60)"])
    holder.wait_for("^bound$", 20)
    without_capability = ["setpriv", "--bounding-set", "-net_bind_service", "--inh-caps", "-net_bind_service"]
    command = [*without_capability, run.programs.cli, "doctor", "--bind", TOOL_ADDRESS, "--local-address",
               TOOL_ADDRESS]
    code, facts = report(run.start("logger-update doctor", [*command, "--json"]), 30)
    text = run.start("logger-update doctor (text)", command)
    check(text.finish(30) == 12, f"doctor as text: expected exit 12\n{text.transcript()}")
    update, discovery = facts["ports"]
    check(code == 12 and facts["schema"] == 1 and update["problem"] == "in-use"
          and update["holder"] == {"pid": holder.pid, "program": str(window)},
          f"the update port is held by process {holder.pid} ({window}): exit {code}, {update}")
    check(discovery["problem"] == "no-permission" and facts["privilege"]["processCapability"] == "no"
          and f"sudo setcap cap_net_bind_service=+ep {Path(run.programs.cli).resolve()}" in discovery["message"],
          f"the search port needs the capability: {discovery}, {facts['privilege']}")
    problems = {problem["code"]: problem for problem in facts["problems"]}
    expected = {"only-loopback", "port-in-use", "port-no-permission"}
    if firewall:
        expected.add("firewall-drops")
        check(problems.get("firewall-drops", {}).get("todo", "").endswith(
              "sudo nft insert rule inet lut input udp dport 23 accept"),
              f"the firewall's fix: {problems.get('firewall-drops')}")
    check(set(problems) == expected and all(p["severity"] in ("error", "warning") and p["todo"]
                                            for p in problems.values()),
          f"expected the problems {sorted(expected)}, got {facts['problems']}")
    check(problems["port-in-use"]["todo"] == "close the Logger Update Tool window",
          f"the holder is the window: {problems['port-in-use']}")
    check(facts["probe"]["ran"] is False, "doctor without --probe sends nothing")
    lines = [line.text for line in text.lines("out")]
    check(any(line.endswith(f"held by process {holder.pid} ({window})") for line in lines)
          and any(line.startswith("  error port-in-use: ") for line in lines),
          f"the text names the holder and the problem\n{text.transcript()}")


# The site LAN: six loggers and a host without a listener on 192.0.2.0/24, a router to 198.51.100.0/24 with
# one logger behind it; the simulated loggers delay every datagram both ways by 60 to 180 ms (so some
# overtake others), send 2 % of their answers twice and lose 3 % of them.
SITE_LAN = [(f"192.0.2.{host}", f"LAN{host:03d}") for host in range(10, 16)]
SITE_ROUTED = ("198.51.100.10", "FAR010")
SITE_SECOND_ADAPTER = ("203.0.113.20", "ADP020")  # on the tool's second adapter, 203.0.113.1
SITE_SILENT_HOST = "192.0.2.50"
SITE_FAULTS = ["--delay", 120, "--jitter", 60, "--duplicate", 2, "--answer-loss", 3]


def _site_lan(run, tool_here=False):
    """The site LAN's namespaces and one simulator in each of the three loggers' namespaces (the LAN, behind
    the router, on the second adapter); returns the silent host's namespace, a function that runs the tool
    in its namespace, and the simulators."""
    namespaces = Namespaces("192.0.2.0/24", tool_here)
    run.on_close(namespaces.remove)
    namespaces.create([address for address, _ in SITE_LAN])
    silent = namespaces.attach("host", SITE_SILENT_HOST)
    far = namespaces.add_router("192.0.2.254", "198.51.100.0/24", [SITE_ROUTED[0]])
    second = namespaces.add_adapter("203.0.113.0/24", [SITE_SECOND_ADAPTER[0]])
    sims = []
    for seed, (namespace, loggers) in enumerate(((namespaces.loggers, SITE_LAN), (far, [SITE_ROUTED]),
                                                 (second, [SITE_SECOND_ADAPTER]))):
        argv = [run.programs.sim, "--allow-any-address", "--out-dir", run.out_dir(), "--run-time", 300,
                *SITE_FAULTS, "--seed", seed + 5]
        for address, serial in loggers:
            argv += ["--logger", f"{address},{serial},S1.00"]
        sim = run.start(f"logger-sim ({namespace})", Namespaces.run_in(namespace, argv))
        sim.wait_for(rf"ready: {len(loggers)} simulated logger", 15, stream="err")
        sims.append(sim)
    runner = [run.programs.cli_runner] if run.programs.cli_runner else []

    def tool_in_lan(name, *arguments):
        return run.start(name, namespaces.run_in_tool([*runner, run.programs.cli, *arguments]))

    return silent, tool_in_lan, sims


def _site_search(silent, tool_in_lan, timeout):
    """search finds every logger of the LAN, no conflict among them, while the silent host answers probes
    with ICMP port unreachable."""
    code, found = report(tool_in_lan("logger-update search (site LAN)", "search", "--local-address",
                                     "192.0.2.1", "--wait", "2", "--json"), timeout)
    check(code == 0, f"search ended with exit {code}")
    rows = sorted((row["ip"], row["sn"], row["version"], row["conflict"]) for row in found)
    check(rows == [(address, serial, "S1.00", False) for address, serial in SITE_LAN],
          f"expected the loggers {SITE_LAN}, got {found}")
    snmp = subprocess.run(Namespaces.run_in(silent, ["cat", "/proc/net/snmp"]), capture_output=True, text=True,
                          timeout=10).stdout.splitlines()
    icmp = [line.split() for line in snmp if line.startswith("Icmp:")]
    unreachable = int(icmp[1][icmp[0].index("OutDestUnreachs")])
    check(unreachable > 0, "the silent host sent no ICMP port unreachable: the case does not exercise it")
    return unreachable


@case
def site_lan(run):
    """A site LAN with delay, reordering, duplicated and lost answers, a host without a listener and a router:
    search lists every logger of the /24, search --all-adapters also the one on the tool's second adapter,
    update --all --all-adapters --expect updates every one of both byte-identically, and a list of
    addresses reaches the logger behind the router as well as one on the LAN."""
    silent, tool_in_lan, (sim, far_sim, second_sim) = _site_lan(run)
    unreachable = _site_search(silent, tool_in_lan, 30)

    code, found = report(tool_in_lan("logger-update search --all-adapters (site LAN)", "search", "--all-adapters",
                                     "--wait", "2", "--json"), 30)
    rows = sorted((row["ip"], row["sn"], row["via"]) for row in found)
    expected = sorted([(address, serial, "192.0.2.1") for address, serial in SITE_LAN]
                      + [(*SITE_SECOND_ADAPTER, "203.0.113.1")])
    check(code == 0 and rows == expected, f"expected {expected} from both adapters, got exit {code}: {found}")

    # Every adapter's loggers: the six of the LAN and the one on the second adapter.
    image = run.image("S2.00.bin", 4 * BLOCK_BYTES - 11)
    everyone = SITE_LAN + [SITE_SECOND_ADAPTER]
    child = tool_in_lan("logger-update update --all --all-adapters (site LAN)", "update", "--all", "--all-adapters",
                        "--expect", len(everyone), "--file", image, "--parallel", len(everyone), "--verify-wait",
                        20, "--json")
    code, results = report(child, 120)
    check(code == 0 and sorted((r["logger"], r["result"], r["verified"]) for r in results)
          == sorted((address, "complete", True) for address, _ in everyone),
          f"expected every logger updated and verified, got exit {code}: {results}\n{sim.transcript()}")
    for (address, serial), simulator in zip(everyone, [sim] * len(SITE_LAN) + [second_sim]):
        check(received_image(run, simulator, address, serial, "S2.00") == image.read_bytes(),
              f"the image {serial} received differs from {image.name}")

    image = run.image("S2.01.bin", 4 * BLOCK_BYTES)
    routed, serial = SITE_ROUTED
    child = tool_in_lan("logger-update update --logger list (site LAN)", "update", "--logger", routed,
                        "--logger", SITE_LAN[0][0], "--file", image, "--verify-wait", 20, "--json")
    code, results = report(child, 120)
    check(code == 0 and [(r["logger"], r["result"]) for r in results]
          == [(routed, "complete"), (SITE_LAN[0][0], "complete")],
          f"expected both listed loggers updated, got exit {code}: {results}\n{far_sim.transcript()}")
    check(received_image(run, far_sim, routed, serial, "S2.01") == image.read_bytes(),
          f"the image {serial} received behind the router differs from {image.name}")
    lost = sim_lines(sim, r" answer lost on the way")
    doubled = sim_lines(sim, r" answer duplicated on the way")
    print(f"site LAN: {len(SITE_LAN) + 1} loggers on two adapters found and updated, {unreachable} ICMP port unreachable from the "
          f"silent host, {len(lost)} answers lost and {len(doubled)} duplicated on the LAN; the routed logger "
          f"updated by address")


def _wine_server(run):
    """One Wine server for the whole case, in this process's network namespace (the server makes the Windows
    program's sockets there), kept running until the case ends, with its services started by a first
    program. Left to itself, the server ends a few seconds after the last program, and its services with it:
    each program of the case would then meet it starting (5 to 15 s, its services starting beside the
    program on a loaded machine), running or ending, which a start can race."""
    runner = run.programs.cli_runner
    run.on_close(lambda: subprocess.run([runner, "--wineserver", "-k"], timeout=30))
    # Its output into a file: the server outlives this call, and an inherited pipe would stay open in it.
    said = run.dir / "wineserver.txt"
    with said.open("w") as output:
        started = subprocess.run([runner, "--wineserver", "-p"], stdin=subprocess.DEVNULL, stdout=output,
                                 stderr=output, timeout=30)
    check(started.returncode == 0, f"Wine's server did not start (exit {started.returncode}; 2: another "
                                   f"server of the prefix is seen from here): {said.read_text()}")
    first = run.start("logger-update --help (Wine's first start)", [runner, run.programs.cli, "--help"])
    check(first.finish(90) == 0, f"logger-update --help under Wine failed\n{first.transcript()}")


@case
def site_lan_windows(run):
    """The site LAN for the Windows command line under Wine: search lists every logger while the silent host
    answers its probes with ICMP port unreachable, and one update arrives byte-identical."""
    check(run.programs.cli_runner, "the site-lan-windows case needs --cli-runner (Wine)")
    if not Path("/usr/lib/wine/wine64").exists():
        raise Skip("Wine is not installed (tools/windows-deps.sh)")
    _wine_server(run)
    # Wine's server makes the program's sockets: the tool's side of the LAN is the namespace it runs in.
    silent, tool_in_lan, (sim, _, _) = _site_lan(run, tool_here=True)
    _site_search(silent, tool_in_lan, 90)

    address, serial = SITE_LAN[1]
    image = run.image("S2.00.bin", 4 * BLOCK_BYTES - 11)
    child = tool_in_lan("logger-update update (site LAN)", "update", "--logger", address, "--file", image,
                        "--local-address", "192.0.2.1", "--no-record", "--no-verify", "--json")
    code, result = report(child, 120)
    check(code == 0 and result["result"] == "complete",
          f"expected exit 0 and \"Update complete\", got exit {code}: {result}\n{sim.transcript()}")
    check(received_image(run, sim, address, serial, "S2.00") == image.read_bytes(),
          f"the image {serial} received differs from {image.name}")


@case
def windows(run):
    """The Windows command line under Wine against the Linux simulator: a search lists the loggers at both
    ends of the sweep, and an update with a tenth of the blocks lost on their first arrival gets every lost
    block resent and arrives byte-identical. Wine runs in a private network namespace, so that its server,
    which makes the sockets, sees loopback only."""
    check(run.programs.cli_runner, "the windows case needs --cli-runner (Wine)")
    if not Path("/usr/lib/wine/wine64").exists():
        raise Skip("Wine is not installed (tools/windows-deps.sh)")
    _wine_server(run)
    # Wine hands the environment on: the record goes into the run's folder through Wine's drive Z:.
    run.record.parent.mkdir(parents=True)
    os.environ["LOGGER_UPDATE_RECORD"] = "Z:" + str(run.record).replace("/", "\\")

    loggers = [("127.0.0.2", "SN0001", "S1.00"), ("127.0.0.3", "SN0003", "S1.01"),
               ("127.0.0.254", "SN0254", "S1.02")]
    sim, ports = start_sim(run, [",".join(logger) for logger in loggers], "--loss", 10, "--seed", 3)
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
    parser.add_argument("--window-tests", type=Path)
    arguments = parser.parse_args()

    def body():
        if arguments.case in ("windows", "site-lan-windows", "doctor", "window-search"):
            enter_private_loopback([sys.executable, "-B", *sys.argv])
        if arguments.case == "ansible":
            enter_private_sites([sys.executable, "-B", *sys.argv], ["ansible-core", "openssh-server"])
        with Run(Programs(arguments.sim, arguments.cli, arguments.window, arguments.cli_runner,
                          arguments.window_tests)) as run:
            CASES[arguments.case](run)

    return drive(arguments.case, body)


if __name__ == "__main__":
    sys.exit(main())
