#!/usr/bin/env python3
"""Checks the layering of src/ from the #include lines of its files.

    tools/check_layers.py [src-dir]
    tools/check_layers.py --self-test

Every folder of src/ belongs to one layer (LAYERS, bottom first). The check
fails when
  - a file includes a header of a higher layer,
  - the folders include each other in a cycle, at any level: the graph is
    drawn once with each top folder (its subfolders included) as one node,
    then with each folder two levels deep as one node, and so on, so a
    subfolder that includes a folder which includes the subfolder's parent
    is a cycle as much as two folders that include each other,
  - a library file includes the Session header, directly or through other
    headers, or names the Session at all (outside comments),
  - the Session header includes, directly or through other headers, a plot
    driver, the plot layer, a command or the interpreter (EXCEPTIONS lists
    the known includes that still break a rule, until the device layer
    loses them).
Includes are written from src/ ("folder/file.h"); system headers in angle
brackets are not followed.
"""
import os
import re
import sys
import tempfile

# Bottom to top. A folder not listed takes the layer of its nearest listed
# parent folder; a folder with none is an error (new folders are placed here).
LAYERS = [
    ("text", ["text"]),
    ("input/output core", ["io"]),
    ("libraries", ["dataset", "models", "files", "fitting", "graphics", "physics", "analysis"]),
    ("session", ["session"]),
    ("plot layer", ["plot"]),
    ("commands", ["commands"]),
    ("interpreter", ["interpreter"]),
    ("batch driver", ["batch"]),
    ("program", ["."]),
]
LIBRARY_LAYER = "libraries"
SESSION_HEADER = "session/session.h"
# What session.h must not reach.
SESSION_FORBIDDEN = ["graphics/drivers", "plot", "commands", "interpreter"]
# Known includes that break a rule, as (including file or folder, included
# file or folder), each with the reason it still stands; every check skips
# them.
EXCEPTIONS = set()


def excepted(includer, included):
    return any(under(includer, a) and under(included, b) for a, b in EXCEPTIONS)

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SESSION_NAME = re.compile(r"\bSession\b")


def folder_of(path):
    d = os.path.dirname(path)
    return d if d else "."


def folder_at_depth(folder, depth):
    """The folder cut to its first `depth` components ("graphics/drivers" at
    depth 1 is "graphics"); a shallower folder stays as it is."""
    return "/".join(folder.split("/")[:depth])


def layer_of(folder):
    """The layer of a folder: its own entry or its nearest parent's ("."
    stands for the files of src/ itself, not for every folder)."""
    f = folder
    while True:
        for index, (_, folders) in enumerate(LAYERS):
            if f in folders:
                return index
        if "/" not in f:
            return None
        f = folder_of(f)


def under(path, folder):
    return path == folder or path.startswith(folder + "/")


def strip_comments(text):
    text = re.sub(r"/\*.*?\*/", "", text, flags=re.S)
    text = re.sub(r"//[^\n]*", "", text)
    return re.sub(r'"(\\.|[^"\\])*"', '""', text)


def read_tree(src):
    files = {}
    for root, _, names in os.walk(src):
        for name in names:
            if name.endswith((".h", ".cpp")):
                full = os.path.join(root, name)
                rel = os.path.relpath(full, src).replace(os.sep, "/")
                with open(full, encoding="utf-8", errors="replace") as f:
                    files[rel] = f.read()
    return files


def includes_of(files):
    inc = {}
    for path, text in files.items():
        inc[path] = [m.group(1) for m in map(INCLUDE.match, text.splitlines()) if m]
    return inc


def closure(start, inc):
    """Every header reached from `start`, with the file that includes it
    (the includes of EXCEPTIONS are not followed)."""
    seen = {}
    stack = [start]
    while stack:
        f = stack.pop()
        for h in inc.get(f, []):
            if excepted(f, h):
                continue
            if h not in seen:
                seen[h] = f
                stack.append(h)
    return seen


def find_cycle(edges):
    """A list of folders forming a cycle, or None."""
    state = {}
    path = []

    def visit(n):
        state[n] = 1
        path.append(n)
        for m in sorted(edges.get(n, ())):
            if state.get(m) == 1:
                return path[path.index(m):] + [m]
            if m not in state:
                found = visit(m)
                if found:
                    return found
        path.pop()
        state[n] = 2
        return None

    for n in sorted(edges):
        if n not in state:
            found = visit(n)
            if found:
                return found
    return None


