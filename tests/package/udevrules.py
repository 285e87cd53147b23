#!/usr/bin/env python3
"""udevrules.py FILE...: a syntax check of udev rules files, for systems whose
udevadm has no `verify`. Every rule is a comma-separated list of
KEY[{attr}] OP "value" with a key udev knows, an operator that key takes, and
every GOTO names a LABEL of the same file. Prints each fault; exit 1 if any."""
import re
import sys

MATCH_ONLY = {"ACTION", "DEVPATH", "KERNEL", "KERNELS", "NAME", "SYMLINK", "SUBSYSTEM", "SUBSYSTEMS",
              "DRIVER", "DRIVERS", "ATTR", "ATTRS", "SYSCTL", "ENV", "CONST", "TAG", "TAGS", "TEST",
              "PROGRAM", "RESULT"}
ASSIGN_ONLY = {"OWNER", "GROUP", "MODE", "SECLABEL", "RUN", "LABEL", "GOTO", "IMPORT", "OPTIONS",
               "WAIT_FOR"}
# Keys that take both (matching and assigning), as udev documents them.
BOTH = {"NAME", "SYMLINK", "ENV", "TAG", "ATTR", "SYSCTL"}
WITH_ATTRIBUTE = {"ATTR", "ATTRS", "SYSCTL", "ENV", "CONST", "TEST", "SECLABEL", "RUN", "IMPORT"}
PAIR = re.compile(r'\s*([A-Z_]+)(\{[^}]*\})?\s*(==|!=|\+=|-=|:=|=)\s*"((?:[^"\\]|\\.)*)"\s*(,|$)')


def logical_lines(text):
    joined = ""
    for number, line in enumerate(text.splitlines(), 1):
        if line.endswith("\\"):
            joined += line[:-1]
            continue
        yield number, joined + line
        joined = ""


def check(path):
    faults, labels, gotos = [], set(), []
    with open(path, encoding="utf-8") as rules:
        text = rules.read()
    for number, line in logical_lines(text):
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        where = f"{path}:{number}"
        position = 0
        while position < len(line):
            pair = PAIR.match(line, position)
            if not pair:
                faults.append(f"{where}: not a KEY OP \"value\" pair: {line[position:]}")
                break
            key, attribute, operator, value, _ = pair.groups()
            matching = operator in ("==", "!=")
            if key not in MATCH_ONLY | ASSIGN_ONLY:
                faults.append(f"{where}: unknown key {key}")
            elif matching and key in ASSIGN_ONLY:
                faults.append(f"{where}: {key} cannot be matched")
            elif not matching and key in MATCH_ONLY and key not in BOTH:
                faults.append(f"{where}: {key} cannot be assigned")
            if attribute and key not in WITH_ATTRIBUTE:
                faults.append(f"{where}: {key} takes no {{attribute}}")
            if key == "LABEL":
                labels.add(value)
            elif key == "GOTO":
                gotos.append((where, value))
            position = pair.end()
    faults += [f"{where}: GOTO to missing LABEL {label}" for where, label in gotos if label not in labels]
    return faults


def main():
    faults = [fault for path in sys.argv[1:] for fault in check(path)]
    for fault in faults:
        print(fault)
    return 1 if faults or len(sys.argv) < 2 else 0


if __name__ == "__main__":
    sys.exit(main())
