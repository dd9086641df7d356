"""Process orchestration for the end-to-end tests.

Children run in process groups of their own; a reader thread per stream collects their output lines with
the time each arrived, so that a case waits for a line (never for a fixed time) and every wait has a
deadline. A Run owns what a case starts and creates, and stops and removes all of it however the case ends.
"""

import argparse
import contextlib
import os
import random
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time
from pathlib import Path
from typing import NamedTuple

SKIP_CODE = 77  # the tests' SKIP_RETURN_CODE in CTest

TOOL_ADDRESS = "127.0.0.1"  # what the tool binds and sweeps from on loopback; loggers live at 127.0.0.2...


class Failure(Exception):
    """A check failed; the text says what was expected and what came instead."""


class Skip(Exception):
    """The case cannot run on this machine; the text says why."""


def check(condition, message):
    if not condition:
        raise Failure(message)


class Interrupted(Exception):
    """SIGTERM or SIGHUP: raised so that the run still stops its children and removes what it made."""


def _interrupt(signum, _frame):
    raise Interrupted(signal.Signals(signum).name)


def raise_on_termination():
    """From now on SIGTERM and SIGHUP raise Interrupted in the main thread."""
    for signum in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, _interrupt)


class Line(NamedTuple):
    time: float  # time.monotonic() when the line arrived
    stream: str  # "out" or "err"
    text: str


class Child:
    """A started program whose output is collected line by line with arrival times."""

    def __init__(self, name, argv, env=None):
        self.name = name
        self._lines = []
        self._open_streams = 2
        self._changed = threading.Condition()
        self.started = time.monotonic()
        self._popen = subprocess.Popen(
            [str(a) for a in argv], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
            stderr=subprocess.PIPE, env=env, start_new_session=True)
        self._readers = [threading.Thread(target=self._read, args=(stream, label), daemon=True)
                         for stream, label in ((self._popen.stdout, "out"), (self._popen.stderr, "err"))]
        for reader in self._readers:
            reader.start()

    def _read(self, stream, label):
        for raw in stream:
            line = Line(time.monotonic(), label, raw.decode("utf-8", "replace").rstrip("\r\n"))
            with self._changed:
                self._lines.append(line)
                self._changed.notify_all()
        with self._changed:
            self._open_streams -= 1
            self._changed.notify_all()

    def wait_for(self, pattern, timeout, stream=None):
        """The first line matching the regular expression; fails when the child ends or time runs out."""
        regex = re.compile(pattern)
        deadline = time.monotonic() + timeout
        with self._changed:
            while True:
                for line in self._lines:
                    if (stream is None or line.stream == stream) and regex.search(line.text):
                        return line
                if self._open_streams == 0:
                    raise Failure(f"{self.name} ended (exit {self._popen.poll()}) without a line matching "
                                  f"{pattern!r}\n{self.transcript()}")
                remaining = deadline - time.monotonic()
                if remaining <= 0:
                    raise Failure(f"{self.name}: no line matching {pattern!r} within {timeout} s\n"
                                  f"{self.transcript()}")
                self._changed.wait(remaining)

    def finish(self, timeout):
        """Waits for the child to end by itself and for the rest of its output; returns its exit code."""
        try:
            code = self._popen.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f"{self.name} did not end within {timeout} s\n{self.transcript()}") from None
        for reader in self._readers:
            reader.join(timeout)
        return code

    @property
    def pid(self):
        return self._popen.pid

    def ended(self, timeout):
        """Whether the child has ended, waiting for it at most timeout seconds."""
        try:
            self._popen.wait(timeout)
            return True
        except subprocess.TimeoutExpired:
            return False

    def stop(self):
        """Ends the child's process group: SIGTERM, then SIGKILL if it lingers. Harmless once it has ended."""
        if self._popen.poll() is None:
            for sig in (signal.SIGTERM, signal.SIGKILL):
                with contextlib.suppress(ProcessLookupError):
                    os.killpg(self._popen.pid, sig)
                try:
                    self._popen.wait(5)
                    break
                except subprocess.TimeoutExpired:
                    continue
        for reader in self._readers:
            reader.join(5)
        self._popen.stdout.close()
        self._popen.stderr.close()

    def lines(self, stream=None):
        with self._changed:
            return [line for line in self._lines if stream is None or line.stream == stream]

    def text(self, stream):
        return "\n".join(line.text for line in self.lines(stream))

    def transcript(self, last=40):
        shown = self.lines()[-last:]
        return "\n".join(f"  [{self.name} {line.stream}] {line.text}" for line in shown)