def check(src):
    files = read_tree(src)
    inc = includes_of(files)
    errors = []
    folder_includes = []  # (including folder, included folder)
    for path in sorted(files):
        here = folder_of(path)
        layer = layer_of(here)
        if layer is None:
            errors.append(f"{path}: folder {here} has no layer (add it to LAYERS in tools/check_layers.py)")
            continue
        for h in inc[path]:
            if h not in files or excepted(path, h):
                continue  # a generated or outside header, or a known exception
            there = folder_of(h)
            if there != here:
                folder_includes.append((here, there))
            other = layer_of(there)
            if other is not None and other > layer:
                errors.append(f"{path}: includes {h} of a higher layer ({LAYERS[other][0]} above {LAYERS[layer][0]})")

    # Top folders first, so a cycle is reported at the widest level it shows.
    deepest = max((f.count("/") + 1 for pair in folder_includes for f in pair), default=0)
    for depth in range(1, deepest + 1):
        edges = {}
        for a, b in folder_includes:
            a, b = folder_at_depth(a, depth), folder_at_depth(b, depth)
            if a != b:
                edges.setdefault(a, set()).add(b)
        cycle = find_cycle(edges)
        if cycle:
            errors.append("folder cycle: " + " -> ".join(cycle))
            break

    library = [i for i, (name, _) in enumerate(LAYERS) if name == LIBRARY_LAYER][0]
    for path in sorted(files):
        if layer_of(folder_of(path)) not in (0, 1, library):
            continue
        reached = closure(path, inc)
        if SESSION_HEADER in reached:
            errors.append(f"{path}: library file reaches {SESSION_HEADER} (through {reached[SESSION_HEADER]})")
        if SESSION_NAME.search(strip_comments(files[path])):
            errors.append(f"{path}: library file names the Session")

    if SESSION_HEADER in files:
        for h, by in sorted(closure(SESSION_HEADER, inc).items()):
            for folder in SESSION_FORBIDDEN:
                if under(folder_of(h), folder):
                    errors.append(f"{SESSION_HEADER}: reaches {h} (included by {by})")
    else:
        errors.append(f"{SESSION_HEADER} not found")
    return errors


def self_test():
    """Each rule must be able to fail: small trees that break one rule each."""
    good = {
        "text/format.h": "",
        "io/output_sink.h": '#include "text/format.h"\n',
        "models/fit_state.h": '#include "text/format.h"\n',
        "graphics/drivers/driver.h": "",
        "graphics/graphics_state.h": "struct DeviceDrivers;\n",
        "graphics/drivers/driver.cpp": '#include "graphics/graphics_state.h"\n',
        "session/session.h": '#include "models/fit_state.h"\n#include "graphics/graphics_state.h"\n',
        "plot/plot.h": "// Session of the picture\nstruct Session;\n",
        "commands/commands.h": '#include "session/session.h"\n',
        "interpreter/table.cpp": '#include "commands/commands.h"\n',
        "main.cpp": '#include "interpreter/table.cpp"\n',
    }
    bad = {
        "upward include": {"models/fit_state.h": '#include "session/session.h"\n'},
        "library reaches session": {"models/fit_state.h": '#include "models/x.h"\n',
                                    "models/x.h": '#include "session/session.h"\n'},
        "library names session": {"models/fit_state.h": "struct Session;\n"},
        "folder cycle": {"models/fit_state.h": '#include "graphics/a.h"\n', "graphics/a.h": '#include "models/b.h"\n',
                         "models/b.h": ""},
        # A subfolder's include closes the cycle: dataset -> models -> dataset.
        "cycle through a subfolder": {"dataset/data_set.h": "",
                                      "dataset/files/data_file.h": '#include "models/fit_state.h"\n',
                                      "models/fit_state.h": '#include "dataset/data_set.h"\n'},
        "cycle between subfolders": {"graphics/drivers/a.h": '#include "graphics/fonts/b.h"\n',
                                     "graphics/fonts/b.h": '#include "graphics/drivers/c.h"\n',
                                     "graphics/drivers/c.h": ""},
        "session reaches command": {"session/session.h": '#include "models/fit_state.h"\n#include "commands/c.h"\n',
                                    "commands/c.h": ""},
        "session reaches driver": {"session/session.h": '#include "graphics/drivers/driver.h"\n'},
        "folder without layer": {"misc/x.h": ""},
    }
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        def write(tree, name):
            root = os.path.join(tmp, name)
            for path, text in tree.items():
                full = os.path.join(root, path)
                os.makedirs(os.path.dirname(full), exist_ok=True)
                with open(full, "w") as f:
                    f.write(text)
            return root

        errors = check(write(good, "good"))
        if errors:
            failures.append("the good tree fails: " + "; ".join(errors))
        for name, change in bad.items():
            if not check(write({**good, **change}, name.replace(" ", "_"))):
                failures.append(f"not caught: {name}")
    for f in failures:
        print(f)
    print("self-test " + ("failed" if failures else "passed"))
    return 1 if failures else 0


def main(argv):
    if len(argv) > 1 and argv[1] == "--self-test":
        return self_test()
    src = argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src")
    errors = check(src)
    for e in errors:
        print(e)
    print(f"layering: {len(errors)} problem(s)")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
