#!/usr/bin/env python3
"""The Windows installer: its generated NSIS script adds and removes the right firewall rules, the installer
carries the window's icon and the version, and (with --run, 64-bit only: this machine runs no 32-bit
program) it installs silently under wine64 into a fresh Wine prefix, the installed logger-update.exe answers
--help (when the build has it), and the silent uninstaller leaves the install folder, the Start menu entry
and the uninstall key gone.

    nsis_test.py SCRIPT.nsi INSTALLER.exe [--run]

Wine's netsh accepts the firewall commands and does nothing, so the rules are checked in the script that
CPack generated (CPack keeps it in the build's package/_CPack_Packages/<arch>/NSIS/project.nsi).
Exit code 0 passed, 1 failed, 77 skipped (the reason is printed).
"""

import os
import re
import struct
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "e2e"))
from harness import Run, Skip, argument_parser, check, drive  # noqa: E402

WINE = Path("/usr/lib/wine/wine64")
WINESERVER = Path("/usr/lib/wine/wineserver")
DISPLAY_NAME = "Logger Update Tool"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\LoggerUpdateTool"
DISSECTOR = "logger_update.lua"  # the Wireshark dissector, for the user to copy into Wireshark's plugins
NETSH = '"$SYSDIR\\netsh.exe" advfirewall firewall'


def section(script, name):
    match = re.search(rf'^Section "{name}"\n(.*?)^SectionEnd', script, re.M | re.S)
    check(match is not None, f'the script has no section "{name}"')
    return match.group(1)


def expand(script, macro, *values):
    """The lines of a macro's body with its parameters replaced, as makensis inserts them."""
    match = re.search(rf"^!macro {macro} (.*?)\n(.*?)^!macroend", script, re.M | re.S)
    check(match is not None, f"the script has no macro {macro}")
    body = match.group(2)
    for parameter, value in zip(match.group(1).split(), values):
        body = body.replace("${" + parameter + "}", value)
    return body


def inserted_commands(script, text, macro):
    """The commands that the macro's insertions in text run, in order."""
    commands = []
    for line in re.findall(rf"!insertmacro {macro} (.*)", text):
        body = expand(script, macro, *re.findall(r"'([^']*)'", line))
        commands += re.findall(r"nsExec::ExecToLog '(.*?)'", body)
    return commands


def check_script(script):
    """Returns the programs the installer holds; checks that each gets an inbound rule for UDP 23 and 8000
    limited to it, that the uninstaller removes each rule, and that no other firewall change is made."""
    install, uninstall = section(script, "Install"), section(script, "Uninstall")
    programs = [name for name in re.findall(r'^\s*Delete "\$INSTDIR\\(.+?)\.exe"', uninstall, re.M)
                if name != "Uninstall"]
    check("logger-update-tool" in programs, f"the installer does not hold the window: {programs}")
    expected_install, expected_uninstall = [], []
    for program in programs:
        rule = f"{DISPLAY_NAME} ({program})"
        path = f"$INSTDIR\\{program}.exe"
        invocation = f"!insertmacro AllowInbound '{rule}' '{program}.exe'"
        check(invocation in install, f"the installer adds no firewall rule for {program}: {invocation!r}")
        check(f"!insertmacro RemoveInbound '{rule}'" in uninstall,
              f"the uninstaller does not remove the firewall rule of {program}")
        expected_install += [f'{NETSH} delete rule name="{rule}"',
                             f'{NETSH} add rule name="{rule}" dir=in action=allow protocol=UDP '
                             f'localport=23,8000 program="{path}" enable=yes profile=any']
        expected_uninstall.append(f'{NETSH} delete rule name="{rule}"')
    added = inserted_commands(script, install, "AllowInbound")
    removed = inserted_commands(script, uninstall, "RemoveInbound")
    check(added == expected_install, "the installer's firewall commands differ:\n" + "\n".join(added))
    check(removed == expected_uninstall, "the uninstaller's firewall commands differ:\n" + "\n".join(removed))
    check("netsh" not in install.replace("!insertmacro AllowInbound", "") and "netsh" not in uninstall,
          "the script calls netsh outside the two firewall macros")
    for command in added + removed:
        print(f"firewall: {command}")
    return programs


def icon_images(ico):
    """The images of an .ico file, as the bytes its directory points at."""
    count = struct.unpack_from("<H", ico, 4)[0]
    images = []
    for index in range(count):
        size, offset = struct.unpack_from("<II", ico, 6 + 16 * index + 8)
        images.append(ico[offset:offset + size])
    return images