class Programs(NamedTuple):
    sim: Path
    cli: Path
    window: Path | None
    cli_runner: Path | None = None  # what runs the command line, such as Wine for the Windows build
    window_tests: Path | None = None  # the window's test program whose case presses Search


class Run:
    """Everything one case starts and creates: a temporary directory, the children, and clean-ups that
    undo what the case set up. Closing it stops the children (last started first) and undoes the rest in
    reverse order, whether the case passed, failed or was interrupted."""

    def __init__(self, programs):
        self.programs = programs
        self.rng = random.Random()
        self._stack = contextlib.ExitStack()
        self.dir = Path(tempfile.mkdtemp(prefix="lut-e2e-"))
        self._stack.callback(shutil.rmtree, self.dir)
        # The update record of every tool this run starts goes into its folder, never into the home.
        os.environ.pop("LOGGER_UPDATE_RECORD", None)
        os.environ["XDG_STATE_HOME"] = str(self.dir / "state")
        self.record = self.dir / "state" / "logger-update-tool" / "updates.jsonl"

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self._stack.close()

    def on_close(self, undo, *args):
        self._stack.callback(undo, *args)

    def start(self, name, argv, env=None):
        child = Child(name, argv, env)
        self._stack.callback(child.stop)
        return child

    def image(self, name, size):
        """An update file of random bytes; the name must begin with "S"."""
        path = self.dir / name
        path.write_bytes(self.rng.randbytes(size))
        return path

    def out_dir(self):
        """Where the simulator writes the images it received completely."""
        path = self.dir / "received"
        path.mkdir(exist_ok=True)
        return path


def bindable(address, port):
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        try:
            probe.bind((address, port))
            return True
        except OSError:
            return False


class Ports(NamedTuple):
    discovery: int
    update: int


def free_ports(addresses, rng=random):
    """A discovery and an update port, each free on every address (below the kernel's ephemeral range)."""
    for _ in range(100):
        pair = Ports(*rng.sample(range(20000, 32000), 2))
        if all(bindable(address, port) for address in addresses for port in pair):
            return pair
    raise Failure(f"no pair of free UDP ports on {', '.join(addresses)}")


def start_sim(run, loggers, *options, attempts=5):
    """logger-sim with one logger per "ADDRESS[,SERIAL[,VERSION]]", on a port pair free on those addresses and
    on the tool's, once it says it is ready. Returns the child and the ports. A pair taken in the meantime
    by someone else is replaced by another."""
    addresses = [TOOL_ADDRESS] + [logger.split(",")[0] for logger in loggers]
    for attempt in range(attempts):
        ports = free_ports(addresses, run.rng)
        argv = [run.programs.sim, "--discovery-port", ports.discovery, "--update-port", ports.update,
                "--out-dir", run.out_dir(), "--run-time", 300, *options]
        for logger in loggers:
            argv += ["--logger", logger]
        sim = run.start("logger-sim", argv)
        try:
            sim.wait_for(r"ready: \d+ simulated logger", 15, stream="err")
            return sim, ports
        except Failure:
            if attempt + 1 == attempts or not any("cannot bind" in line.text for line in sim.lines()):
                raise
            sim.stop()
    raise AssertionError("unreachable")


def tool(run, ports, command, *arguments):
    """logger-update on loopback: bound to the tool's address, with the tool's address as the local address,
    so that a search sweeps 127.0.0.1 to 127.0.0.254 and nothing else."""
    runner = [run.programs.cli_runner] if run.programs.cli_runner else []
    return run.start(f"logger-update {command}", [
        *runner, run.programs.cli, command, "--local-address", TOOL_ADDRESS, "--bind", TOOL_ADDRESS,
        "--discovery-port", ports.discovery, "--update-port", ports.update, *arguments])


def sim_lines(sim, pattern):
    regex = re.compile(pattern)
    return [line.text for line in sim.lines("err") if regex.search(line.text)]


def received_image(run, sim, address, serial, version):
    """The image the logger at address wrote once it had every block, as bytes."""
    sim.wait_for(re.escape(f"{address} image written: "), 10, stream="err")
    return (run.out_dir() / f"{serial}_{version}.bin").read_bytes()


