# -*- coding: utf-8 -*-
# Copyright: 2026 the Logger Update Tool developers
"""Runs logger-update on the gateway with --json and turns its answer into a module's result."""

from __future__ import (absolute_import, division, print_function)
__metaclass__ = type

import json

# The options both modules pass to the tool alike, documented by the doc fragment lut.logger_update_tool.tool.
COMMON_ARGUMENT_SPEC = dict(
    executable=dict(type='str', default='logger-update'),
    local_address=dict(type='str'),
    bind=dict(type='str'),
    wait=dict(type='float'),
    rounds=dict(type='int'),
    all_adapters=dict(type='bool', default=False),
    capture=dict(type='path'),
)

# The tool sweeps every adapter from the adapter's own address, so an address of one's own makes no sense.
COMMON_MUTUALLY_EXCLUSIVE = [('all_adapters', 'local_address'), ('all_adapters', 'bind')]

# The ranges the tool accepts, checked before anything runs on the gateway: (option, lowest, highest).
COMMON_RANGES = (('wait', 0, 3600), ('rounds', 1, 10))

_COMMON_FLAGS = (('local_address', '--local-address'), ('bind', '--bind'), ('wait', '--wait'),
                 ('rounds', '--rounds'), ('capture', '--capture'))


def out_of_range(params, ranges):
    """The message for the first option outside its range, or None."""
    for name, lowest, highest in ranges:
        value = params.get(name)
        if value is not None and not lowest <= value <= highest:
            return '%s must be between %s and %s, not %s' % (name, lowest, highest, value)
    return None


def value_flags(params, flags):
    """--flag VALUE for every parameter given."""
    argv = []
    for name, flag in flags:
        if params.get(name) is not None:
            argv += [flag, str(params[name])]
    return argv


def tool_arguments(params, arguments):
    """The arguments after the command: the command's own, then the common options given, then --json."""
    argv = arguments + value_flags(params, _COMMON_FLAGS)
    if params.get('all_adapters'):
        argv.append('--all-adapters')
    return argv + ['--json']


def run_tool(module, command, arguments, ranges=()):
    """logger-update COMMAND ARGUMENTS... --json, after the range checks of the common options and `ranges`.
    Returns the command, its exit code, the JSON value it printed (None when it printed none, as for bad
    arguments), its standard output and its standard error."""
    problem = out_of_range(module.params, COMMON_RANGES + tuple(ranges))
    if problem:
        module.fail_json(msg=problem)
    executable = module.params['executable']
    if '/' not in executable:
        executable = module.get_bin_path(executable, required=True)
    argv = [executable, command] + tool_arguments(module.params, arguments)
    rc, out, err = module.run_command(argv)
    try:
        answer = json.loads(out)
    except ValueError:
        answer = None
    return argv, rc, answer, out, err


def unreadable_message(out, err):
    """The failure of a run that ended with exit code 0 but printed nothing the module can read."""
    shown = (out.strip() or err.strip())[:200]
    return 'logger-update ended with exit code 0 but printed no result that can be read%s' % (
        ': ' + shown if shown else '')


def tool_message(rc, answer, err):
    """The tool's own words for a run that ended with a non-zero exit code: the message of the logger whose
    failure set the exit code, the message of a run that ended before any logger, or standard error."""
    if isinstance(answer, dict) and answer.get('message'):
        return answer['message']
    if isinstance(answer, list):
        failures = [logger for logger in answer if isinstance(logger, dict)
                    and logger.get('exitCode') not in (None, 0)]
        first = next((logger for logger in failures if logger.get('exitCode') == rc), None)
        first = first or (failures[0] if failures else None)
        if first is not None:
            return '%s at %s: %s' % (first.get('sn'), first.get('logger'), first.get('message'))
    return err.strip() or 'logger-update ended with exit code %d' % rc
