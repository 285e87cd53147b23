#!/usr/bin/env python3
"""Python's statistics of a journal's readings, one line per display line:
    LineN n mean sd min max
Readings without a number (NaN) are left out, as the program leaves them out.

    journalstats.py JOURNAL.csv
"""
import csv
import math
import statistics
import sys

with open(sys.argv[1], newline="", encoding="utf-8") as f:
    rows = list(csv.DictReader(line for line in f if not line.startswith("#")))
for line in ("Line1", "Line2"):
    values = [float(row[f"{line} Value"]) for row in rows if not math.isnan(float(row[f"{line} Value"]))]
    print(line, len(values), repr(statistics.fmean(values)), repr(statistics.stdev(values)),
          repr(min(values)), repr(max(values)))