def install_missing(packages):
    """The Debian packages a case needs, installed with apt-get when missing; without root or apt-get, or when
    the installation fails, the case is skipped."""
    def installed(package):
        done = subprocess.run(["dpkg-query", "-W", "-f=${Status}", package], capture_output=True, text=True,
                              timeout=30)
        return done.stdout == "install ok installed"

    missing = [package for package in packages if not installed(package)]
    if not missing:
        return
    if os.geteuid() != 0 or shutil.which("apt-get") is None:
        raise Skip(f"{' '.join(missing)} missing, and only root can install them with apt-get")
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    for argv in (["apt-get", "update", "-qq"],
                 ["apt-get", "install", "-y", "-qq", "--no-install-recommends", *missing]):
        done = subprocess.run(argv, env=env, capture_output=True, text=True, timeout=900)
        if done.returncode != 0:
            raise Skip(f"cannot install {' '.join(missing)}: {done.stderr.strip()[-400:]}")


class SshKeys(NamedTuple):
    client: Path  # the private key; the public one is beside it with ".pub"
    host: Path


def ssh_keys(run):
    """A client key and a host key made for this run, without passphrase."""
    for name in ("client", "host"):
        subprocess.run(["ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-C", f"lut-e2e-{name}", "-f",
                        run.dir / name], check=True, timeout=30, capture_output=True)
    return SshKeys(run.dir / "client", run.dir / "host")


def start_sshd(run, name, address, keys, wrap, environment):
    """An SSH server on address port 22 with a configuration of its own in the run's folder: root logs in with
    the run's client key only, and its sessions get the environment given. wrap(argv) places it (a
    namespace)."""
    authorized = run.dir / "authorized_keys"
    authorized.write_text(keys.client.with_suffix(".pub").read_text())
    config = run.dir / f"sshd-{name}.conf"
    config.write_text("\n".join([
        f"ListenAddress {address}:22", f"HostKey {keys.host}", f"AuthorizedKeysFile {authorized}",
        f"PidFile {run.dir / f'sshd-{name}.pid'}", "PermitRootLogin prohibit-password", "AllowUsers root",
        "PubkeyAuthentication yes", "PasswordAuthentication no", "KbdInteractiveAuthentication no",
        "UsePAM no", "StrictModes no",  # the keys lie in the run's folder under the world-writable /tmp
        "Subsystem sftp internal-sftp",
        "SetEnv " + " ".join(f"{key}={value}" for key, value in environment.items()), ""]))
    # sshd's privilege separation folder, as the package's service makes it.
    os.makedirs("/run/sshd", mode=0o755, exist_ok=True)
    sshd = run.start(f"sshd {name}", wrap(["/usr/sbin/sshd", "-D", "-e", "-f", config]))
    sshd.wait_for(r"Server listening on", 15, stream="err")
    return sshd
def interrupt(popen, timeout=10):
    """Ends a benchmark's child as Ctrl-C would, so that it says its last words; kills it if it lingers."""
    popen.send_signal(signal.SIGINT)
    try:
        popen.wait(timeout)
    except subprocess.TimeoutExpired:
        popen.kill()
        popen.wait()


def argument_parser(doc):
    """A test driver's command line, its help the driver's docstring as written."""
    return argparse.ArgumentParser(description=doc, formatter_class=argparse.RawDescriptionHelpFormatter)


def drive(name, body):
    """Runs a test driver's body and says how it ended, in one line that begins with PASSED, FAILED, SKIPPED
    or INTERRUPTED and the name; returns the exit code (SKIP_CODE when skipped). From its start SIGTERM and
    SIGHUP interrupt the body, whose Run then stops and removes what it started."""
    started = time.monotonic()
    raise_on_termination()
    try:
        body()
    except Skip as reason:
        print(f"SKIPPED {name}: {reason}")
        return SKIP_CODE
    except Failure as failure:
        print(f"FAILED {name}: {failure}")
        return 1
    except (Interrupted, KeyboardInterrupt) as signal_name:
        print(f"INTERRUPTED {name} {signal_name}; what it started is stopped and removed")
        return 1
    print(f"PASSED {name} in {time.monotonic() - started:.1f} s")
    return 0
