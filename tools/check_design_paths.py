#!/usr/bin/env python3
"""Checks that every path the design notes name exists.

    tools/check_design_paths.py [docs/design.md]
    tools/check_design_paths.py --self-test

A path is a text in backticks without blanks that holds a "/" or ends in a
source or data extension (EXTENSIONS). It is looked up from the top of the
checkout, from src/, from src/commands/ (the notes name handler families by
their folder) and as a transcript (tests/transcripts/NAME.in); a bare file
name exists when a file of that name is anywhere in the tree. "*" matches as
in the shell. Placeholders are written in capitals (PLACEHOLDERS): the path
is checked up to the folder before the first of them.
"""
import glob
import os
import re
import sys
import tempfile

EXTENSIONS = (".h", ".cpp", ".py", ".sh", ".hlp", ".dat", ".md", ".txt", ".png", ".qvc", ".in", ".out")
PLACEHOLDERS = ("FAMILY", "NAME", "TARGET")
ROOTS = ("", "src", "src/commands")
SEARCHED = ("src", "tests", "tools", "lib", "docs", "bench")
TOKEN = re.compile(r"`([^`\s()]+)`")


def names_in(text):
    for m in TOKEN.finditer(text):
        token = m.group(1)
        if "/" in token or token.endswith(EXTENSIONS):
            line = text.count("\n", 0, m.start()) + 1
            yield line, token


def basenames(top):
    found = set()
    for folder in SEARCHED:
        for root, dirs, files in os.walk(os.path.join(top, folder)):
            found.update(files)
            found.update(dirs)
    return found


def exists(top, token, known):
    cut = min((token.find(p) for p in PLACEHOLDERS if p in token), default=-1)
    if cut >= 0:
        token = token[: token.rfind("/", 0, cut) + 1]
        if not token:
            return True  # a pattern such as NAME.out: nothing to look up
    token = token.rstrip("/") or "."
    if "/" not in token and "*" not in token and token in known:
        return True
    candidates = [os.path.join(top, root, token) for root in ROOTS]
    candidates.append(os.path.join(top, "tests", "transcripts", token + ".in"))
    return any(glob.glob(c) if "*" in c else os.path.exists(c) for c in candidates)


def check(doc, top):
    with open(doc, encoding="utf-8") as f:
        text = f.read()
    known = basenames(top)
    return [f"{os.path.relpath(doc, top)}:{line}: no such file or folder: {token}"
            for line, token in names_in(text) if not exists(top, token, known)]


def self_test():
    """A tree with a few files: the names it has pass, one it lacks fails."""
    failures = []
    with tempfile.TemporaryDirectory() as top:
        for path in ("src/models/catalogue.cpp", "src/commands/fit/fit_commands.cpp",
                     "tests/transcripts/data/saving.in", "tools/check_layers.py"):
            os.makedirs(os.path.dirname(os.path.join(top, path)), exist_ok=True)
            open(os.path.join(top, path), "w").close()
        doc = os.path.join(top, "design.md")
        good = ("`models/catalogue.cpp` `src/models/` `fit/` `fit_commands.cpp` `data/saving` "
                "`tools/check_layers.py` `tests/transcripts/FAMILY/NAME.in` `models/*.cpp` `s.fit` `QVMARK.DAT`\n")
        with open(doc, "w") as f:
            f.write(good)
        if check(doc, top):
            failures.append("names that exist fail: " + "; ".join(check(doc, top)))
        for missing in ("`plot/plot.cpp`", "`pending_commands.cpp`", "`tests/missing/FAMILY/`", "`models/*.h`"):
            with open(doc, "w") as f:
                f.write(good + missing + "\n")
            if len(check(doc, top)) != 1:
                failures.append(f"not caught: {missing}")
    for f in failures:
        print(f)
    print("self-test " + ("failed" if failures else "passed"))
    return 1 if failures else 0


def main(argv):
    if len(argv) > 1 and argv[1] == "--self-test":
        return self_test()
    top = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
    doc = argv[1] if len(argv) > 1 else os.path.join(top, "docs", "design.md")
    errors = check(doc, top)
    for e in errors:
        print(e)
    print(f"design paths: {len(errors)} missing")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