def check_installer(script, installer):
    """The installer shows the icon the script names (the window's) and says its version in its version
    information."""
    icon = re.search(r'^!define MUI_ICON "(.*)"', script, re.M)
    check(icon is not None and Path(icon.group(1)).is_file(), "the script names no icon file that exists")
    data = installer.read_bytes()
    images = icon_images(Path(icon.group(1)).read_bytes())
    check(images and all(image in data for image in images),
          f"the installer does not carry every image of {icon.group(1)}")
    version = re.search(r'^VIAddVersionKey "ProductVersion" "(.*)"', script, re.M)
    check(version is not None, "the script sets no product version")
    text = "ProductVersion\0" + version.group(1) + "\0"
    check(text.encode("utf-16-le") in data, f"the installer's version information lacks {version.group(1)}")
    print(f"{installer.name}: version {version.group(1)}, {len(images)} icon images of {icon.group(1)}")


class Wine:
    """A fresh 64-bit Wine prefix inside the run's directory, removed with it."""

    def __init__(self, run):
        self.prefix = run.dir / "wine64"
        self.env = {name: value for name, value in os.environ.items() if name != "DISPLAY"}
        self.env.update(WINEPREFIX=str(self.prefix), WINEARCH="win64", WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        run.on_close(self.end)
        self.run("wineboot", "-i", timeout=120)

    def run(self, *argv, timeout=60):
        """Runs a program in the prefix and waits until every process of the prefix has ended (an
        uninstaller copies itself away and runs on after the first process ends)."""
        done = subprocess.run([str(WINE), *map(str, argv)], env=self.env, capture_output=True, text=True,
                              timeout=timeout)
        subprocess.run([str(WINESERVER), "-w"], env=self.env, timeout=timeout)
        return done

    def end(self):
        subprocess.run([str(WINESERVER), "-k"], env=self.env, capture_output=True, timeout=30)

    def path(self, windows_path):
        return self.prefix / "drive_c" / windows_path.replace("\\", "/")


def run_installer(run, installer, programs):
    if not WINE.exists():
        raise Skip(f"{WINE} is not installed (tools/windows-deps.sh installs it)")
    wine = Wine(run)
    folder = wine.path(f"Program Files\\{DISPLAY_NAME}")
    shortcut = wine.path(f"ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\{DISPLAY_NAME}.lnk")

    done = wine.run(installer, "/S", timeout=120)
    check(done.returncode == 0, f"the silent installer ended with {done.returncode}\n{done.stderr}")
    installed = sorted(path.name for path in folder.iterdir()) if folder.is_dir() else []
    print(f"installed into C:\\Program Files\\{DISPLAY_NAME}: {', '.join(installed)}")
    check(installed == sorted([f"{program}.exe" for program in programs] + ["Uninstall.exe", DISSECTOR]),
          f"expected {programs}, {DISSECTOR} and Uninstall.exe in {folder}, found {installed}")
    check(shortcut.is_file(), f"no Start menu entry {shortcut}")
    key = wine.run("reg", "query", UNINSTALL_KEY)
    check(key.returncode == 0 and "DisplayVersion" in key.stdout, f"no uninstall key:\n{key.stdout}")

    if "logger-update" in programs:
        helped = wine.run(folder / "logger-update.exe", "--help")
        check(helped.returncode == 0 and "search" in helped.stdout,
              f"the installed logger-update.exe --help ended with {helped.returncode}\n{helped.stdout}")
        print("the installed logger-update.exe --help ran")
    else:
        print("this build has no logger-update.exe: its --help is not run")

    done = wine.run(folder / "Uninstall.exe", "/S", timeout=120)
    check(done.returncode == 0, f"the silent uninstaller ended with {done.returncode}\n{done.stderr}")
    left = sorted(path.name for path in folder.iterdir()) if folder.exists() else []
    check(not left, f"the uninstaller left {left} in {folder}")
    check(not shortcut.exists(), f"the uninstaller left the Start menu entry {shortcut}")
    check(wine.run("reg", "query", UNINSTALL_KEY).returncode != 0, "the uninstaller left the uninstall key")
    print(f"uninstalled: C:\\Program Files\\{DISPLAY_NAME} {'is empty' if folder.exists() else 'is gone'}")


def main():
    parser = argument_parser(__doc__)
    parser.add_argument("script", type=Path)
    parser.add_argument("installer", type=Path)
    parser.add_argument("--run", action="store_true", help="install and uninstall under wine64")
    arguments = parser.parse_args()

    def body():
        script = arguments.script.read_text(encoding="utf-8-sig")
        programs = check_script(script)
        check_installer(script, arguments.installer)
        if arguments.run:
            with Run(None) as run:
                run_installer(run, arguments.installer.resolve(), programs)

    return drive(f"nsis ({arguments.installer.name})", body)


if __name__ == "__main__":
    sys.exit(main())
