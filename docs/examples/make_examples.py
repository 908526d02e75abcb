#!/usr/bin/env python3
"""Writes the example files of docs/examples: a data file, a column text
spectrum (MCA/U) and a binary spectrum, in the layouts the README describes."""
import math
import struct

# Data file: a line plus one Gaussian (function 18), 20 points.
lines = ["Example: one peak on a sloping background", "Channel", "Counts",
         " 18 5", " 10. 0.1 45. 10. 4.", " 1 1 1 1 1", " 0"]
for i in range(20):
    x = float(i)
    y = round(10 + 0.1 * x + 50 * math.exp(-0.5 * ((x - 10) / 2) ** 2))
    lines.append(f" {x:4.1f} {y:6.1f} {max(1.0, math.sqrt(y)):6.2f}")
open("peaks.fit", "w").write("\n".join(lines) + "\n")

# Column text spectrum: heading, then channel (I4) and six counts (F8.0).
counts = [round(20 + 300 * math.exp(-0.5 * ((c - 12) / 2.5) ** 2)) for c in range(24)]
out = ["Example column spectrum (MCA/U)"]
for start in range(0, 24, 6):
    out.append("  %4d  " % (start + 1) + " ".join("%8s" % (str(c) + ".") for c in counts[start:start + 6]))
open("counts.txt", "w").write("\n".join(out) + "\n")

# Binary spectrum: one record framed by its length: counts, type, caption, parameters.
cts = [round(5 + 400 * math.exp(-0.5 * ((c - 300) / 8) ** 2) + 200 * math.exp(-0.5 * ((c - 640) / 10) ** 2))
       for c in range(1024)]
payload = (struct.pack("<1024i", *cts) + b"XRAY" + b"Example binary spectrum".ljust(100)
           + struct.pack("<10f", 1024, 0, 0.02, 0.1, 1.0, 4.0026, 2.0, 170, 0, 0))
assert len(payload) == 4240
open("counts.mca", "wb").write(struct.pack("<i", 4240) + payload + struct.pack("<i", 4240))
