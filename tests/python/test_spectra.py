"""An X-ray spectrum from Python: IMPORT's reading, the peak search and its
element names, the line database, and the pictures of device X."""
import numpy as np
import pytest

from conftest import program_chunks

LINES = [(6.404, 1000.0), (7.058, 140.0), (8.048, 600.0), (8.905, 85.0)]  # Fe K, Cu K


def write_spectrum(path):
    """$SPEC_ID text with 2048 channels of 10 eV, Fe and Cu K lines on a
    falling background, Poisson noise from a fixed seed."""
    e = np.arange(2048) * 0.010
    mean = 40.0 * np.exp(-e / 8.0) + 2.0
    for energy, height in LINES:
        fwhm = 0.001 * np.sqrt(120.0 ** 2 + 2.5 * 3.85 * energy * 1000 * 0.115)
        mean += height * np.exp(-4 * np.log(2) * (e - energy) ** 2 / fwhm ** 2)
    counts = np.random.default_rng(7).poisson(mean)
    text = "$SPEC_ID:\nbrass on steel\n$MEAS_TIM:\n100 102\n$DATA:\n0 2047\n"
    text += "".join("%8d\n" % c for c in counts)
    path.write_text(text + "$MCA_CAL:\n2\n0.0 0.010 keV\n")


def test_import_and_peaks_as_typed_with_elements_named(session, tmp_path):
    write_spectrum(tmp_path / "xrf.spe")
    typed = program_chunks(["IMPORT/C xrf.spe 2", "PEAKS", "PEAKS/I"], tmp_path)
    assert session.import_file("xrf.spe", compress=2) == typed[0]
    assert len(session.data) == 1024 and session.function == 12
    assert session.spectrum["energy_per_channel"] == pytest.approx(0.010)  # per channel of the file
    peaks = session.peaks(identify=True)
    # The peaks are PEAKS's own: the same search, typed, prints the same.
    assert session.run("PEAKS") == typed[1]
    assert session.run("PEAKS/I") == typed[2]
    for energy, _ in LINES:
        # X counts the file's channels (10 eV each); the energy is in the
        # experimental parameters.
        kev = peaks["x"] * session.spectrum["energy_per_channel"]
        assert np.min(np.abs(kev - energy)) < 0.02
    names = " ".join(peaks["name"])
    assert "FE" in names.upper() and "CU" in names.upper()
    assert peaks.dtype.names == ("x", "fwhm", "height", "area", "significance", "position", "name")
    with pytest.raises(ValueError, match="threshold"):
        session.peaks(threshold=-1)


def test_line_database(session):
    fe = session.xray_lines("Fe", "K")
    assert fe["energy"][np.argmax(fe["intensity"])] == pytest.approx(6.40, abs=0.01)
    near = session.lines_near(8.04)
    cu = near[near["set"] == "CU K"]
    assert len(cu) and abs(cu["difference"][0]) < 0.01
    assert np.all(np.diff(np.abs(near["difference"])) >= 0)
    with pytest.raises(ValueError, match="no lines"):
        session.xray_lines("Xx", "K")


def test_pictures_into_files_and_inline(session, tmp_path):
    assert session._repr_png_() is None  # nothing to draw yet
    with pytest.raises(ValueError, match="no data"):
        session.draw("empty.pdf")
    session.data.set(np.arange(50.0), np.sin(np.arange(50.0) / 5) + 2)
    magic = {"pdf": b"%PDF", "svg": b"<?xml", "png": b"\x89PNG"}
    for ext, start in magic.items():
        out = session.draw("plot." + ext)
        assert "Plot written to" in out
        assert (tmp_path / ("plot." + ext)).read_bytes().startswith(start)
    assert session._repr_png_().startswith(magic["png"])
    assert "<svg" in session._repr_svg_()
    with pytest.raises(OSError):
        session.draw(str(tmp_path / "no" / "such" / "dir.png"))
