"""Shared set-up of the Python module's tests: a fresh session in a scratch
directory, the real program run on the same lines, and the benchmark
spectra."""
import os
import pathlib
import subprocess

import numpy as np
import pytest

import tarva

SOURCE = pathlib.Path(__file__).resolve().parents[2]
BENCH = SOURCE / "bench" / "data"


@pytest.fixture
def session(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    s = tarva.Session()
    yield s
    s.close()


def program_output(lines, cwd):
    """Runs the real program on the lines (commands and answers as typed,
    then EXIT) and returns what it printed before the last prompt."""
    binary = os.environ["TARVA_BINARY"]
    env = dict(os.environ, TARVA_LIB=str(SOURCE / "lib"), HOME=str(cwd))
    out = subprocess.run([binary], input="\n".join(lines) + "\nEXIT\n", capture_output=True, text=True,
                         cwd=cwd, env=env, check=True).stdout
    return out[:out.rindex(" fit> ")]


def program_chunks(lines, cwd):
    """What the program printed after each "fit> " prompt: the output of
    each command line in turn (when no macro runs)."""
    return program_output(lines, cwd).split(" fit> ")[1:]


def p1_problem():
    """P1: 1024 points, 16 Gaussians on a line; x, y, sigma and the starts."""
    x, y, sigma = np.loadtxt(BENCH / "p1.dat", unpack=True)
    starts = [float(line.split()[1]) for line in (BENCH / "p1_start.txt").read_text().splitlines() if line.strip()]
    return x, y, sigma, np.array(starts)


def gaussians_on_line(p, x):
    """Function 18: A1 + A2 x + sum H exp(-4 ln 2 (x - C)^2 / W^2)."""
    y = p[0] + p[1] * x
    for h, c, w in p[2:].reshape(-1, 3):
        y = y + h * np.exp(-2.7725887 * (x - c) ** 2 / w ** 2)
    return y
