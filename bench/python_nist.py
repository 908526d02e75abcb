#!/usr/bin/env python3
"""The certified NIST problems (tests/data/nist/) fitted from Python two
ways from both of NIST's starts: tarva's fit_converging (FIT/C) and
scipy.optimize.least_squares with its default tolerances, by its default
method (trust region reflective, "trf") and by MINPACK ("lm"),
both on the same model (the program's catalogue function, evaluated by
tarva for scipy too), the same single-precision data and the same starts,
unweighted. Prints, per run, the log relative error (LRE) of the worst
varied parameter against the exact optimum of the single-precision data,
and how many runs of each reach LRE >= 6.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_nist.py
"""
import math
import pathlib
import sys

import numpy as np
from scipy.optimize import least_squares

import tarva

nist = pathlib.Path(__file__).resolve().parent.parent / "tests" / "data" / "nist"


def numbers(text):
    return [float(t) for t in text.split(",")]


def points(name):
    xs, ys, inside = [], [], False
    for line in (nist / (name + ".dat")).read_text().splitlines():
        if not inside:
            inside = (line.startswith("Data:") and "y" in line and "x" in line
                      and "Response" not in line and "Predictor" not in line)
            continue
        t = line.split()
        if len(t) >= 2:
            ys.append(float(t[0]))
            xs.append(float(t[1]))
    # The program stores single-precision values; both fits see those.
    return np.array(xs, dtype=np.float32), np.array(ys, dtype=np.float32)


def session(case, x, y, start):
    s = tarva.Session()
    s.data.set(x, y, np.zeros_like(x))  # SIGMA 0: unit weights
    s.function = case["function"]
    s.run("NPAR %d" % case["npar"])
    s.params.values = np.array(start)
    s.params.masks = np.array(case["masks"])
    return s


def worst_lre(case, values):
    worst = 15.0
    for k, m in enumerate(case["masks"]):
        if m == 0:
            continue
        ref = case["optimum"][k]
        rel = abs(values[k] - ref) / abs(ref)
        lre = 15.0 if rel == 0 else -math.log10(rel)
        worst = min(worst, lre if math.isfinite(lre) else 0.0)
    return max(worst, 0.0)


def tarva_run(case, x, y, start):
    s = session(case, x, y, start)
    r = s.fit_converging()
    return worst_lre(case, list(r.values))


def scipy_run(case, x, y, start, method):
    s = session(case, x, y, start)
    varied = [k for k, m in enumerate(case["masks"]) if m]
    base = np.array(start, dtype=float)

    def residuals(q):
        p = base.copy()
        p[varied] = q
        s.params.values = p
        return s.evaluate(x) - y.astype(float)

    try:
        r = least_squares(residuals, base[varied], method=method)
    except Exception:
        return 0.0
    p = base.copy()
    p[varied] = r.x
    return worst_lre(case, list(p))


def main():
    lines = (nist / "cases.tsv").read_text().splitlines()
    rows, counts = [], {"tarva": 0, "trf": 0, "lm": 0}
    for line in lines[1:]:
        c = line.split("\t")
        if len(c) < 12:
            continue
        case = {"name": c[0], "function": int(c[1]), "npar": int(c[2]),
                "masks": [int(float(m)) for m in c[3].split(",")], "optimum": numbers(c[10])}
        x, y = points(case["name"])
        for k, start in ((1, c[4]), (2, c[5])):
            if start == "-":
                continue  # the polynomial sets have one start (zeros)
            a = tarva_run(case, x, y, numbers(start))
            b = scipy_run(case, x, y, numbers(start), "trf")
            d = scipy_run(case, x, y, numbers(start), "lm")
            counts["tarva"] += a >= 6
            counts["trf"] += b >= 6
            counts["lm"] += d >= 6
            rows.append((case["name"], k, a, b, d))
            print("%-10s start %d   tarva %5.1f   scipy trf %5.1f   scipy lm %5.1f" % (case["name"], k, a, b, d), flush=True)
    print("runs at LRE >= 6 of %d: tarva %d, scipy trf %d, scipy lm %d"
          % (len(rows), counts["tarva"], counts["trf"], counts["lm"]))


if __name__ == "__main__":
    sys.exit(main())
