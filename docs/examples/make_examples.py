#!/usr/bin/env python3
"""Writes the example files of docs/examples: a data file, a column text
spectrum (MCA/U) and a binary spectrum, in the layouts the README describes,
and one file of each instrument layout IMPORT reads with its own readers,
written from the layouts' public descriptions: a $SPEC_ID/$DATA text
spectrum, a <<PMCA SPECTRUM>> text spectrum, an ORTEC CHN binary spectrum
and a plain table with semicolons and decimal commas."""
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


def gauss(c, centre, width, height):
    return height * math.exp(-0.5 * ((c - centre) / width) ** 2)


def noise(n, seed):
    """Deterministic scatter of a few counts (a small linear congruential
    generator), so the spectra do not look drawn with a ruler."""
    out, x = [], seed
    for _ in range(n):
        x = (1103515245 * x + 12345) % 2 ** 31
        out.append(x % 7 - 3)
    return out


# X-ray fluorescence spectrum, 4096 channels of 10 eV: Fe K alpha and beta,
# Cu K alpha and Pb L alpha and beta on a falling background.
jitter = noise(4096, 7)
xrf = [max(0, round(40 * math.exp(-c / 1500) + gauss(c, 640, 9, 900) + gauss(c, 706, 9, 130)
                    + gauss(c, 805, 10, 600) + gauss(c, 1055, 11, 350) + gauss(c, 1261, 12, 280)) + jitter[c])
       for c in range(4096)]
spe = ["$SPEC_ID:", "Brass and solder on steel, 40 kV", "$DATE_MEA:", "03/14/2024 10:20:00",
       "$MEAS_TIM:", "300 312", "$DATA:", "0 4095"]
spe += ["%8d" % c for c in xrf]
spe += ["$ENER_FIT:", "0.000000 0.010000", "$MCA_CAL:", "2", "0.000000E+000 1.000000E-002 keV"]
open("xrf.spe", "w").write("\n".join(spe) + "\n")

# Silicon-drift detector spectrum, 2048 channels, calibrated by two lines
# (Mn K alpha 5.899 keV at channel 590, Cu K alpha 8.048 keV at channel 805).
jitter = noise(2048, 11)
sdd = [max(0, round(25 + gauss(c, 590, 8, 700) + gauss(c, 650, 9, 95) + gauss(c, 805, 9, 420)) + jitter[c])
       for c in range(2048)]
pmca = ["<<PMCA SPECTRUM>>", "TAG - live_data", "DESCRIPTION - Mn and Cu foils", "GAIN - 20.0",
        "THRESHOLD - 0", "LIVE_MODE - 0", "PRESET_TIME - 120", "LIVE_TIME - 118.250000",
        "REAL_TIME - 120.000000", "START_TIME - 03/14/2024 11:02:37", "SERIAL_NUMBER - 4711",
        "<<CALIBRATION>>", "LABEL - keV", "590 5.899", "805 8.048", "<<DATA>>"]
pmca += [str(c) for c in sdd]
pmca += ["<<END>>"]
open("sdd.mca", "w").write("\r\n".join(pmca) + "\r\n")

# Gamma spectrum, 2048 channels of 0.5 keV (Cs-137 at 661.7 keV), as an
# ORTEC CHN file: 32-byte header, counts, 512-byte trailer.
jitter = noise(2048, 13)
gamma = [max(0, round(200 * math.exp(-c / 700) + gauss(c, 1323.4, 3, 2500) + 30 * (c < 1100)) + jitter[c])
         for c in range(2048)]
header = struct.pack("<hhh2sii8s4sHH", -1, 1, 1, b"07", 600 * 50, 588 * 50, b"14MAR241", b"1015", 0, 2048)
trailer = (struct.pack("<hh6f", -101, 0, 0.0, 0.5, 0.0, 1.0, 0.0, 0.0) + b"\0" * 228
           + bytes([9]) + b"NaI 3x3in".ljust(63, b"\0") + bytes([16]) + b"Cs-137 check src".ljust(63, b"\0")
           + b"\0" * 128)
assert len(header) == 32 and len(trailer) == 512
open("gamma.chn", "wb").write(header + struct.pack("<2048i", *gamma) + trailer)

# Optical transmission table: semicolons, decimal commas, a header row.
rows = ["# Transmission of a coloured glass", "Wavelength (nm);Transmission"]
for i in range(301):
    nm = 400 + i
    t = 0.85 - 0.6 * math.exp(-0.5 * ((nm - 560) / 30) ** 2)
    rows.append(("%d;%.4f" % (nm, t)).replace(".", ","))
open("transmission.csv", "w").write("\n".join(rows) + "\n")
