#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 the Logger Update Tool developers

from __future__ import (absolute_import, division, print_function)
__metaclass__ = type

DOCUMENTATION = r'''
module: fleet_report
short_description: Appends a site's update results to the fleet report
version_added: 1.0.0
description:
  - Appends one row per logger of a site's update to the fleet report, a JSON array in I(path)C(.json) and
    the same rows in I(path)C(.csv), with the columns site, sn, ip, before, after, outcome, time (the
    update's seconds) and message. Both files are made when missing.
  - A site whose run failed before any logger (the gateway unreachable, the image not copied, no search, a
    bad file) gets one row with its I(failure), outcome C(failed) and an empty serial number, so that no
    failed site is missing from the report.
  - Sites of one wave report at the same time; the module holds a lock on the CSV file while it appends,
    so their rows never mix and the table has one header however many sites report at once.
  - Runs on the controller (delegated to C(localhost)); the role C(lut.logger_update_tool.rollout) calls it.
author:
  - Logger Update Tool developers (!UNKNOWN)
attributes:
  check_mode:
    description: Can run in check mode and return changed status prediction without modifying target.
    support: full
  diff_mode:
    description: Will return details on what has changed (or possibly needs changing in check mode).
    support: none
options:
  path:
    description:
      - The report's path without its extension.
    type: path
    required: true
  site:
    description:
      - The site's name in the report, usually C(inventory_hostname).
    type: str
    required: true
  loggers:
    description:
      - The C(loggers) returned by M(lut.logger_update_tool.logger_update).
    type: list
    elements: dict
    default: []
  failure:
    description:
      - The message of a run that failed; reported as a row of its own when I(loggers) is empty.
    type: str
'''

EXAMPLES = r'''
- name: Add the site's results to the fleet report
  lut.logger_update_tool.fleet_report:
    path: "{{ playbook_dir }}/fleet-report"
    site: "{{ inventory_hostname }}"
    loggers: "{{ site.loggers }}"
    failure: "{{ site.msg | default(omit) }}"
  delegate_to: localhost
  become: false
'''

RETURN = r'''
rows:
  description: The rows appended.
  returned: always
  type: list
  elements: dict
  sample:
    - site: plant-north
      sn: SN0002
      ip: 192.168.1.31
      before: S2.00
      after: S3.00
      outcome: complete
      time: 12.0
      message: "Verified: SN0002 at 192.168.1.31 now runs S3.00"
'''

import csv
import fcntl
import io
import json
import os
import tempfile

from ansible.module_utils.basic import AnsibleModule

COLUMNS = ('site', 'sn', 'ip', 'before', 'after', 'outcome', 'time', 'message')


def row_of(site, logger):
    seconds = logger.get('seconds')
    return dict(site=site, sn=logger.get('sn') or '', ip=logger.get('logger') or '',
                before=logger.get('versionBefore') or '', after=logger.get('versionAfter') or '',
                outcome=logger.get('result') or '', time=round(seconds, 1) if seconds is not None else None,
                message=logger.get('message') or '')


def rows_of(params):
    rows = [row_of(params['site'], logger) for logger in params['loggers']]
    if not rows and params['failure']:
        rows.append(dict(row_of(params['site'], {}), outcome='failed', message=params['failure']))
    return rows


def csv_text(rows, header):
    text = io.StringIO()
    writer = csv.DictWriter(text, COLUMNS)
    if header:
        writer.writeheader()
    writer.writerows(rows)
    return text.getvalue()


def append(path, rows):
    """Appends the rows to both files while holding the CSV file's lock. The table's size is taken under the
    lock, so only the first writer of a new table writes the header, and its rows go in with one write; the
    JSON array is replaced whole, by renaming, so that a reader never sees half of it."""
    with open(path + '.csv', 'ab') as table:
        fcntl.flock(table, fcntl.LOCK_EX)
        existing = []  # read first: a damaged array stops both files alike
        if os.path.exists(path + '.json'):
            with open(path + '.json') as report:
                existing = json.load(report)
        os.write(table.fileno(), csv_text(rows, os.fstat(table.fileno()).st_size == 0).encode('utf-8'))
        directory = os.path.dirname(os.path.abspath(path))
        handle, temporary = tempfile.mkstemp(dir=directory, prefix='.fleet-report.')
        with os.fdopen(handle, 'w') as report:
            json.dump(existing + rows, report, indent=2)
            report.write('\n')
        os.chmod(temporary, 0o644)
        os.rename(temporary, path + '.json')


def main():
    module = AnsibleModule(
        argument_spec=dict(
            path=dict(type='path', required=True),
            site=dict(type='str', required=True),
            loggers=dict(type='list', elements='dict', default=[]),
            failure=dict(type='str'),
        ),
        supports_check_mode=True,
    )
    rows = rows_of(module.params)
    if rows and not module.check_mode:
        try:
            append(module.params['path'], rows)
        except (OSError, ValueError) as error:
            module.fail_json(msg='cannot append to the fleet report %s: %s' % (module.params['path'], error))
    module.exit_json(changed=bool(rows), rows=rows)


if __name__ == '__main__':
    main()
