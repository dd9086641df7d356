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
    below I(below)), several at once, and checks each logger's version afterwards. With I(loggers) it
    probes those addresses instead of searching.
  - A logger that already runs the file's version is left alone, so a second run with the same file changes
    nothing.
  - In check mode the tool runs with C(--dry-run), which searches and lists the loggers it would update,
    and sends nothing else; the file must be on the gateway for that too.
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
  checksum:
    description:
      - The approved file's checksum, as C(sha256:HEX) (the spelling of M(ansible.builtin.get_url)). A file
        whose SHA-256 differs is refused before anything is sent, with its own SHA-256 in the message
        (C(--sha256)).
      - Only C(sha256) is known to the tool.
    type: str
    version_added: 2.0.0
  loggers:
    description:
      - The addresses of the loggers to update (C(--logger), repeated), instead of every logger the search
        finds. Each address is probed directly, so loggers behind a router are reached.
    type: list
    elements: str
    version_added: 2.0.0
  below:
    description:
      - Update only the loggers whose version sorts below this one (C(--below)); runs of digits compare as
        numbers, so C(S1.9) sorts below C(S1.10).
    type: str
  expect:
    description:
      - The number of loggers the site has (C(--expect), 1 to 65535); when the search finds fewer, the tool
        updates none and fails. Not with I(loggers).
    type: int
  parallel:
    description:
      - Loggers updated at the same time (C(--parallel), 1 to 254); the tool's default is 8.
    type: int
  canary:
    description:
      - Update the first N loggers alone (1 to 254); the others start only once all N completed and were
        verified (C(--canary)).
    type: int
  max_failures:
    description:
      - Start no further logger once this many have failed (C(--max-failures), 1 to 254). Not with
        I(keep_going).
    type: int
  keep_going:
    description:
      - Go on with the other loggers after a failure, without limit (C(--keep-going)). Without it and without
        I(max_failures), the first failure starts no further logger. Not with I(max_failures).
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
      - Seconds to wait for a logger's answer to that question (C(--verify-wait), 0 to 3600); the tool's
        default is 60, time for a logger to restart into its new image.
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

- name: Update two loggers behind a router, only with the approved image
  lut.logger_update_tool.logger_update:
    file: /var/lib/logger-update/S3.00.bin
    checksum: sha256:89f4ff56a25dd1db06a4ce6033603775d705fb96f30f8693733fef602a1ca532
    loggers: [10.30.0.11, 10.30.0.12]
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
    - In check mode each object holds C(sn), C(logger), C(version) (the logger's) and C(versionSent).
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
  returned: when the tool ran
  type: int
cmd:
  description: The command run on the gateway.
  returned: when the tool ran
  type: list
  elements: str
stderr:
  description: What the tool wrote to its standard error, such as the failures of single loggers.
  returned: when the tool ran
  type: str
msg:
  description:
    - On failure, the tool's message (for a logger, its serial number and address first), or why the
      module did not run the tool.
  returned: failure
  type: str
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.lut.logger_update_tool.plugins.module_utils.tool import (
    COMMON_ARGUMENT_SPEC, COMMON_MUTUALLY_EXCLUSIVE, run_tool, tool_message, unreadable_message, value_flags)

# The results of loggers that said "Update complete": each now holds the file, whether or not the check after
# it succeeded.
UPDATED_RESULTS = frozenset(('complete', 'not-verified', 'no-verify-answer'))

_VALUE_FLAGS = (('below', '--below'), ('expect', '--expect'), ('parallel', '--parallel'),
                ('canary', '--canary'), ('max_failures', '--max-failures'), ('verify_wait', '--verify-wait'))

_RANGES = (('expect', 1, 65535), ('parallel', 1, 254), ('canary', 1, 254), ('max_failures', 1, 254),
           ('verify_wait', 0, 3600))

ARGUMENT_SPEC = dict(
    COMMON_ARGUMENT_SPEC,
    file=dict(type='path', required=True),
    checksum=dict(type='str'),
    loggers=dict(type='list', elements='str'),
    below=dict(type='str'),
    expect=dict(type='int'),
    parallel=dict(type='int'),
    canary=dict(type='int'),
    max_failures=dict(type='int'),
    keep_going=dict(type='bool', default=False),
    verify=dict(type='bool', default=True),
    verify_wait=dict(type='float'),
)

MUTUALLY_EXCLUSIVE = COMMON_MUTUALLY_EXCLUSIVE + [('keep_going', 'max_failures'), ('loggers', 'expect'),
                                                  ('loggers', 'all_adapters')]


def sha256_of(checksum):
    """The hexadecimal digits of C(sha256:HEX), lower-case; raises ValueError for anything else."""
    algorithm, _, digest = checksum.partition(':')
    digest = digest.strip().lower()
    if algorithm.strip().lower() != 'sha256' or len(digest) != 64 or any(c not in '0123456789abcdef' for c in digest):
        raise ValueError('checksum must be sha256: and 64 hexadecimal digits, not %r' % checksum)
    return digest


def update_arguments(params, check_mode):
    """The arguments of logger-update update, before the common options."""
    if params['loggers']:
        argv = [argument for address in params['loggers'] for argument in ('--logger', address)]
    else:
        argv = ['--all']
    argv += ['--file', params['file']] + value_flags(params, _VALUE_FLAGS)
    if params['checksum']:
        argv += ['--sha256', sha256_of(params['checksum'])]
    if params['keep_going']:
        argv.append('--keep-going')
    if not params['verify']:
        argv.append('--no-verify')
    if check_mode:
        argv.append('--dry-run')
    return argv


def logger_of(entry):
    """A logger of the dry run under the key of a real run: its address is C(logger) in both."""
    entry = dict(entry)
    if 'logger' not in entry and 'ip' in entry:
        entry['logger'] = entry.pop('ip')
    return entry


def main():
    module = AnsibleModule(argument_spec=ARGUMENT_SPEC, mutually_exclusive=MUTUALLY_EXCLUSIVE,
                           supports_check_mode=True)
    try:
        arguments = update_arguments(module.params, module.check_mode)
    except ValueError as error:
        module.fail_json(msg=str(error))

    cmd, rc, answer, out, err = run_tool(module, 'update', arguments, _RANGES)
    readable = isinstance(answer, list) and all(isinstance(logger, dict) for logger in answer)
    loggers = [logger_of(logger) for logger in answer] if readable else []
    if module.check_mode:
        changed = bool(loggers)
    else:
        changed = any(logger.get('result') in UPDATED_RESULTS for logger in loggers)
    if rc != 0:
        module.fail_json(msg=tool_message(rc, answer, err), rc=rc, loggers=loggers, changed=changed, cmd=cmd,
                         stderr=err)
    if not readable:
        module.fail_json(msg=unreadable_message(out, err), rc=rc, loggers=[], changed=False, cmd=cmd, stderr=err)
    module.exit_json(changed=changed, loggers=loggers, rc=rc, cmd=cmd, stderr=err)


if __name__ == '__main__':
    main()
