# -*- coding: utf-8 -*-
# Copyright: 2026 the Logger Update Tool developers
"""The fleet report, written by the sites of a wave at the same time."""

from __future__ import (absolute_import, division, print_function)
__metaclass__ = type

import csv
import json
import multiprocessing

from ansible_collections.lut.logger_update_tool.plugins.modules.fleet_report import COLUMNS, append, rows_of

WRITERS = 8


def _write(path, site, start):
    start.wait()
    append(path, rows_of({'site': site, 'loggers': [{'sn': site + '-1', 'logger': '10.0.0.2', 'seconds': 1.25},
                                                    {'sn': site + '-2', 'logger': '10.0.0.3'}],
                          'failure': None}))


def test_concurrent_writers_give_one_header_and_every_row(tmp_path):
    context = multiprocessing.get_context('fork')
    for attempt in range(10):
        path = str(tmp_path / ('fleet-report-%d' % attempt))
        start = context.Barrier(WRITERS)
        writers = [context.Process(target=_write, args=(path, 'site-%d' % n, start)) for n in range(WRITERS)]
        for writer in writers:
            writer.start()
        for writer in writers:
            writer.join(30)
            assert writer.exitcode == 0
        with open(path + '.csv', newline='') as table:
            lines = list(csv.reader(table))
        assert lines.count(list(COLUMNS)) == 1 and lines[0] == list(COLUMNS)
        assert sorted(line[1] for line in lines[1:]) == sorted('site-%d-%d' % (n, k) for n in range(WRITERS)
                                                              for k in (1, 2))
        with open(path + '.json') as report:
            assert len(json.load(report)) == 2 * WRITERS


def test_a_site_that_failed_before_any_logger_has_one_row():
    rows = rows_of({'site': 'plant-north', 'loggers': [], 'failure': 'timed out waiting for ping module test'})
    assert rows == [dict(site='plant-north', sn='', ip='', before='', after='', outcome='failed', time=None,
                         message='timed out waiting for ping module test')]
    assert rows_of({'site': 'plant-north', 'loggers': [], 'failure': None}) == []
