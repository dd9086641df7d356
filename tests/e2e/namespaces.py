"""Network namespaces on a private /24, made for one run and removed after it; and a private loopback for a
whole run.

The tool's namespace holds its end of a veth pair and a host name that resolves to that end's address, so
that the tool finds its local address as it would on a workstation; the loggers' namespace holds the other
end in a bridge, whose address list holds one address per simulated logger. A site LAN adds, on the same
bridge, a host that exists without listening (its kernel answers a probe with ICMP port unreachable) and a
router to a second subnet with loggers of its own; and a second adapter of the tool on a third subnet. No namespace holds another interface or a route beyond
the run's subnets, so nothing sent inside them can leave.
"""

import contextlib
import ipaddress
import os
import re
import secrets
import shutil
import subprocess
from pathlib import Path
from typing import NamedTuple

from harness import Failure, Skip, check, install_missing

SUBNET = ipaddress.ip_network("10.77.0.0/24")
TOOL_ADDRESS = "10.77.0.1"
TOOL_HOST_NAME = "lut-e2e-tool"
NETNS_ETC = Path("/etc/netns")  # "ip netns exec" lays /etc/netns/NAME/* over /etc/*
NAME_PATTERN = re.compile(r"^lut-e2e-(\d+)-[0-9a-f]{4}-(tool|loggers|host|router|far|second)$")
PRIVATE_NETNS = Path("/run/netns")


def _ip(*arguments, timeout=10):
    done = subprocess.run(["ip", *arguments], capture_output=True, text=True, timeout=timeout)
    if done.returncode != 0:
        raise Failure(f"ip {' '.join(arguments)}: {done.stderr.strip()}")
    return done.stdout


def _ip_in(namespace, *arguments):
    """ip in a named namespace, or in this process's own for None."""
    return _ip(*arguments) if namespace is None else _ip("-n", namespace, *arguments)


def _pid_alive(pid):
    try:
        os.kill(pid, 0)
        return True
    except ProcessLookupError:
        return False
    except PermissionError:
        return True


def _prerequisites():
    if os.geteuid() != 0:
        raise Skip("network namespaces need root (run the e2e tests as root to include this one)")
    for program in ("ip", "unshare", "sh", "hostname", "getent"):
        if shutil.which(program) is None:
            raise Skip(f"'{program}' is not installed")


