#!/usr/bin/env python3
"""P1 (1024 points, 16 Gaussians on a line, 50 parameters) fitted from
Python three ways, in alternating rounds: tarva's fit_converging (FIT/C),
scipy.optimize.least_squares (method "lm", MINPACK) and lmfit.minimize
(leastsq), the same model, data and starts. Prints the median time per fit
of each, the ratios and the chi-square each reached.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_p1.py [rounds]
"""
import os
import pathlib
import statistics
import sys
import time

import lmfit
import numpy as np
from scipy.optimize import least_squares

import tarva

here = pathlib.Path(__file__).resolve().parent
x, y, sigma = np.loadtxt(here / "data" / "p1.dat", unpack=True)
starts = np.array([float(l.split()[1]) for l in (here / "data" / "p1_start.txt").read_text().splitlines() if l.strip()])


def model(p):
    out = p[0] + p[1] * x
    for h, c, w in p[2:].reshape(-1, 3):
        out = out + h * np.exp(-2.7725887 * (x - c) ** 2 / w ** 2)
    return out


def residuals(p):
    return (model(p) - y) / sigma


def run_tarva():
    s = tarva.Session()
    s.data.set(x, y, sigma)
    s.function = 18
    s.params.values = starts
    s.params.masks = np.ones(len(starts))
    return s.fit_converging().chi_square


def run_scipy():
    return float(np.sum(least_squares(residuals, starts, method="lm").fun ** 2))


names = ["p%d" % k for k in range(len(starts))]


def run_lmfit():
    params = lmfit.Parameters()
    for n, v in zip(names, starts):
        params.add(n, value=v)
    r = lmfit.minimize(lambda ps: residuals(np.array([ps[n].value for n in names])), params)
    return r.chisqr


rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 11
ways = {"tarva fit_converging": run_tarva, "scipy least_squares": run_scipy, "lmfit minimize": run_lmfit}
times = {k: [] for k in ways}
chi = {}
for _ in range(rounds):
    for name, f in ways.items():
        t = time.perf_counter()
        chi[name] = f()
        times[name].append(time.perf_counter() - t)
print("load:", os.getloadavg())
base = statistics.median(times["tarva fit_converging"])
for name in ways:
    m = statistics.median(times[name])
    print("%-22s median %8.2f ms  (x %.1f of tarva)  chi-square %.10g" % (name, m * 1e3, m / base, chi[name]))
