#!/usr/bin/env python3
"""Test command for planted-fault runs: the test programs likely to catch a fault first, the rest only if needed.

    ../shared/tools/plant-faults tests/faults.txt --test "python3 tools/fault_test.py $PWD"

plant-faults copies the repository, plants one fault of tests/faults.txt in the copy and runs this in it. This
finds which fault it is (the stanza that turns the repository's file, given as the argument, into the copy's),
runs the programs its file or name points to, and only when they all pass the other programs. It fails when
any program fails, as the README's test command would, and its log names the programs that caught the fault.
A copy with no fault planted runs the whole suite.
"""
import filecmp
import os
import re
import subprocess
import sys

# The programs tried first: by the fault's name, else by the file it is planted in.
BY_NAME = [(r"^secure-", "secure_test"), (r"^hold-|full", "fullscreen_test"), (r"pause", "pause_test|fullscreen_test")]
BY_FILE = [("app/cmdline.cpp", "cmdline_test"), ("app/modes.cpp", "cmdline_test|program_test"),
           ("app/main.cpp", "cmdline_test"), ("system/pause.cpp", "pause_test|fullscreen_test"),
           ("catalogue/", "catalogue_test"), ("ui/dialogs.cpp", "dialogs_test|tray_test"),
           ("settings/", "dialogs_test|tray_test"), ("ui/", "tray_test|dialogs_test")]
FALLBACK = "tray_test|program_test|catalogue_test|dialogs_test"


def read_faults(path):
    faults, current = [], None
    for line in open(path, encoding="utf-8"):
        line = line.rstrip("\n")
        if line.startswith("#"):
            continue
        header = re.match(r"^\[(.+)\]$", line)
        if header:
            current = {"name": header.group(1)}
            faults.append(current)
            continue
        key, sep, value = line.partition("=")
        if current is not None and sep and key.strip() in ("file", "find", "replace"):
            current[key.strip()] = value[1:] if value.startswith(" ") else value
    return faults


def planted_fault(repo, copy):
    for fault in read_faults(os.path.join(repo, "tests", "faults.txt")):
        original, planted = os.path.join(repo, fault["file"]), os.path.join(copy, fault["file"])
        if not os.path.exists(original) or not os.path.exists(planted):
            continue
        if filecmp.cmp(original, planted, shallow=False):
            continue
        text = open(original, encoding="utf-8").read()
        changed, hits = re.subn(fault["find"], fault["replace"], text, count=1, flags=re.S)
        if hits and changed == open(planted, encoding="utf-8").read():
            return fault
    return None


def first_programs(fault):
    for pattern, programs in BY_NAME:
        if re.search(pattern, fault["name"]):
            return programs
    for prefix, programs in BY_FILE:
        if fault["file"].startswith(prefix):
            return programs
    return FALLBACK


def run_tests(*ctest_arguments):
    print("== bash tools/test.sh --stop-on-failure", " ".join(ctest_arguments), flush=True)
    return subprocess.call(["bash", "tools/test.sh", "--stop-on-failure", *ctest_arguments])


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: fault_test.py REPOSITORY (the folder plant-faults copied)")
    fault = planted_fault(sys.argv[1], os.getcwd())
    if fault is None:
        print("== no listed fault is planted: the whole suite", flush=True)
        return run_tests()
    programs = first_programs(fault)
    print(f"== {fault['name']}: {programs} first", flush=True)
    if run_tests("-R", programs) != 0:
        print(f"== caught by {programs}")
        return 1
    failed = run_tests("-E", programs)
    print("== caught by another program" if failed else "== no program failed")
    return failed


if __name__ == "__main__":
    sys.exit(main())