class Namespaces:
    """Created by create(), removed by remove(); the names carry the process id and a random tag, so that
    parallel runs never meet and what a killed run left behind can be recognised."""

    def __init__(self, subnet=SUBNET, tool_here=False):
        """tool_here: the tool's side is this process's own namespace (a private one, see
        enter_private_loopback), where Wine's server runs, instead of a namespace of its own."""
        self.subnet = ipaddress.ip_network(subnet)
        self.tool_address = str(next(self.subnet.hosts()))
        self._tag = f"lut-e2e-{os.getpid()}-{secrets.token_hex(2)}"
        self.tool = None if tool_here else f"{self._tag}-tool"
        self.loggers = f"{self._tag}-loggers"
        self._made = []
        self._links = {self.tool: {"lo", "lut0"}, self.loggers: {"lo", "lut1", "br0"}}
        self._subnets = [self.subnet]

    def _add(self, namespace):
        _ip("netns", "add", namespace)
        self._made.append(namespace)

    def create(self, logger_addresses):
        _prerequisites()
        self._remove_stale()
        try:
            self._add(self.loggers)
        except Failure as error:
            raise Skip(f"cannot create a network namespace here: {error}") from None
        if self.tool:
            self._add(self.tool)

        # The pair is made inside the tool's namespace with its peer inside the loggers', so neither end
        # ever appears among this machine's own interfaces.
        try:
            _ip_in(self.tool, "link", "add", "lut0", "type", "veth", "peer", "name", "lut1", "netns", self.loggers)
        except Failure as error:
            raise Skip(f"cannot create a veth pair: {error}") from None
        prefix = self.subnet.prefixlen
        _ip_in(self.tool, "addr", "add", f"{self.tool_address}/{prefix}", "dev", "lut0")
        _ip("-n", self.loggers, "link", "add", "br0", "type", "bridge")
        _ip("-n", self.loggers, "link", "set", "lut1", "master", "br0")
        for address in logger_addresses:
            _ip("-n", self.loggers, "addr", "add", f"{address}/{prefix}", "dev", "br0")
        for namespace, device in ((self.tool, "lut0"), (self.loggers, "lut1"), (self.loggers, "br0")):
            _ip_in(namespace, "link", "set", "lo", "up")
            _ip_in(namespace, "link", "set", device, "up")
        self._check_sealed()
        if not self.tool:
            return

        hosts = NETNS_ETC / self.tool / "hosts"
        hosts.parent.mkdir(parents=True, exist_ok=True)
        hosts.write_text(f"127.0.0.1\tlocalhost\n{self.tool_address}\t{TOOL_HOST_NAME}\n")
        entered = subprocess.run(self.run_in_tool(["true"]), capture_output=True, text=True, timeout=10)
        if entered.returncode != 0:
            raise Skip(f"cannot run a program inside a network namespace with a host name of its own: "
                       f"{entered.stderr.strip()}")

    def attach(self, role, address):
        """A namespace of its own (role: "host" or "router") with one address on the loggers' bridge and
        nothing listening; returns its name."""
        namespace = f"{self._tag}-{role}"
        self._add(namespace)
        _ip("-n", namespace, "link", "add", "lan0", "type", "veth", "peer", "name", role, "netns", self.loggers)
        _ip("-n", namespace, "addr", "add", f"{address}/{self.subnet.prefixlen}", "dev", "lan0")
        _ip("-n", self.loggers, "link", "set", role, "master", "br0")
        for device in ("lo", "lan0"):
            _ip("-n", namespace, "link", "set", device, "up")
        _ip("-n", self.loggers, "link", "set", role, "up")
        self._links[namespace] = {"lo", "lan0"}
        self._links[self.loggers].add(role)
        self._check_sealed()
        return namespace

    def add_router(self, address, far_subnet, far_addresses):
        """A router at address on the bridge, forwarding to far_subnet, where a namespace of its own holds
        far_addresses; the tool's namespace reaches the far subnet through the router. Returns the far
        namespace's name."""
        far_subnet = ipaddress.ip_network(far_subnet)
        router = self.attach("router", address)
        far = f"{self._tag}-far"
        self._add(far)
        gateway = str(next(far_subnet.hosts()))
        _ip("-n", router, "link", "add", "wan0", "type", "veth", "peer", "name", "far0", "netns", far)
        _ip("-n", router, "addr", "add", f"{gateway}/{far_subnet.prefixlen}", "dev", "wan0")
        for far_address in far_addresses:
            _ip("-n", far, "addr", "add", f"{far_address}/{far_subnet.prefixlen}", "dev", "far0")
        _ip("-n", router, "link", "set", "wan0", "up")
        for device in ("lo", "far0"):
            _ip("-n", far, "link", "set", device, "up")
        subprocess.run(["ip", "netns", "exec", router, "sysctl", "-qw", "net.ipv4.ip_forward=1"], check=True,
                       timeout=10)
        _ip("-n", far, "route", "add", str(self.subnet), "via", gateway)
        _ip_in(self.tool, "route", "add", str(far_subnet), "via", address)
        self._links[router].add("wan0")
        self._links[far] = {"lo", "far0"}
        self._subnets.append(far_subnet)
        self._check_sealed()
        return far

    def add_adapter(self, subnet, logger_addresses):
        """A second adapter of the tool's namespace (lut2, the subnet's first address) on a subnet of its own,
        whose other end, in a namespace of its own, holds logger_addresses; returns that namespace's name."""
        subnet = ipaddress.ip_network(subnet)
        second = f"{self._tag}-second"
        self._add(second)
        _ip_in(self.tool, "link", "add", "lut2", "type", "veth", "peer", "name", "sec0", "netns", second)
        _ip_in(self.tool, "addr", "add", f"{next(subnet.hosts())}/{subnet.prefixlen}", "dev", "lut2")
        for address in logger_addresses:
            _ip("-n", second, "addr", "add", f"{address}/{subnet.prefixlen}", "dev", "sec0")
        _ip_in(self.tool, "link", "set", "lut2", "up")
        for device in ("lo", "sec0"):
            _ip("-n", second, "link", "set", device, "up")
        self._links[self.tool].add("lut2")
        self._links[second] = {"lo", "sec0"}
        self._subnets.append(subnet)
        self._check_sealed()
        return second

    def _check_sealed(self):
        """Every interface of each namespace is one this run made, and every route leads into its subnets."""
        for namespace, expected in self._links.items():
            links = {line.split(":")[1].strip().split("@")[0]
                     for line in _ip_in(namespace, "-o", "link", "show").splitlines()}
            check(links == expected, f"namespace {namespace or 'of the tool'} holds interfaces {sorted(links)}")
            routes = _ip_in(namespace, "-4", "route", "show").splitlines()
            check(all(any(route.startswith(f"{subnet} ") for subnet in self._subnets) for route in routes),
                  f"namespace {namespace} has routes beyond {[str(s) for s in self._subnets]}: {routes}")

    def run_in_tool(self, argv):
        """argv run in the tool's namespace under its own host name (a UTS namespace of its own)."""
        if not self.tool:
            return argv
        return ["ip", "netns", "exec", self.tool, "unshare", "--uts", "sh", "-c",
                'hostname "$0" && exec "$@"', TOOL_HOST_NAME, *argv]

    def run_in_loggers(self, argv):
        return self.run_in(self.loggers, argv)

    @staticmethod
    def run_in(namespace, argv):
        return ["ip", "netns", "exec", namespace, *argv]

    def resolved_tool_address(self):
        """What the tool's host name resolves to inside its namespace."""
        done = subprocess.run(self.run_in_tool(["getent", "ahostsv4", TOOL_HOST_NAME]), capture_output=True,
                              text=True, timeout=10)
        return done.stdout.split()[0] if done.returncode == 0 and done.stdout else done.stderr.strip()

    def remove(self):
        """Deleting a namespace deletes the veth ends inside it; its host files go with it."""
        for namespace in reversed(self._made):
            with contextlib.suppress(Failure, subprocess.TimeoutExpired):
                _ip("netns", "delete", namespace)
        self._made.clear()
        if self.tool:
            shutil.rmtree(NETNS_ETC / self.tool, ignore_errors=True)
        with contextlib.suppress(OSError):  # left alone while it holds anything
            NETNS_ETC.rmdir()

    def _remove_stale(self):
        """Removes the namespaces of earlier runs whose process is gone (a run killed before its clean-up)."""
        for line in _ip("netns", "list").splitlines():
            name = line.split()[0] if line.strip() else ""
            match = NAME_PATTERN.match(name)
            if match and not _pid_alive(int(match.group(1))):
                with contextlib.suppress(Failure):
                    _ip("netns", "delete", name)
                shutil.rmtree(NETNS_ETC / name, ignore_errors=True)


