#!/usr/bin/env python3
"""dmmlog end to end against the simulated meter: what it writes, read back
with Python's csv and json modules, how it ends, and its exit status per cause.

    tst_dmmlog.py DMMLOG
"""
import csv
import json
import os
import signal
import subprocess
import sys
import tempfile
import time

DMMLOG = sys.argv[1]
LIMIT = 60  # seconds any one run may take before it counts as hung
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)
    return condition


def environment(faults="", log=""):
    env = dict(os.environ, DMMPANEL_SIMULATOR="1", DMMPANEL_SIMULATOR_FAULTS=faults, DMMPANEL_SIMULATOR_LOG=log)
    return env


def run(args, faults="", env=None):
    started = time.monotonic()
    done = subprocess.run([DMMLOG] + args, env=env or environment(faults), capture_output=True, text=True,
                          timeout=LIMIT)
    return done, time.monotonic() - started


def journal_rows(path):
    """The readings of a journal file, and its comment lines."""
    with open(path, newline="", encoding="utf-8") as f:
        lines = f.read().splitlines()
    comments = [line for line in lines if line.startswith("#")]
    rows = list(csv.DictReader(line for line in lines if not line.startswith("#")))
    return rows, comments


def times_of(rows):
    from datetime import datetime
    return [datetime.fromisoformat(row["Time"].replace("Z", "+00:00")) for row in rows]


def check_readings(rows, comments, count, name):
    check(len(rows) == count, f"{name}: {len(rows)} readings, not {count}")
    check([int(row["No."]) for row in rows] == list(range(1, len(rows) + 1)), f"{name}: numbers not 1..n")
    stamps = times_of(rows)
    check(all(a < b for a, b in zip(stamps, stamps[1:])), f"{name}: times do not increase")
    # The simulated bench: CH1 about 123 mV on LINE1, CH2 about 1.2 V on LINE2.
    check(all(0.11 < float(row["Line1 Value"]) < 0.135 and 1.1 < float(row["Line2 Value"]) < 1.3 for row in rows),
          f"{name}: values the meter did not have")
    check(comments[-1].startswith(f"# Closed: ") and comments[-1].endswith(f"; {len(rows)} readings"),
          f"{name}: no closing line: {comments[-1:]}")
    return stamps


def test_readings():
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "fifty.csv")
        done, _ = run(["--samples", "50", "-o", path])
        check(done.returncode == 0 and done.stderr == "", f"--samples 50: {done.returncode} {done.stderr!r}")
        rows, comments = journal_rows(path)
        fifty = check_readings(rows, comments, 50, "--samples 50")
        # A reading pass as this machine makes one now: without --interval each pass gives a reading.
        pass_time = (fifty[-1] - fifty[0]).total_seconds() / 49
        check("# Instrument: USB0::0x28E9::0x0285::KM4473N-SIM::INSTR (simulated)" in comments,
              "--samples 50: the instrument is not named")

        done, took = run(["--duration", "5s", "-o", os.path.join(folder, "five.csv")])
        rows, comments = journal_rows(os.path.join(folder, "five.csv"))
        stamps = times_of(rows)
        check(done.returncode == 0 and len(rows) > 3 and 5 <= took < 30
              and (stamps[-1] - stamps[0]).total_seconds() < 5.5, f"--duration 5s: {took:.1f} s, {len(rows)} readings")

        done, _ = run(["--interval", "1", "--samples", "5", "-o", os.path.join(folder, "second.csv")])
        stamps = check_readings(*journal_rows(os.path.join(folder, "second.csv")), 5, "--interval 1")
        gaps = [(b - a).total_seconds() for a, b in zip(stamps, stamps[1:])]
        # The first reading comes with the first pass, then one at the first
        # pass end after each tick of a coarse timer: a gap is a second give
        # or take a pass (a fraction of a second), three ticks about three.
        # The timer starts with the connection, and the first pass ends after
        # the status queries, whenever that is on a loaded machine: the first
        # gap may be as short as a pass.
        slack = max(0.5, 2 * pass_time)
        check(gaps[0] < 3 and all(1 - slack < gap < 3 for gap in gaps[1:]) and 3 - slack < sum(gaps[1:]) < 5,
              f"--interval 1: gaps {gaps}, a pass {pass_time:.2f} s")

    done, _ = run(["--samples", "3", "--format", "jsonl", "--function", "LINE2=CH1,DBM", "--range", "CH1=AUTO",
                   "--rate", "SLOW", "--resource", "USB0::0x28E9::0x0285::KM4473N-SIM::INSTR"])
    lines = [json.loads(line) for line in done.stdout.splitlines()]
    check(done.returncode == 0 and [line.get("no") for line in lines] == [1, 2, 3, None, None]
          and "statistics" in lines[-2] and lines[-1].get("readings") == 3, f"jsonl: {done.returncode} {done.stdout!r}")
    check(all(line["line2"]["function"] == "DBM" and line["line2"]["ch"] == 1 and line["line2"]["unit"] == "dBm"
              for line in lines[:3]), f"jsonl with settings: {lines[:1]}")


