#!/usr/bin/env python3
"""The Debian package on this machine: installed with dpkg -i, the two tool programs hold the capability
to bind port 23, a user without privileges finds simulated loggers with the installed logger-update, and
dpkg -r removes every file the package installed.

    deb_test.py PACKAGE.deb

Runs as root. It runs inside a network namespace of its own (unshare --net), so the loggers and the search
use ports 23 and 8000 on a private loopback that nothing else on the machine shares, and nothing leaves it.
It creates a user for the search and removes the user and the package however it ends. Exit code 0 passed,
1 failed, 77 skipped (the reason is printed).
"""

import os
import pwd
import secrets
import shutil
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "e2e"))
from harness import TOOL_ADDRESS, Failure, Run, Skip, argument_parser, check, drive  # noqa: E402

PACKAGE = "logger-update-tool"
BIN = Path("/usr/bin")
TOOL_PROGRAMS = ("logger-update-tool", "logger-update")  # the two that get cap_net_bind_service
LOGGERS = [("127.0.0.2", "SN0001", "S1.00"), ("127.0.0.3", "SN0002", "S1.01"),
           ("127.0.0.254", "SN0254", "S1.02")]
PRIVATE_NETWORK = "LUT_PACKAGE_TEST_NETNS"  # set once the test runs in its own network namespace


def command(*argv, timeout=120):
    done = subprocess.run([str(a) for a in argv], capture_output=True, text=True, timeout=timeout)
    if done.returncode != 0:
        raise Failure(f"{' '.join(map(str, argv))} ended with {done.returncode}:\n{done.stdout}{done.stderr}")
    return done.stdout


def installed():
    done = subprocess.run(["dpkg-query", "-W", "-f=${db:Status-Status}", PACKAGE], capture_output=True,
                          text=True)
    return done.returncode == 0 and done.stdout == "installed"


def user_exists(name):
    try:
        pwd.getpwnam(name)
        return True
    except KeyError:
        return False


def remove_package():
    if installed():
        subprocess.run(["dpkg", "-r", PACKAGE], capture_output=True, timeout=120)


def remove_user(name):
    if user_exists(name):
        subprocess.run(["userdel", name], capture_output=True, timeout=30)


def prerequisites():
    if os.geteuid() != 0:
        raise Skip("installing a package and creating a user need root")
    for program in ("dpkg", "getcap", "useradd", "userdel", "runuser", "unshare", "ip"):
        if shutil.which(program) is None:
            raise Skip(f"'{program}' is not installed")
    check(not installed(), f"{PACKAGE} is installed already; this test installs and removes it itself")


def test(run, deb):
    run.on_close(remove_package)
    print(command("dpkg", "-i", deb), end="")
    files = [Path(line) for line in command("dpkg", "-L", PACKAGE).splitlines() if line.strip()]
    for program in ("logger-update-tool", "logger-update", "logger-sim"):
        check(BIN / program in files, f"{BIN / program} is not in the package")

    # The dissector lies where Wireshark and tshark load Lua plugins for every user.
    lua = next((path for path in files if path.name == "logger_update.lua"), None)
    check(lua is not None, "the dissector logger_update.lua is not in the package")
    if shutil.which("tshark"):
        folders = dict(line.split(":", 1) for line in command("tshark", "-G", "folders").splitlines() if ":" in line)
        check(Path(folders["Global Lua Plugins"].strip()) == lua.parent,
              f"the dissector is in {lua.parent}, but tshark loads Lua plugins from {folders['Global Lua Plugins']}")
        protocols = [line.split("\t")[-1] for line in command("tshark", "-G", "protocols").splitlines()]
        check("logger" in protocols, "tshark does not load the installed dissector")

    for program in ("logger-update-tool", "logger-update", "logger-sim"):
        caps = command("getcap", BIN / program).strip()
        print(f"getcap {BIN / program}: {caps or '(none)'}")
        wanted = program in TOOL_PROGRAMS
        check(("cap_net_bind_service=ep" in caps) == wanted,
              f"{program} should {'' if wanted else 'not '}hold cap_net_bind_service, getcap says {caps!r}")

    user = f"lutpkg{secrets.token_hex(3)}"
    run.on_close(remove_user, user)
    command("useradd", "--no-create-home", "--shell", "/usr/sbin/nologin", user)
    as_user = ["runuser", "-u", user, "--"]

    # The window's --help needs no display: the installed program starts and finds its libraries.
    window_help = command(*as_user, BIN / "logger-update-tool", "--help")
    check("--local-address" in window_help, f"unexpected logger-update-tool --help:\n{window_help}")

    # The loggers on their real ports, as root; the search as the user, with only the file capability.
    argv = [BIN / "logger-sim", "--run-time", 60]
    for logger in LOGGERS:
        argv += ["--logger", ",".join(logger)]
    sim = run.start("logger-sim", argv)
    sim.wait_for(rf"ready: {len(LOGGERS)} simulated logger", 15, stream="err")
    search = run.start("logger-update search (unprivileged)", as_user + [
        BIN / "logger-update", "search", "--local-address", TOOL_ADDRESS, "--bind", TOOL_ADDRESS,
        "--wait", "1.5"])
    code = search.finish(30)
    out = search.text("out")
    print(f"$ runuser -u {user} -- logger-update search --local-address {TOOL_ADDRESS} --bind {TOOL_ADDRESS}")
    print(out)
    check(code == 0, f"the unprivileged search ended with exit {code}\n{search.transcript()}")
    rows = [line.split() for line in out.splitlines()]
    for address, serial, version in LOGGERS:
        check([serial, address, version] in rows, f"the search did not list {serial} at {address}")
    sim.stop()

    print(command("dpkg", "-r", PACKAGE), end="")
    check(not installed(), f"{PACKAGE} is still installed after dpkg -r")
    left = [path for path in files if (path.exists() and not path.is_dir()) or
            (path.is_dir() and PACKAGE in path.parts)]
    check(not left, "dpkg -r left installed files behind:\n" + "\n".join(map(str, left)))
    remove_user(user)
    check(not user_exists(user), f"the user {user} is still there")


def main():
    parser = argument_parser(__doc__)
    parser.add_argument("deb", type=Path)
    arguments = parser.parse_args()

    def body():
        prerequisites()
        if os.environ.get(PRIVATE_NETWORK) != "1":
            os.environ[PRIVATE_NETWORK] = "1"
            os.execvp("unshare", ["unshare", "--net", "--", sys.executable, "-B", *sys.argv])
        command("ip", "link", "set", "lo", "up")
        with Run(None) as run:
            test(run, arguments.deb.resolve())

    return drive("deb", body)


if __name__ == "__main__":
    sys.exit(main())
