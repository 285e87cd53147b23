#!/usr/bin/env python3
"""dmmlog sending to real servers it does not know are test servers: InfluxDB
1.x and Mosquitto, started here on 127.0.0.1 (one of each for the whole file).
Every reading arrives, through outages too, once per series and time.

    tst_forwarding.py DMMLOG
"""
import json
import os
import signal
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from servers import Servers, Subscriber, wait_until  # noqa: E402

DMMLOG = sys.argv[1]
failures = []  # what went wrong, each said at once


def check(condition, what):
    if not condition:
        print("FAIL:", what)
        failures.append(what)


def dmmlog(args, meters="1"):
    return subprocess.Popen([DMMLOG] + args, env=dict(os.environ, DMMPANEL_SIMULATOR=meters, DMMPANEL_SIMULATOR_FAULTS=""),
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def finish(process):
    out, err = process.communicate(timeout=90)
    return process.returncode, err


def journal_numbers(path):
    with open(path, encoding="utf-8") as f:
        return [int(line.split(",", 1)[0]) for line in f if line[:1].isdigit()]


def test_every_reading_arrives(servers, folder):
    journal = os.path.join(folder, "both.csv")
    subscriber = Subscriber(servers.broker, "lab1", folder)
    # An alarm raised by the first reading, before the broker has answered.
    status, err = finish(dmmlog(["--samples", "30", "-o", journal, "--influx", servers.influx.create("lab1"),
                                 "--mqtt", servers.broker.url + "/lab1", "--limit", "LINE1=:0.1"]))
    subscriber.stop(until=lambda: subscriber.messages("/KM4473N-SIM/status")[-1:] == ["offline"]
                    and len(subscriber.messages("/KM4473N-SIM/reading")) >= 30)
    check(status == 0 and err.startswith("dmmlog: Alarm Line1: ") and err.count("\n") == 1,
          f"both servers: exit {status}, {err!r}")
    alarms = [json.loads(m)["alarm"] for m in subscriber.messages("/KM4473N-SIM/alarm")]
    check(len(alarms) == 1 and alarms[0]["high"] == 0.1 and alarms[0]["time"] in err, f"MQTT alarms: {alarms}")
    numbers = journal_numbers(journal)
    check(numbers == list(range(1, 31)), f"journal: {numbers}")
    check(servers.influx.seqs("lab1") == {"KM4473N-SIM": numbers}, f"InfluxDB: {servers.influx.seqs('lab1')}")
    readings = [json.loads(m) for m in subscriber.messages("/KM4473N-SIM/reading")]
    check([r["no"] for r in readings] == numbers and all(0.11 < r["line1"]["value"] < 0.135 for r in readings),
          f"MQTT: {[r['no'] for r in readings]}")
    check(subscriber.messages("/KM4473N-SIM/status") == ["online", "offline"],
          f"status: {subscriber.messages('/KM4473N-SIM/status')}")
    return journal


def test_outages(servers, folder):
    """Down when the run starts, then up, stopped for several seconds, up again."""
    journal = os.path.join(folder, "outages.csv")
    url = servers.influx.create("lab2")
    servers.influx.stop()
    run = dmmlog(["--duration", "14s", "-o", journal, "--influx", url])

    def outages():
        time.sleep(3)
        servers.influx.start()
        time.sleep(6)
        servers.influx.stop()
        time.sleep(5)
        servers.influx.start()

    server = threading.Thread(target=outages)
    server.start()
    status, err = finish(run)
    server.join()
    numbers = journal_numbers(journal)
    stored = servers.influx.seqs("lab2").get("KM4473N-SIM", [])
    check(status == 0 and len(numbers) > 20 and stored == numbers, f"outages: exit {status}, {len(numbers)} journaled, "
          f"{len(stored)} stored, {len(set(stored))} distinct")
    # Each outage and each recovery said once.
    check(err.count("cannot be reached") == 2 and err.count("reached again") == 2, f"outage messages: {err!r}")


def test_last_will(servers, folder):
    subscriber = Subscriber(servers.broker, "lab3", folder)
    run = dmmlog(["-o", os.path.join(folder, "killed.csv"), "--mqtt", servers.broker.url + "/lab3"])
    wait_until(lambda: subscriber.messages("/reading"), "a reading on MQTT")
    run.send_signal(signal.SIGKILL)
    run.wait()
    wait_until(lambda: subscriber.messages("/status")[-1:] == ["offline"], "the last will", limit=20)
    subscriber.stop()
    check(subscriber.messages("/KM4473N-SIM/status") == ["online", "offline"], "kill -9: no offline status")


def test_journal_removed(servers, folder):
    """The journal's file removed while logging: the readings of the file the journal makes anew are sent too.
    With the server away, what is left unsent of the removed file is not said to be in the new one."""
    url = servers.influx.create("lab6")
    for away in (False, True):
        journal = os.path.join(folder, f"removed-{away}.csv")
        if away:
            servers.influx.stop()
        run = dmmlog(["--samples", "40", "-o", journal, "--influx", url, "--flush-timeout", "2s"])
        wait_until(lambda: os.path.exists(journal) and len(journal_numbers(journal)) >= 5, "five readings")
        os.remove(journal)
        status, err = finish(run)
        numbers = journal_numbers(journal)
        stored = servers.influx.seqs("lab6").get("KM4473N-SIM", []) if not away else []
        sent = (f"went with {journal}, which was removed" in err and f"kept in {journal}" in err) if away else (
            "not sent" not in err and set(numbers) <= set(stored) and stored == sorted(set(stored)))
        check(status == 1 and "were not written" in err and numbers and numbers[-1] == 40 and sent,
              f"journal removed, server away {away}: exit {status}, {err!r}, {numbers} journaled, {stored} stored")
    servers.influx.start()


def test_three_meters(servers, folder):
    url = servers.influx.create("lab4")
    serials = ["KM4473N-SIM", "KM4473N-SIM2", "KM4473N-SIM3"]
    runs = [dmmlog(["--resource", serial, "--samples", "10", "-o", os.path.join(folder, serial + ".csv"),
                    "--influx", url], meters="3") for serial in serials]
    statuses = [finish(run)[0] for run in runs]
    series = servers.influx.seqs("lab4")
    check(statuses == [0, 0, 0] and series == {serial: list(range(1, 11)) for serial in serials},
          f"three meters: {statuses} {series}")
    means = servers.influx.query("SELECT mean(line1) FROM dmmpanel GROUP BY meter", "lab4")["series"]
    check(len({round(s["values"][0][1], 4) for s in means}) == 3, f"three meters, one signal: {means}")


def test_forward_later(servers, journal, folder):
    url = servers.influx.create("lab5")
    subscriber = Subscriber(servers.broker, "lab5", folder)
    for _ in range(2):  # twice does no harm
        status, err = finish(dmmlog(["--forward", journal, "--influx", url, "--mqtt", servers.broker.url + "/lab5"]))
        check(status == 0 and err == "", f"--forward: exit {status}, {err!r}")
    numbers = journal_numbers(journal)
    subscriber.stop(until=lambda: len(subscriber.messages("/reading")) >= 2 * len(numbers))
    check(servers.influx.seqs("lab5") == {"KM4473N-SIM": numbers}, f"--forward: {servers.influx.seqs('lab5')}")
    check([json.loads(m)["no"] for m in subscriber.messages("/reading")] == numbers * 2, "--forward: MQTT")
    # Nothing to send it to: the count of readings left unsent, status 1.
    status, err = finish(dmmlog(["--forward", journal, "--flush-timeout", "2s", "--influx",
                                 "http://127.0.0.1:9/write?db=none"]))
    check(status == 1 and f"{len(numbers)} readings were not sent" in err, f"--forward, no server: {status} {err!r}")


with Servers() as servers:
    folder = servers.folder
    for test in (test_every_reading_arrives, test_outages, test_last_will, test_journal_removed, test_three_meters):
        started = time.monotonic()
        result = test(servers, folder)
        if test is test_every_reading_arrives:
            journal = result
        print(f"{test.__name__}: {time.monotonic() - started:.1f} s")
    test_forward_later(servers, journal, folder)
print("FAIL" if failures else "PASS", f"{len(failures)} failures")
sys.exit(1 if failures else 0)
