#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 the Logger Update Tool developers

from __future__ import (absolute_import, division, print_function)
__metaclass__ = type

DOCUMENTATION = r'''
module: logger_search_info
short_description: Lists the data loggers of a site
version_added: 2.0.0
description:
  - Runs C(logger-update search --json) on the site's gateway, which probes every address of the gateway's
    /24 subnet (or of every adapter's, with I(all_adapters)) and collects the loggers' answers, and returns
    the loggers found, for inventories and reports.
  - It sends the search probe only and changes nothing.
  - This module was called C(lut.logger_update_tool.logger_search) and returned facts before 2.0.0; the old
    name still works, as a deprecated redirect, and returns what this module returns.
author:
  - Logger Update Tool developers (!UNKNOWN)
extends_documentation_fragment:
  - lut.logger_update_tool.tool
attributes:
  action_group:
    description: Use C(group/lut.logger_update_tool.logger_update_tool) in C(module_defaults) to set defaults for this module.
    support: full
    membership:
      - lut.logger_update_tool.logger_update_tool
  check_mode:
    description: Can run in check mode and return changed status prediction without modifying target.
    support: full
    details: It changes nothing, so it runs in check mode as in a real run.
  diff_mode:
    description: Will return details on what has changed (or possibly needs changing in check mode).
    support: none
options: {}
'''

EXAMPLES = r'''
- name: List the loggers of each site
  lut.logger_update_tool.logger_search_info:
    wait: 5
  register: site

- name: Show the versions the site runs
  ansible.builtin.debug:
    msg: "{{ site.count }} loggers: {{ site.loggers | map(attribute='version') | unique | join(', ') }}"
'''

RETURN = r'''
loggers:
  description: One object per logger, in the order they first answered, as C(logger-update search --json) prints it.
  returned: success
  type: list
  elements: dict
  sample:
    - sn: SN0002
      ip: 192.168.1.31
      version: S2.00
      conflict: false
count:
  description: How many loggers answered.
  returned: success
  type: int
  sample: 1
cmd:
  description: The command run on the gateway.
  returned: when the tool ran
  type: list
  elements: str
rc:
  description: The tool's exit code.
  returned: when the tool ran
  type: int
stderr:
  description: What the tool wrote to its standard error, such as a warning about an address conflict.
  returned: when the tool ran
  type: str
msg:
  description: On failure, the tool's message, or why the module did not run the tool.
  returned: failure
  type: str
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.lut.logger_update_tool.plugins.module_utils.tool import (
    COMMON_ARGUMENT_SPEC, COMMON_MUTUALLY_EXCLUSIVE, run_tool, tool_message, unreadable_message)


def main():
    module = AnsibleModule(argument_spec=dict(COMMON_ARGUMENT_SPEC), mutually_exclusive=COMMON_MUTUALLY_EXCLUSIVE,
                           supports_check_mode=True)
    cmd, rc, answer, out, err = run_tool(module, 'search', [])
    if rc != 0:
        module.fail_json(msg=tool_message(rc, answer, err), rc=rc, cmd=cmd, stderr=err)
    if not isinstance(answer, list):
        module.fail_json(msg=unreadable_message(out, err), rc=rc, cmd=cmd, stderr=err)
    module.exit_json(changed=False, loggers=answer, count=len(answer), cmd=cmd, rc=rc, stderr=err)


if __name__ == '__main__':
    main()