def test_reconnect():
    """A pulled cable and a meter silent for longer than the driver waits, both back after a while:
    the log goes on, and its one gap line gives the last reading before the gap and the first after."""
    for faults in ("unplug-after=60,replug-after=2000", "silent-after=60,silent-for=8000"):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "gap.csv")
            done, _ = run(["--samples", "20", "-o", path], faults)
            rows, comments = journal_rows(path)
            check_readings(rows, comments, 20, faults)
            with open(path, encoding="utf-8") as f:
                lines = f.read().splitlines()
            gaps = [i for i, line in enumerate(lines) if line.startswith("# Link")]
            check(done.returncode == 0 and len(gaps) == 1 and done.stderr.count("was lost at") == 1
                  and done.stderr.count("is back at") == 1, f"{faults}: exit {done.returncode}, {done.stderr!r}")
            if gaps:
                before, after = lines[gaps[0] - 1].split(",")[1], lines[gaps[0] + 1].split(",")[1]
                check(lines[gaps[0]] == f"# Link lost: {before}; resumed: {after}", f"{faults}: {lines[gaps[0]]}")


def limit_file_size(size):
    """For a child: writes beyond `size` bytes fail, as on a full disk."""
    def apply():
        import resource
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (size, size))
    return apply


def test_output():
    with tempfile.TemporaryDirectory() as folder:
        # A disk that fills after a few readings: the rest are counted, and the run fails.
        path = os.path.join(folder, "full.csv")
        done = subprocess.run([DMMLOG, "--samples", "10", "-o", path], env=environment(), capture_output=True,
                              text=True, timeout=LIMIT, preexec_fn=limit_file_size(1024))
        rows, _ = journal_rows(path)
        check(done.returncode == 1 and 0 < len(rows) < 10
              and f"{10 - len(rows)} of 10 readings were not written to {path}" in done.stderr,
              f"full disk: exit {done.returncode}, {len(rows)} rows, {done.stderr!r}")
        # JSON lines end at the first line the disk refuses, with the reason, and no part of it left behind.
        path = os.path.join(folder, "full.jsonl")
        done = subprocess.run([DMMLOG, "--samples", "10", "--format", "jsonl", "-o", path], env=environment(),
                              capture_output=True, text=True, timeout=LIMIT, preexec_fn=limit_file_size(1024))
        with open(path, encoding="utf-8") as f:
            text = f.read()
        check(done.returncode == 1 and f"cannot write to {path}: File too large" in done.stderr
              and text.endswith("\n") and all(json.loads(line)["no"] for line in text.splitlines()),
              f"full disk, JSON lines: exit {done.returncode}, {done.stderr!r}, {text[-100:]!r}")

        # "-" is standard output, not a file of that name.
        done = subprocess.run([DMMLOG, "--samples", "2", "-o", "-"], env=environment(), capture_output=True,
                              text=True, timeout=LIMIT, cwd=folder)
        check(done.returncode == 0 and "\n2," in done.stdout and not os.path.exists(os.path.join(folder, "-")),
              f"-o -: exit {done.returncode}, {done.stdout[-200:]!r}")

        # A duration longer than a timer's milliseconds: the samples end it, nothing is said.
        done, _ = run(["--samples", "3", "--duration", "25d", "-o", os.path.join(folder, "long.csv")])
        check(done.returncode == 0 and done.stderr == "", f"--duration 25d: exit {done.returncode} {done.stderr!r}")

        # A folder that cannot take the file: an unwritable output.
        unwritable = os.path.join(folder, "readonly")
        os.mkdir(unwritable, 0o555)
        target = os.path.join(unwritable, "x.csv") if os.geteuid() != 0 else "/proc/dmmlog-test.csv"
        done, _ = run(["-o", target])
        check(done.returncode == 1 and f"cannot create {target}" in done.stderr,
              f"unwritable folder: exit {done.returncode}, {done.stderr!r}")

        # Ctrl+C twice before the meter gave a reading: no empty file left.
        path = os.path.join(folder, "never.csv")
        logger = subprocess.Popen([DMMLOG, "-o", path], env=environment("silent-after=0"),
                                  stderr=subprocess.DEVNULL)
        wait_for(lambda: os.path.exists(path) and catches(logger.pid, signal.SIGINT), "SIGINT caught")
        logger.send_signal(signal.SIGINT)
        wait_for(lambda: logger.poll() is not None or not catches(logger.pid, signal.SIGINT), "the first SIGINT taken")
        logger.send_signal(signal.SIGINT)
        logger.wait(LIMIT)
        check(not os.path.exists(path), "two Ctrl+C before a reading left a file")


