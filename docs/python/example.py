# A worked example of the Python module: an X-ray spectrum imported, its
# peaks found and named, function 18 fitted to convergence and the picture
# drawn. Run it as a script (python3 example.py) or paste the cells into a
# notebook, where the last line shows the picture inline.

# %% Import the spectrum: 2048 channels of 10 eV, two channels to a point.
import pathlib

import numpy as np

import tarva

here = pathlib.Path(__file__).resolve().parent if "__file__" in globals() else pathlib.Path(".")
s = tarva.Session()
print(s.import_file(str(here / "steel.spe"), compress=2))
kev = s.spectrum["energy_per_channel"]  # X counts the file's channels
print(len(s.data), "points from channel", s.data.x[0], "to", s.data.x[-1])

# %% Find the peaks and name the elements (PEAKS, PEAKS/I).
peaks = s.peaks(identify=True)
for p in peaks:
    print(f"channel {p['x']:7.1f} = {p['x'] * kev:6.3f} keV  height {p['height']:8.1f}  {p['name']}")

# %% Start function 18 (a line and a Gaussian per peak) from the peaks and
# fit it to convergence (FIT/C).
s.run("PEAKS/S")
result = s.fit_converging()
print(result)
for name, value, error in zip(result.names, result.values, result.errors):
    print(f"{name:10s} {value:12.5g} +- {error:.2g}")

# %% The model at any energy, and the picture: a file, or inline in a
# notebook (the session shows itself as PNG or SVG).
print("model at 6.4 keV:", s.evaluate(np.array([6.4 / kev]))[0])
s.draw("steel.png")
s
