#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 the Logger Update Tool developers

from __future__ import (absolute_import, division, print_function)
__metaclass__ = type

DOCUMENTATION = r'''
module: logger_update
short_description: Updates every data logger of a site from its gateway
version_added: 1.0.0
description:
  - Runs C(logger-update update --all --json) on the site's gateway. The tool searches the gateway's /24
    subnet, then loads the update file into every logger whose version differs from the file's (or sorts
    below I(below)), several at once, and checks each logger's version afterwards.
  - A logger that already runs the file's version is left alone, so a second run with the same file changes
    nothing.
  - In check mode the tool runs with C(--dry-run), which searches and lists the loggers it would update,
    and sends nothing else.
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
options:
  file:
    description:
      - The update file on the gateway. Its name begins with C(S); the version sent is the name without its
        extension (C(S3.00.bin) sends C(S3.00)).
    type: path
    required: true
  below:
    description:
      - Update only the loggers whose version sorts below this one (C(--below)); runs of digits compare as
        numbers, so C(S1.9) sorts below C(S1.10).
    type: str
  expect:
    description:
      - The number of loggers the site has (C(--expect)); when the search finds fewer, the tool updates none
        and fails.
    type: int
  parallel:
    description:
      - Loggers updated at the same time (C(--parallel)); the tool's default is 8.
    type: int
  canary:
    description:
      - Update the first N loggers alone; the others start only once all N completed and were verified
        (C(--canary)).
    type: int
  max_failures:
    description:
      - Start no further logger once this many have failed (C(--max-failures)).
    type: int
  keep_going:
    description:
      - Go on with the other loggers after a failure, without limit (C(--keep-going)). Without it and without
        I(max_failures), the first failure starts no further logger.
    type: bool
    default: false
  verify:
    description:
      - Ask each logger for its version after "Update complete" and fail when it is not the version sent.
        C(false) passes C(--no-verify).
    type: bool
    default: true
  verify_wait:
    description:
      - Seconds to wait for a logger's answer to that question (C(--verify-wait)); the tool's default is 60,
        time for a logger to restart into its new image.
    type: float
'''

EXAMPLES = r'''
- name: Update every logger of the site to S3.00
  lut.logger_update_tool.logger_update:
    file: /var/lib/logger-update/S3.00.bin
    parallel: 16
    canary: 1
  register: site

- name: Update only the loggers older than S2.00, on the site network's address
  lut.logger_update_tool.logger_update:
    file: /var/lib/logger-update/S2.00.bin
    below: S2.00
    local_address: 192.168.1.20
    keep_going: true
'''

RETURN = r'''
changed:
  description:
    - Whether at least one logger said "Update complete"; in check mode, whether at least one would be
      updated.
  returned: always
  type: bool
loggers:
  description:
    - One object per logger the tool chose to update, in the tool's order, as C(logger-update update --all
      --json) prints it. Loggers that already run the file's version are not listed.
    - In check mode each object holds C(sn), C(ip), C(version) and C(versionSent).
  returned: always
  type: list
  elements: dict
  sample:
    - sn: SN0002
      logger: 192.168.1.31
      result: complete
      exitCode: 0
      message: "Verified: SN0002 at 192.168.1.31 now runs S3.00"
      versionBefore: S2.00
      versionAfter: S3.00
      verified: true
      blocks: 25
      blocksSent: 25
      blocksResent: 0
      sendFailures: 0
      seconds: 12.0
rc:
  description: The tool's exit code; 0 when every logger was updated (and verified).
  returned: always
  type: int
cmd:
  description: The command run on the gateway.
  returned: always
  type: list
  elements: str
msg:
  description: On failure, the tool's message; for a logger, its serial number and address first.
  returned: failure
  type: str
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.lut.logger_update_tool.plugins.module_utils.tool import (
    COMMON_ARGUMENT_SPEC, run_tool, tool_message, value_flags)

# The results of loggers that said "Update complete": each now holds the file, whether or not the check after
# it succeeded.
UPDATED_RESULTS = frozenset(('complete', 'not-verified', 'no-verify-answer'))

_VALUE_FLAGS = (('below', '--below'), ('expect', '--expect'), ('parallel', '--parallel'),
                ('canary', '--canary'), ('max_failures', '--max-failures'), ('verify_wait', '--verify-wait'))


def main():
    module = AnsibleModule(
        argument_spec=dict(
            COMMON_ARGUMENT_SPEC,
            file=dict(type='path', required=True),
            below=dict(type='str'),
            expect=dict(type='int'),
            parallel=dict(type='int'),
            canary=dict(type='int'),
            max_failures=dict(type='int'),
            keep_going=dict(type='bool', default=False),
            verify=dict(type='bool', default=True),
            verify_wait=dict(type='float'),
        ),
        supports_check_mode=True,
    )
    params = module.params
    arguments = ['--all', '--file', params['file']] + value_flags(params, _VALUE_FLAGS)
    if params['keep_going']:
        arguments.append('--keep-going')
    if not params['verify']:
        arguments.append('--no-verify')
    if module.check_mode:
        arguments.append('--dry-run')

    cmd, rc, answer, err = run_tool(module, 'update', arguments)
    loggers = answer if isinstance(answer, list) else []
    if module.check_mode:
        changed = bool(loggers)
    else:
        changed = any(logger.get('result') in UPDATED_RESULTS for logger in loggers)
    if rc != 0:
        module.fail_json(msg=tool_message(rc, answer, err), rc=rc, loggers=loggers, changed=changed, cmd=cmd,
                         stderr=err)
    module.exit_json(changed=changed, loggers=loggers, rc=rc, cmd=cmd)


if __name__ == '__main__':
    main()
