# -*- coding: utf-8 -*-
# Copyright: 2026 the Logger Update Tool developers

from __future__ import (absolute_import, division, print_function)
__metaclass__ = type


class ModuleDocFragment(object):
    # The options of every module that runs logger-update on the gateway.
    DOCUMENTATION = r'''
options:
  executable:
    description:
      - The C(logger-update) program on the gateway, a path or a name looked up on the C(PATH).
    type: str
    default: logger-update
  local_address:
    description:
      - The gateway's address whose /24 subnet is searched, and whose own answers are ignored
        (C(--local-address)).
      - Without it the tool takes the gateway's first IPv4 address.
    type: str
  bind:
    description:
      - The local address both of the tool's endpoints bind (C(--bind)); without it, any.
    type: str
  wait:
    description:
      - Seconds to collect the loggers' answers to the search (C(--wait), 0 to 3600); the tool's default
        is 3.
    type: float
  rounds:
    description:
      - How often the search sends its probes, 300 ms apart (C(--rounds), 1 to 10); a logger whose answer
        was lost answers a later round. The tool's default is 3.
    type: int
    version_added: 2.0.0
  all_adapters:
    description:
      - Search the /24 subnet of every adapter of the gateway that is up, each from its own address
        (C(--all-adapters)). Not with I(local_address) or I(bind).
    type: bool
    default: false
    version_added: 2.0.0
  capture:
    description:
      - Record every datagram the tool sends and receives in this pcap file on the gateway (C(--capture)),
        for support. A file that cannot be made fails the run before anything is sent.
    type: path
    version_added: 2.0.0
notes:
  - The tool binds UDP ports 23 and 8000 on the gateway, so it runs as root or with the capability
    C(cap_net_bind_service), which the Debian package gives it; only one tool runs at a time on a gateway.
requirements:
  - C(logger-update) on the gateway (the Debian package C(logger-update-tool))
'''
