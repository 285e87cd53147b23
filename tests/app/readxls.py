#!/usr/bin/python3
"""Prints an .xls file as JSON, read with xlrd, independently of dmmpanel.

For each sheet: name, rows, columns, merged ranges [row0, row1, col0, col1)
and every row as a list of [text, kind, number format]. With --column-a, data
rows (from the third on) give only column A's numbers and the least and
most cells filled in a row."""
import json
import sys

import xlrd

KINDS = {xlrd.XL_CELL_EMPTY: 'empty', xlrd.XL_CELL_TEXT: 'text', xlrd.XL_CELL_NUMBER: 'number',
         xlrd.XL_CELL_DATE: 'date', xlrd.XL_CELL_BOOLEAN: 'bool', xlrd.XL_CELL_ERROR: 'error',
         xlrd.XL_CELL_BLANK: 'blank'}


def text(book, cell):
    if cell.ctype == xlrd.XL_CELL_DATE:
        return xlrd.xldate_as_datetime(cell.value, book.datemode).strftime('%Y-%m-%d %H:%M:%S')
    if cell.ctype == xlrd.XL_CELL_NUMBER and cell.value == int(cell.value):
        return str(int(cell.value))
    return str(cell.value)


def describe(book, cell):
    number_format = book.format_map[book.xf_list[cell.xf_index].format_key].format_str
    return [text(book, cell), KINDS[cell.ctype], number_format]


book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
column_a = '--column-a' in sys.argv[2:]
sheets = []
for sheet in book.sheets():
    described = {'name': sheet.name, 'rows': sheet.nrows, 'columns': sheet.ncols,
                 'merged': [list(m) for m in sheet.merged_cells]}
    rows = [[describe(book, sheet.cell(r, c)) for c in range(sheet.ncols)]
            for r in range(min(sheet.nrows, 2) if column_a else sheet.nrows)]
    described['cells'] = rows
    if column_a:
        described['a'] = [int(v) for v in sheet.col_values(0, 2)]
        filled = [sum(1 for v in sheet.row_values(r) if v != '') for r in range(2, sheet.nrows)]
        described['filled'] = [min(filled), max(filled)] if filled else []
    sheets.append(described)
json.dump(sheets, sys.stdout)
