#!/usr/bin/env python3
"""Runs the capture test's trace scenario under Wine with the debug-string channel on and checks
the trace lines that the capture writes on every pointer move.

    check_trace_lines.py EMULATOR PREFIX PROGRAM

Consecutive equal lines are one step: how many moves the system delivers varies."""
import os
import re
import subprocess
import sys

EXPECTED_STEPS = [
    (0, 0, 0),  # hovering with nothing selected
    (1, 0, 0),  # rubber band
    (0, 1, 0),  # hovering over the finished selection
    (0, 1, 1),  # moving it
    (0, 1, 0),  # hovering again
    (0, 0, 0),  # after Esc cleared it
]

LINE = re.compile(r'OutputDebugStringA "bCapturing:(\d) bCaptured:(\d),bMoving:(\d)\\n"$')


def main():
    emulator, prefix, program = sys.argv[1:4]
    env = dict(os.environ, WINEDEBUG="-all,+debugstr")
    run = subprocess.run(
        [emulator, prefix, program, "--gtest_filter=CaptureHost.TraceLinesScenario"],
        env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, errors="replace")
    if run.returncode != 0:
        print(run.stdout, run.stderr, sep="\n")
        print("the trace scenario failed")
        return 1
    other = [l for l in run.stderr.splitlines() if "OutputDebugStringA" in l and not LINE.search(l)]
    lines = [tuple(int(g) for g in LINE.search(l).groups())
             for l in run.stderr.splitlines() if LINE.search(l)]
    steps = [s for i, s in enumerate(lines) if i == 0 or lines[i - 1] != s]
    print(f"{len(lines)} trace lines, steps {steps}")
    if other:
        print("unexpected debug output:", *other[:5], sep="\n")
        return 1
    if steps != EXPECTED_STEPS:
        print(f"expected steps {EXPECTED_STEPS}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
