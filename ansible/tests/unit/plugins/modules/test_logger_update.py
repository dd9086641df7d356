# -*- coding: utf-8 -*-
# Copyright: 2026 the Logger Update Tool developers
"""The modules that run logger-update, against a stand-in for the tool that prints what a test gives it and
writes down the arguments it was called with."""

from __future__ import (absolute_import, division, print_function)
__metaclass__ = type

import json

import pytest

from ansible.module_utils import basic
from ansible.module_utils.common.text.converters import to_bytes
from ansible_collections.lut.logger_update_tool.plugins.modules import logger_search_info, logger_update

TOOL = '''#!/bin/sh
printf '%s\\n' "$@" > "$LUT_ARGV"
printf '%s' "$LUT_OUT"
printf '%s' "$LUT_ERR" >&2
exit "$LUT_RC"
'''

SHA256 = '89f4ff56a25dd1db06a4ce6033603775d705fb96f30f8693733fef602a1ca532'
COMPLETE = {'sn': 'SN0002', 'logger': '192.168.1.31', 'result': 'complete', 'exitCode': 0,
            'message': 'Verified: SN0002 at 192.168.1.31 now runs S3.00'}
REFUSED = {'sn': 'SN0003', 'logger': '192.168.1.32', 'result': 'refused', 'exitCode': 5, 'message': 'Same Version'}


@pytest.fixture
def run(tmp_path, monkeypatch, capsys):
    """Runs a module with the arguments given and the tool's answer; returns its result and the tool's
    arguments (None when the tool did not run)."""
    tool = tmp_path / 'logger-update'
    tool.write_text(TOOL)
    tool.chmod(0o755)
    argv = tmp_path / 'argv'

    def run_module(module, args, out='', rc=0, err='', check_mode=False):
        monkeypatch.setenv('LUT_ARGV', str(argv))
        monkeypatch.setenv('LUT_OUT', out if isinstance(out, str) else json.dumps(out))
        monkeypatch.setenv('LUT_ERR', err)
        monkeypatch.setenv('LUT_RC', str(rc))
        args = dict(args, executable=str(tool), _ansible_check_mode=check_mode)
        monkeypatch.setattr(basic, '_ANSIBLE_ARGS', to_bytes(json.dumps({'ANSIBLE_MODULE_ARGS': args})))
        with pytest.raises(SystemExit):
            module.main()
        result = json.loads(capsys.readouterr().out)
        called = argv.read_text().splitlines() if argv.exists() else None
        return result, called

    return run_module


@pytest.mark.parametrize('args, check_mode, expected', [
    ({}, False, ['--all', '--file', 'S3.00.bin', '--json']),
    ({'loggers': ['10.0.0.2', '10.0.0.3'], 'below': 'S3.00', 'parallel': 16, 'canary': 1, 'max_failures': 2,
      'verify': False, 'verify_wait': 5, 'rounds': 5, 'wait': 1.5, 'capture': '/tmp/run.pcap'}, False,
     ['--logger', '10.0.0.2', '--logger', '10.0.0.3', '--file', 'S3.00.bin', '--below', 'S3.00',
      '--parallel', '16', '--canary', '1', '--max-failures', '2', '--verify-wait', '5.0', '--no-verify',
      '--wait', '1.5', '--rounds', '5', '--capture', '/tmp/run.pcap', '--json']),
    ({'expect': 12, 'keep_going': True, 'all_adapters': True, 'checksum': 'SHA256:' + SHA256.upper()}, True,
     ['--all', '--file', 'S3.00.bin', '--expect', '12', '--sha256', SHA256, '--keep-going', '--dry-run',
      '--all-adapters', '--json']),
    ({'local_address': '192.168.1.20', 'bind': '192.168.1.20'}, False,
     ['--all', '--file', 'S3.00.bin', '--local-address', '192.168.1.20', '--bind', '192.168.1.20', '--json']),
])
def test_an_option_given_becomes_the_tools_and_one_not_given_is_not_passed(run, args, check_mode, expected):
    result, called = run(logger_update, dict(args, file='S3.00.bin'), out=[], check_mode=check_mode)
    assert not result.get('failed'), result
    assert called == ['update'] + expected


