#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 the Logger Update Tool developers

from __future__ import (absolute_import, division, print_function)
__metaclass__ = type

DOCUMENTATION = r'''
module: logger_search
short_description: Lists the data loggers of a site, as facts
version_added: 1.0.0
description:
  - Runs C(logger-update search --json) on the site's gateway, which probes every address of the gateway's
    /24 subnet and collects the loggers' answers, and returns the loggers found as facts, for inventories
    and reports.
  - It sends the search probe only and changes nothing.
author:
  - Logger Update Tool developers (!UNKNOWN)
extends_documentation_fragment:
  - lut.logger_update_tool.tool
attributes:
  check_mode:
    description: Can run in check mode and return changed status prediction without modifying target.
    support: full
  diff_mode:
    description: Will return details on what has changed (or possibly needs changing in check mode).
    support: none
  facts:
    description: Action returns an C(ansible_facts) dictionary that will update existing host facts.
    support: full
options: {}
'''

EXAMPLES = r'''
- name: List the loggers of each site
  lut.logger_update_tool.logger_search:
    wait: 5

- name: Show the versions the site runs
  ansible.builtin.debug:
    msg: "{{ logger_count }} loggers: {{ loggers | map(attribute='version') | unique | join(', ') }}"
'''

RETURN = r'''
ansible_facts:
  description: The search's result.
  returned: success
  type: dict
  contains:
    loggers:
      description: One object per logger, in the order they first answered.
      type: list
      elements: dict
      sample:
        - sn: SN0002
          ip: 192.168.1.31
          version: S2.00
    logger_count:
      description: How many loggers answered.
      type: int
      sample: 1
loggers:
  description: The same list as the fact C(loggers).
  returned: success
  type: list
  elements: dict
count:
  description: How many loggers answered.
  returned: success
  type: int
cmd:
  description: The command run on the gateway.
  returned: always
  type: list
  elements: str
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.lut.logger_update_tool.plugins.module_utils.tool import (
    COMMON_ARGUMENT_SPEC, run_tool, tool_message)


def main():
    module = AnsibleModule(argument_spec=dict(COMMON_ARGUMENT_SPEC), supports_check_mode=True)
    cmd, rc, answer, err = run_tool(module, 'search', [])
    if rc != 0 or not isinstance(answer, list):
        module.fail_json(msg=tool_message(rc, answer, err), rc=rc, cmd=cmd, stderr=err)
    module.exit_json(changed=False, loggers=answer, count=len(answer), cmd=cmd,
                     ansible_facts=dict(loggers=answer, logger_count=len(answer)))


if __name__ == '__main__':
    main()
