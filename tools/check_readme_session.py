#!/usr/bin/env python3
"""Checks that `make run` prints the README's sample session.

    tools/check_readme_session.py [make arguments...]

Runs `make -s run` in the checkout with HOME=/home/user, types the commands
of the sample (the text after each " fit> " of the README's block under
"$ make run") and compares everything printed (standard output and error)
with the block, the checkout's path written as /home/user/tarva. Typed text
is not echoed through a pipe, so the comparison leaves it out. Then checks
that make built the program alone: no test binary made by this run.
"""
import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PROMPT = " fit> "


def sample():
    lines = open(os.path.join(ROOT, "README.md"), encoding="utf-8").read().split("\n")
    start = lines.index("    $ make run") + 1
    block = []
    for line in lines[start:]:
        if not line.startswith("    ") and line != "":
            break
        block.append(line[4:])
    while block and block[-1] == "":
        block.pop()
    return block


def main():
    block = sample()
    typed = []
    expected = ""
    for line in block:
        if line.startswith(PROMPT) and line != PROMPT:
            typed.append(line[len(PROMPT):])
            expected += PROMPT
        else:
            expected += line + "\n"
    env = dict(os.environ, HOME="/home/user")
    build = "build"
    for arg in sys.argv[1:]:
        if arg.startswith("BUILD="):
            build = arg[len("BUILD="):]
    tests = os.path.join(ROOT, build, "tests", "tarva_tests")
    before = os.path.getmtime(tests) if os.path.exists(tests) else None
    run = subprocess.run(["make", "-s", "--no-print-directory", "run"] + sys.argv[1:], cwd=ROOT, env=env,
                         input="".join(t + "\n" for t in typed), stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT, text=True, timeout=3600)
    got = run.stdout.replace(ROOT, "/home/user/tarva")
    if run.returncode != 0 or got != expected:
        print("make run printed (status %d):\n%r\nthe README shows:\n%r" % (run.returncode, got, expected))
        return 1
    if os.path.exists(tests) and os.path.getmtime(tests) != before:
        print("make run built the tests as well: " + tests)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