PRIVATE_LOOPBACK = "LUT_E2E_PRIVATE_LOOPBACK"


def enter_private_loopback(argv):
    """Runs the rest of this process in a network namespace of its own with only loopback up, and a folder of
    its own for Wine's server sockets (not a whole private /tmp, which would hide a source tree under /tmp):
    Wine's server then starts afresh in the namespace and makes the Windows program's sockets there. The
    first call re-executes argv inside `unshare`; the namespace ends with the process."""
    if os.environ.get(PRIVATE_LOOPBACK) == "1":
        server = f"/tmp/.wine-{os.geteuid()}"
        os.makedirs(server, mode=0o700, exist_ok=True)
        subprocess.run(["mount", "-t", "tmpfs", "-o", "mode=0700", "tmpfs", server], check=True, timeout=10)
        # Some builds of Wine keep the server's folder under $TMPDIR, in a folder whose name the prefix
        # holds, instead: there a server of the prefix outside the namespace would serve the program here,
        # and make its sockets in its own network namespace.
        os.environ["TMPDIR"] = server
        _ip("link", "set", "lo", "up")
        # Named namespaces made from here live in this mount namespace only.
        PRIVATE_NETNS.mkdir(parents=True, exist_ok=True)
        subprocess.run(["mount", "-t", "tmpfs", "tmpfs", str(PRIVATE_NETNS)], check=True, timeout=10)
        return
    if os.geteuid() != 0:
        raise Skip("a private network namespace needs root (run the e2e tests as root to include this one)")
    for program in ("ip", "unshare", "mount"):
        if shutil.which(program) is None:
            raise Skip(f"'{program}' is not installed")
    os.environ[PRIVATE_LOOPBACK] = "1"
    os.execvp("unshare", ["unshare", "-n", "-m", *argv])


