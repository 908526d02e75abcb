"""tarva from Python: the program's sessions, fits, readers and pictures.

    import tarva
    s = tarva.Session()
    s.import_file("spectrum.spe")
    print(s.run("PEAKS/S"))
    r = s.fit_converging()
    s.draw("fit.pdf")

A Session is one run of the program: `run("LINE")` types a command line at
its prompt and returns what it printed; the typed entries (data, params,
fit, fit_converging, peaks, draw, ...) work on the same records through the
routines the commands use, so their numbers are the command line's, bit for
bit.
"""
import os as _os

from . import _tarva

__all__ = ["Session", "FitResult", "Data", "library_dir", "version"]

version = _tarva.version
FitResult = _tarva.FitResult
Data = _tarva.Data


def library_dir():
    """The directory of the help files and the X-ray line database:
    $TARVA_LIB, else the package's own lib/, else the one compiled in."""
    env = _os.environ.get("TARVA_LIB")
    if env:
        return env
    own = _os.path.join(_os.path.dirname(__file__), "lib")
    if _os.path.isdir(own):
        return own
    return _tarva.default_library_dir


class Session(_tarva.Session):
    """One session of the program (see the module's help)."""

    def __init__(self, library_dir=None):
        super().__init__(library_dir if library_dir is not None else globals()["library_dir"]())

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False
