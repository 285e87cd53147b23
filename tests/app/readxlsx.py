#!/usr/bin/python3
"""Prints an .xlsx file as JSON, read with openpyxl, independently of dmmpanel.

For each sheet: name, rows, and unless --sizes is given its merged ranges
(as "A1:A2") and every row as a list of [shown, kind, number format]: a
number is shown with the decimals its format gives, a date-time to the
millisecond. --sizes reads in openpyxl's read-only mode, for large files."""
import datetime
import json
import re
import sys

import openpyxl


def shown(cell):
    value = cell.value
    if value is None:
        return ['', 'empty', cell.number_format]
    if isinstance(value, datetime.datetime):
        ms = round(value.microsecond / 1000)
        value = value.replace(microsecond=0) + datetime.timedelta(milliseconds=ms)
        return [value.strftime('%Y-%m-%d %H:%M:%S.') + '%03d' % (value.microsecond // 1000), 'date',
                cell.number_format]
    if isinstance(value, (int, float)):
        decimals = re.fullmatch(r'0(?:\.(0+))?', cell.number_format)
        if decimals:
            text = '%.*f' % (len(decimals.group(1) or ''), value)
        else:
            text = str(int(value)) if value == int(value) else repr(value)
        return [text, 'number', cell.number_format]
    return [str(value), 'text', cell.number_format]


sizes = '--sizes' in sys.argv[2:]
book = openpyxl.load_workbook(sys.argv[1], read_only=sizes)
sheets = []
for sheet in book.worksheets:
    described = {'name': sheet.title, 'rows': sheet.max_row}
    if not sizes:
        described['merged'] = sorted(str(r) for r in sheet.merged_cells.ranges)
        described['cells'] = [[shown(c) for c in row] for row in sheet.iter_rows()]
    sheets.append(described)
json.dump(sheets, sys.stdout)
