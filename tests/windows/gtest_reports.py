#!/usr/bin/env python3
"""Counts the cases of the Windows logic tests from their GoogleTest XML
reports, and holds them to the Linux build: a test program that ran no
report, a case that failed or was skipped, and a case of a Linux program
of the same name that the Windows program lacks all count as failures.

    python3 tests/windows/gtest_reports.py build-windows/tests/reports \\
        --programs kiv_signal_tests,kiv_logic_tests --linux-build build

The last line is "logic tests under Wine: N passed, N failed".
"""
import argparse
import os
import subprocess
import sys
import xml.etree.ElementTree as ET


def windows_cases(report):
    """{"Suite.Name": "passed" | "failed" | "skipped"} from one XML report."""
    cases = {}
    for case in ET.parse(report).getroot().iter("testcase"):
        name = f"{case.get('classname')}.{case.get('name')}"
        if case.find("failure") is not None or case.find("error") is not None:
            cases[name] = "failed"
        elif case.get("result") == "skipped" or case.find("skipped") is not None:
            cases[name] = "skipped"
        else:
            cases[name] = "passed"
    return cases


def linux_cases(program):
    """The case names a Linux test program lists, or None when there is none."""
    if not os.access(program, os.X_OK):
        return None
    out = subprocess.run([program, "--gtest_list_tests"], capture_output=True, text=True, timeout=120).stdout
    cases, suite = set(), ""
    for line in out.splitlines():
        if not line.strip():
            continue
        if not line.startswith(" "):
            suite = line.split("#")[0].strip()
        else:
            cases.add(suite + line.split("#")[0].strip())
    return cases


def find_linux_program(build, name):
    for folder, _, files in os.walk(os.path.join(build, "tests")):
        if name in files:
            return os.path.join(folder, name)
    return None


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("reports", help="the folder of the XML reports")
    p.add_argument("--programs", required=True, help="the test programs that must have reported, comma separated")
    p.add_argument("--linux-build", default="build", help="the Linux build folder, to compare with")
    p.add_argument("--linux-only", help="a file naming, one a line, the suites left out of the Windows build")
    args = p.parse_args()
    linux_only = set()
    if args.linux_only:
        with open(args.linux_only) as f:
            linux_only = {line.strip() for line in f if line.strip()}

    passed = failed = 0
    for program in args.programs.split(","):
        report = os.path.join(args.reports, program + ".xml")
        if not os.path.isfile(report):
            print(f"FAIL {program}: no report (it did not run to its end under Wine)")
            failed += 1
            continue
        cases = windows_cases(report)
        for name, result in sorted(cases.items()):
            if result != "passed":
                print(f"FAIL {program} {name}: {result} under Wine")
        ok = sum(1 for r in cases.values() if r == "passed")
        passed += ok
        failed += len(cases) - ok
        linux_program = find_linux_program(args.linux_build, program)
        linux = linux_cases(linux_program) if linux_program else None
        if linux is None:
            print(f"     {program}: {ok} of {len(cases)} passed (no Linux build of it to compare with)")
            continue
        missing = sorted(n for n in linux - set(cases) if n.split(".")[0] not in linux_only)
        for name in missing:
            print(f"FAIL {program} {name}: runs on Linux, missing from the Windows build")
        failed += len(missing)
        print(f"     {program}: {ok} of {len(cases)} passed; the Linux program has {len(linux)} cases")
    print(f"logic tests under Wine: {passed} passed, {failed} failed")
    return 0 if failed == 0 and passed > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