def enter_private_sites(argv, packages):
    """Installs the packages missing, while the machine's network is still there, then runs the rest of this
    process as enter_private_loopback does, in a network namespace of its own (the controller's) with a
    private /run/netns in which Sites makes the sites' namespaces: they all end with the process."""
    if os.environ.get(PRIVATE_LOOPBACK) != "1":
        install_missing(packages)
    enter_private_loopback(argv)
    os.makedirs("/run/netns", mode=0o755, exist_ok=True)
    subprocess.run(["mount", "-t", "tmpfs", "tmpfs", "/run/netns"], check=True, timeout=10)


SITE_SUBNETS = ("192.0.2.0/24", "198.51.100.0/24", "203.0.113.0/24")


class Site(NamedTuple):
    name: str  # the namespace's and the inventory's
    subnet: ipaddress.IPv4Network
    controller: str  # .254: the controller's end of the site's veth pair
    gateway: str  # .1: the gateway's, where its SSH server and logger-update listen
    loggers: list  # the simulated loggers' addresses, on the site's end too


class Sites:
    """One network namespace a site, each joined to the controller's (this process's, entered with
    enter_private_sites) by a veth pair on the site's /24; the site's end holds the gateway's address and
    its loggers'. No namespace holds an interface or a route beyond its pairs and subnets."""

    def __init__(self, names, loggers_per_site):
        self.sites = []
        for index, name in enumerate(names):
            subnet = ipaddress.ip_network(SITE_SUBNETS[index])
            hosts = list(subnet.hosts())
            self.sites.append(Site(name, subnet, str(hosts[-1]), str(hosts[0]),
                                   [str(hosts[9 + n]) for n in range(loggers_per_site)]))

    def create(self):
        check(os.environ.get(PRIVATE_LOOPBACK) == "1", "sites are made inside enter_private_sites only")
        for index, site in enumerate(self.sites):
            try:
                _ip("netns", "add", site.name)
                _ip("link", "add", "name", f"site{index}", "type", "veth", "peer", "name", "gw", "netns",
                    site.name)
            except Failure as error:
                raise Skip(f"cannot create a site's namespace and veth pair: {error}") from None
            prefix = site.subnet.prefixlen
            _ip("addr", "add", f"{site.controller}/{prefix}", "dev", f"site{index}")
            _ip("link", "set", f"site{index}", "up")
            for address in [site.gateway, *site.loggers]:
                _ip("-n", site.name, "addr", "add", f"{address}/{prefix}", "dev", "gw")
            _ip("-n", site.name, "link", "set", "lo", "up")
            _ip("-n", site.name, "link", "set", "gw", "up")
        self._check_sealed()

    def _check_sealed(self):
        places = [([], {"lo", *(f"site{i}" for i in range(len(self.sites)))},
                   {str(site.subnet) for site in self.sites})]
        places += [(["-n", site.name], {"lo", "gw"}, {str(site.subnet)}) for site in self.sites]
        for namespace, devices, subnets in places:
            links = {line.split(":")[1].strip().split("@")[0]
                     for line in _ip(*namespace, "-o", "link", "show").splitlines()}
            check(links == devices, f"namespace {namespace} holds interfaces {sorted(links)}")
            routes = {route.split()[0] for route in _ip(*namespace, "-4", "route", "show").splitlines()}
            check(routes == subnets, f"namespace {namespace} has the routes {sorted(routes)}")

    @staticmethod
    def run_in(site, argv):
        return ["ip", "netns", "exec", site.name, *argv]