def wait_for(condition, what):
    deadline = time.monotonic() + LIMIT
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.02)
    return check(False, f"waited in vain for {what}")


def catches(pid, number):
    with open(f"/proc/{pid}/status") as f:
        caught = next(line.split()[1] for line in f if line.startswith("SigCgt:"))
    return (int(caught, 16) >> (number - 1)) & 1 == 1


def test_signals():
    with tempfile.TemporaryDirectory() as folder:
        path, log = os.path.join(folder, "stopped.csv"), os.path.join(folder, "meter.log")
        logger = subprocess.Popen([DMMLOG, "-o", path], env=environment(log=log), stderr=subprocess.PIPE, text=True)
        wait_for(lambda: os.path.exists(path) and open(path).read().count("\n1,") + open(path).read().count("\n3,") == 2,
                 "three readings")
        logger.send_signal(signal.SIGTERM)
        status = logger.wait(LIMIT)
        rows, comments = journal_rows(path)
        check(status == 0 and logger.stderr.read() == "", f"SIGTERM: exit {status}")
        check_readings(rows, comments, len(rows), "SIGTERM")
        commands = open(log).read().splitlines()
        check(commands[-1] == "SYSTem:LOCal", f"SIGTERM: the meter's last command is {commands[-1:]}")

        # The first SIGINT begins a clean end; once it has been taken, a second one ends the program at once.
        logger = subprocess.Popen([DMMLOG, "-o", os.path.join(folder, "twice.csv")], env=environment(),
                                  stderr=subprocess.DEVNULL)
        wait_for(lambda: catches(logger.pid, signal.SIGINT), "SIGINT caught")
        logger.send_signal(signal.SIGINT)
        wait_for(lambda: logger.poll() is not None or not catches(logger.pid, signal.SIGINT), "the first SIGINT taken")
        logger.send_signal(signal.SIGINT)
        status = logger.wait(LIMIT)
        check(status in (0, -signal.SIGINT), f"second SIGINT: exit {status}")


