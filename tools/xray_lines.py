#!/usr/bin/python3
"""Writes lib/xraylines.dat, tarva's X-ray and gamma line database, from xraylib.

The line energies, radiative rates, fluorescence cross sections and
radionuclide tables come from xraylib (T. Schoonjans et al., BSD licence;
Debian package python3-xraylib). The program and its tests only read the
generated file, which is committed; run this script to regenerate it byte
for byte:

    /usr/bin/python3 tools/xray_lines.py [output]     (default lib/xraylines.dat)

Layout: each set is a header "(A4,I4,1x,I4)" (name = element symbol, a blank
and the family letter K, L, M or G; line count; isotope number) followed by
its lines as energy (keV), relative intensity pairs in "(10F7.3)", five pairs
to a text line. A header with count 0 ends the file.

Sets, in this order (all K and L sets lie within the first 200, the part of
the file that the peak search scans):
  K lines for Z = 6..92, L lines for Z = 20..92, M lines for Z = 57..92,
  then the calibration sources of xraylib's radionuclide table (family G:
  their gamma rays and the X-rays of the daughter, isotope = mass number).
Each set holds its strongest lines (at most 15), strongest first, with
intensities relative to the strongest (1.000). The intensity of a line is its
fluorescence cross section (with cascades) for photons just above the
family's highest absorption edge, so lines of the L and M subshells are
weighed against each other as an X-ray fluorescence spectrum shows them.
"""
import os
import re
import sys

import xraylib as xrl

MAX_LINES = 15
K_RANGE = range(6, 93)
L_RANGE = range(20, 93)
M_RANGE = range(57, 93)
SOURCES = ["55Fe", "57Co", "109Cd", "125I", "133Ba", "137Cs", "153Gd", "238Pu", "241Am", "244Cm"]

LINE_NAME = re.compile(r"^(K|L[1-3]|M[1-5])(L[1-3]|M[1-5]|N[1-7]|O[1-7]|P[1-5]|Q[1-3])_LINE$")
FAMILY_LINES = {}
for attr in sorted(dir(xrl)):
    m = LINE_NAME.match(attr)
    if m:
        FAMILY_LINES.setdefault(m.group(1)[0], []).append(getattr(xrl, attr))
# The edge just above which a family is excited.
FAMILY_EDGE = {"K": xrl.K_SHELL, "L": xrl.L1_SHELL, "M": xrl.M1_SHELL}


def symbol(z):
    return xrl.AtomicNumberToSymbol(z).upper()


def header(name, count, isotope):
    return "%-4s%4d %4d\n" % (name[:4], count, isotope)


def pairs(lines):
    """(energy, intensity) pairs in (10F7.3), five pairs to a text line."""
    fields = []
    for energy, intensity in lines:
        fields += ["%7.3f" % energy, "%7.3f" % intensity]
    return "".join("".join(fields[i:i + 10]) + "\n" for i in range(0, len(fields), 10))


def strongest(lines):
    """The strongest lines first, relative to the strongest; lines that would
    read as intensity 0.000 and repeats of a kept (energy, intensity) are left out."""
    lines = [(e, i) for e, i in lines if e > 0.0 and i > 0.0 and e < 999.9995]
    if not lines:
        return []
    lines.sort(key=lambda p: (-p[1], p[0]))
    top = lines[0][1]
    kept = []
    seen = set()
    for energy, intensity in lines:
        rel = round(intensity / top, 3)
        key = ("%7.3f" % energy, "%7.3f" % rel)
        if rel < 0.001 or key in seen:
            continue
        seen.add(key)
        kept.append((energy, rel))
        if len(kept) == MAX_LINES:
            break
    return kept


def family_set(z, family):
    try:
        excitation = 1.05 * xrl.EdgeEnergy(z, FAMILY_EDGE[family])
    except ValueError:
        return []
    lines = []
    for line in FAMILY_LINES[family]:
        try:
            energy = xrl.LineEnergy(z, line)
            intensity = xrl.CS_FluorLine_Kissel_Cascade(z, line, excitation)
        except ValueError:
            continue
        lines.append((energy, intensity))
    return strongest(lines)


def source_set(name):
    nuclide = xrl.GetRadioNuclideDataByName(name)
    lines = list(zip(nuclide["GammaEnergies"], nuclide["GammaIntensities"]))
    for line, intensity in zip(nuclide["XrayLines"], nuclide["XrayIntensities"]):
        try:
            lines.append((xrl.LineEnergy(nuclide["Z_xray"], line), intensity))
        except ValueError:
            continue
    return nuclide["Z"], nuclide["A"], strongest(lines)


def database():
    out = []
    for family, zs in (("K", K_RANGE), ("L", L_RANGE), ("M", M_RANGE)):
        for z in zs:
            lines = family_set(z, family)
            if lines:
                out.append(header("%-2s %s" % (symbol(z), family), len(lines), 0) + pairs(lines))
    for name in SOURCES:
        z, a, lines = source_set(name)
        if lines:
            out.append(header("%-2s G" % symbol(z), len(lines), a) + pairs(lines))
    assert len(out) <= 300
    return "".join(out) + header("END", 0, 0)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "lib", "xraylines.dat")
    with open(target, "w", encoding="ascii", newline="\n") as f:
        f.write(database())


if __name__ == "__main__":
    main()
