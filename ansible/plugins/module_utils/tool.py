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
)

_COMMON_FLAGS = (('local_address', '--local-address'), ('bind', '--bind'), ('wait', '--wait'))


def value_flags(params, flags):
    """--flag VALUE for every parameter given."""
    argv = []
    for name, flag in flags:
        if params.get(name) is not None:
            argv += [flag, str(params[name])]
    return argv


def run_tool(module, command, arguments):
    """logger-update COMMAND ARGUMENTS... --json. Returns the command, its exit code, the JSON value it
    printed (None when it printed none, as for bad arguments) and its standard error."""
    executable = module.params['executable']
    if '/' not in executable:
        executable = module.get_bin_path(executable, required=True)
    argv = [executable, command] + arguments + value_flags(module.params, _COMMON_FLAGS) + ['--json']
    rc, out, err = module.run_command(argv)
    try:
        answer = json.loads(out)
    except ValueError:
        answer = None
    return argv, rc, answer, err


def tool_message(rc, answer, err):
    """The tool's own words for a run that ended with a non-zero exit code: the message of the logger whose
    failure set the exit code, the message of a run that ended before any logger, or standard error."""
    if isinstance(answer, dict) and answer.get('message'):
        return answer['message']
    if isinstance(answer, list):
        failures = [logger for logger in answer if logger.get('exitCode') not in (None, 0)]
        first = next((logger for logger in failures if logger.get('exitCode') == rc), None)
        first = first or (failures[0] if failures else None)
        if first is not None:
            return '%s at %s: %s' % (first.get('sn'), first.get('logger'), first.get('message'))
    return err.strip() or 'logger-update ended with exit code %d' % rc
