#!/usr/bin/env python3
"""dmmlog's statistics, limit alarms and stop conditions against the simulated
meter, checked with Python's statistics module on the readings it logged.

    tst_dmmlogstats.py DMMLOG
"""
import csv
import json
import os
import statistics
import subprocess
import sys
import tempfile

DMMLOG = sys.argv[1]
failures = []
# CH1 (LINE1) doubles from about 123 mV to 246 mV for a stretch of the run.
SWELL = "swell-after=100,swell-for=100"


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)
    return condition


def run(args, faults=""):
    env = dict(os.environ, DMMPANEL_SIMULATOR="1", DMMPANEL_SIMULATOR_FAULTS=faults)
    return subprocess.run([DMMLOG] + args, env=env, capture_output=True, text=True, timeout=120)


def close(a, b, relative=5e-6):
    return abs(a - b) <= relative * max(abs(a), abs(b), 1e-12)


def check_against_python(values, stats, name):
    """stats: function, n, mean, sd, min, max as logged for one line."""
    check(stats["n"] == len(values), f"{name}: n={stats['n']}, {len(values)} readings")
    for key, expected in (("mean", statistics.fmean(values)), ("sd", statistics.stdev(values)),
                          ("min", min(values)), ("max", max(values))):
        check(close(float(stats[key]), expected), f"{name}: {key}={stats[key]}, Python says {expected}")


def test_csv():
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "swell.csv")
        done = run(["--samples", "60", "--limit", "LINE1=0.1:0.2", "--limit", "LINE2=:5", "-o", path], SWELL)
        check(done.returncode == 0, f"csv: exit {done.returncode} {done.stderr!r}")
        with open(path, encoding="utf-8") as f:
            lines = f.read().splitlines()
        rows = list(csv.DictReader(line for line in lines if not line.startswith("#")))
        comments = [line for line in lines if line.startswith("#")]
        raised = [line for line in comments if line.startswith("# Alarm Line")]
        cleared = [line for line in comments if line.startswith("# Alarm cleared")]
        check(len(raised) == 1 and raised[0].startswith("# Alarm Line1: ")
              and raised[0].endswith(" V outside 0.1 V to 0.2 V"), f"csv: alarms {raised}")
        check(len(cleared) == 1 and cleared[0].startswith("# Alarm cleared Line1: "), f"csv: cleared {cleared}")
        check(lines.index(raised[0]) < lines.index(cleared[0]), "csv: cleared before raised")
        found = {}
        for line in comments:
            if line.startswith("# Statistics "):
                name, _, rest = line[len("# Statistics "):].partition(": ")
                found[name] = dict(part.split("=") for part in rest.split())
        check(list(found) == ["Line1 VOLT", "Line2 VOLT"], f"csv: statistics lines {list(found)}")
        check(comments[-1].startswith("# Closed: ") and comments[-3].startswith("# Statistics Line1 "),
              f"csv: statistics not right before the closing line: {comments[-3:]}")
        for index, name in ((1, "Line1 VOLT"), (2, "Line2 VOLT")):
            values = [float(row[f"Line{index} Value"]) for row in rows]
            stats = dict(found.get(name, {}))
            stats["n"] = int(stats.get("n", -1))
            check_against_python(values, stats, f"csv {name}")


def test_jsonl():
    done = run(["--samples", "60", "--limit", "LINE1=0.1:0.2", "--format", "jsonl"], SWELL)
    objects = [json.loads(line) for line in done.stdout.splitlines()]
    readings = [o for o in objects if "no" in o]
    alarms = [o["alarm"] for o in objects if "alarm" in o]
    cleared = [o["alarmCleared"] for o in objects if "alarmCleared" in o]
    check(done.returncode == 0 and len(readings) == 60, f"jsonl: exit {done.returncode}, {len(readings)} readings")
    check(len(alarms) == 1 and alarms[0]["line"] == 1 and alarms[0]["low"] == 0.1 and alarms[0]["high"] == 0.2
          and alarms[0]["value"] > 0.2, f"jsonl: alarms {alarms}")
    check(len(cleared) == 1 and cleared[0]["line"] == 1 and 0.1 < cleared[0]["value"] < 0.2,
          f"jsonl: cleared {cleared}")
    check("statistics" in objects[-2] and "closed" in objects[-1], f"jsonl: ends with {objects[-2:]}")
    for line in ("line1", "line2"):
        check_against_python([r[line]["value"] for r in readings], objects[-2]["statistics"][line], f"jsonl {line}")


def test_stop_when():
    # LINE1 passes 0.2 V only in the swell: the log ends at its first reading.
    done = run(["--stop-when", "LINE2<0", "--stop-when", "line1 > 0.2", "--format", "jsonl"], SWELL)
    objects = [json.loads(line) for line in done.stdout.splitlines()]
    readings = [o for o in objects if "no" in o]
    check(done.returncode == 0 and readings and readings[-1]["line1"]["value"] > 0.2
          and all(r["line1"]["value"] < 0.2 for r in readings[:-1]),
          f"--stop-when: exit {done.returncode}, last {readings[-1:]}")
    check("closed" in objects[-1] and "Stopped: LINE1>0.2 met by" in done.stderr, f"--stop-when: {done.stderr!r}")
    for option, value in (("--stop-when", "LINE1=3"), ("--stop-when", "LINE3<1"), ("--limit", "LINE1=0.2:0.1"),
                          ("--limit", "LINE1"), ("--limit", "LINE2=:")):
        done = run([option, value])
        check(done.returncode == 2 and f"{option} {value}:" in done.stderr, f"{option} {value}: {done.stderr!r}")


for test in (test_csv, test_jsonl, test_stop_when):
    test()
    print(test.__name__, "done")
print("FAIL" if failures else "PASS", f"{len(failures)} failures")
sys.exit(1 if failures else 0)