def test_terminal():
    """On a terminal 60 columns wide the status stays within one line, or each redraw would leave one behind."""
    import fcntl
    import pty
    import select
    import struct
    import termios
    master, slave = pty.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 60, 0, 0))
    with tempfile.TemporaryDirectory() as folder:
        logger = subprocess.Popen([DMMLOG, "--samples", "5", "-o", os.path.join(folder, "tty.csv")], env=environment(),
                                  stderr=slave)
        os.close(slave)
        logger.wait(LIMIT)
    output = b""
    while select.select([master], [], [], 0)[0]:
        try:
            chunk = os.read(master, 65536)
        except OSError:  # the terminal's other side is closed
            break
        if not chunk:
            break
        output += chunk
    os.close(master)
    statuses = [part.split(b"\x1b[K")[0].decode() for part in output.split(b"\r") if b"reading" in part]
    check(len(statuses) == 5 and statuses[-1].startswith("5 readings, last ") and all(len(s) < 60 for s in statuses),
          f"status on a terminal: {statuses}")


def test_failures():
    with tempfile.NamedTemporaryFile(suffix=".csv") as existing:
        cases = [
            # args, faults, exit status, message
            (["--samples", "0"], "", 2, "--samples 0: a whole number above 0 expected"),
            (["--colour", "red"], "", 2, "unknown option --colour"),
            (["--duration", "1h30"], "", 2, "--duration 1h30: a time such as"),
            (["--function", "LINE3=CH1"], "", 2, "--function LINE3=CH1: LINE1 or LINE2"),
            (["--rate", "TURBO"], "", 2, "the meter did not take --rate TURBO: the rate is FAST"),
            (["--function", "LINE1=CH2,OHM"], "", 2, "the meter did not take --function LINE1=CH2,OHM"),
            (["-o", existing.name], "", 2, "exists; dmmlog writes a new file"),
            (["-o", "-", "--mqtt", "mqtt://127.0.0.1:9"], "", 2, "-o - would write none"),
            (["--forward", existing.name, "--mqtt", "mqtt://127.0.0.1:9"], "", 2, "is no journal"),
            (["--mqtt", "mqtts://127.0.0.1:9", "--mqtt-cafile", "/no/ca.crt"], "", 2, "--mqtt-cafile /no/ca.crt: no such"),
            (["--resource", "USB0::0x28E9::0x0285::KM4475N-X::INSTR"], "", 3,
             "no meter USB0::0x28E9::0x0285::KM4475N-X::INSTR found"),
            (["--no-reconnect"], "silent-after=60", 1, "lost the link: the meter stopped answering"),
            (["--no-reconnect"], "unplug-after=60", 1, "lost the link: the meter was unplugged"),
            (["--no-reconnect"], "local-after=60", 1, "the meter has left remote mode"),
        ]
        for args, faults, status, message in cases:
            done, _ = run(args, faults)
            check(done.returncode == status and message in done.stderr and done.stderr.count("\n") == 1,
                  f"{args} {faults}: exit {done.returncode}, {done.stderr!r}")
            # A log cut short by the link says why; a failure before the first reading logs none.
            check(f"\n# {message[0].upper()}{message[1:]}" in done.stdout if status == 1 else "\n1," not in done.stdout,
                  f"{args} {faults}: {done.stdout[-300:]!r}")
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "none.csv")
        done, _ = run(["-o", path], env=dict(os.environ, DMMPANEL_SIMULATOR="0"))
        # A service that retries until the meter is plugged in leaves no empty files.
        check(done.returncode == 3 and done.stderr.startswith("dmmlog: No USB instrument found")
              and not os.path.exists(path), f"no meter: exit {done.returncode}, {done.stderr!r}")
    done, _ = run(["--help"])
    check(done.returncode == 0 and "Examples:" in done.stdout, "--help")


for test in (test_readings, test_reconnect, test_output, test_signals, test_terminal, test_failures):
    started = time.monotonic()
    test()
    print(f"{test.__name__}: {time.monotonic() - started:.1f} s")
print("FAIL" if failures else "PASS", f"{len(failures)} failures")
sys.exit(1 if failures else 0)