@pytest.mark.parametrize('args, message', [
    ({'keep_going': True, 'max_failures': 2}, 'mutually exclusive'),
    ({'loggers': ['10.0.0.2'], 'expect': 2}, 'mutually exclusive'),
    ({'all_adapters': True, 'local_address': '10.0.0.1'}, 'mutually exclusive'),
    ({'parallel': 0}, 'parallel must be between 1 and 254, not 0'),
    ({'parallel': 255}, 'parallel must be between 1 and 254'),
    ({'canary': 0}, 'canary must be between 1 and 254'),
    ({'rounds': 11}, 'rounds must be between 1 and 10'),
    ({'verify_wait': -1}, 'verify_wait must be between 0 and 3600'),
    ({'checksum': 'md5:' + SHA256[:32]}, 'checksum must be sha256:'),
    ({'checksum': 'sha256:' + SHA256[:63]}, 'checksum must be sha256:'),
])
def test_options_the_tool_would_refuse_fail_before_it_runs(run, args, message):
    result, called = run(logger_update, dict(args, file='S3.00.bin'), out=[])
    assert result['failed'] and message in result['msg'], result
    assert called is None


@pytest.mark.parametrize('out, rc, err, failed, changed, message', [
    ([COMPLETE], 0, '', False, True, None),
    ([], 0, '', False, False, None),
    ([dict(COMPLETE, exitCode=0), REFUSED], 5, '', True, True, 'SN0003 at 192.168.1.32: Same Version'),
    ({'result': 'check-failed', 'exitCode': 4, 'message': 'S3.00.bin is not the approved file: its SHA-256 '
      'is ' + SHA256 + ', not ' + '0' * 64 + '.'}, 4, '', True, False, 'its SHA-256 is ' + SHA256),
    ('', 1, 'update: --file: File does not exist', True, False, 'File does not exist'),
    ('Segmentation fault', 0, '', True, False, 'no result that can be read: Segmentation fault'),
    ('{"result": "complete"}', 0, '', True, False, 'no result that can be read'),
])
def test_the_tools_answer_decides_changed_and_failed_with_its_own_words(run, out, rc, err, failed, changed,
                                                                         message):
    result, _ = run(logger_update, {'file': 'S3.00.bin'}, out=out, rc=rc, err=err)
    assert bool(result.get('failed')) == failed and result['changed'] == changed, result
    assert message is None or message in result['msg'], result
    assert result['stderr'] == err


def test_check_mode_names_each_logger_as_a_real_run_does(run):
    would = {'sn': 'SN0002', 'ip': '192.168.1.31', 'version': 'S2.00', 'versionSent': 'S3.00'}
    result, called = run(logger_update, {'file': 'S3.00.bin'}, out=[would], check_mode=True)
    assert '--dry-run' in called and result['changed']
    assert result['loggers'] == [{'sn': 'SN0002', 'logger': '192.168.1.31', 'version': 'S2.00',
                                  'versionSent': 'S3.00'}]


@pytest.mark.parametrize('out, rc, failed', [
    ([{'sn': 'SN0002', 'ip': '192.168.1.31', 'version': 'S2.00', 'conflict': False}], 0, False),
    ('', 2, True),
    ('not json', 0, True),
])
def test_search_info_returns_plain_values(run, out, rc, failed):
    result, called = run(logger_search_info, {'wait': 1, 'rounds': 2}, out=out, rc=rc)
    assert called == ['search', '--wait', '1.0', '--rounds', '2', '--json']
    assert bool(result.get('failed')) == failed and 'ansible_facts' not in result, result
    if not failed:
        assert result['count'] == 1 and result['loggers'] == out and not result['changed']
