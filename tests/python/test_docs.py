"""The worked example of docs/python runs as documented."""
import runpy

from conftest import SOURCE


def test_worked_example_runs(tmp_path, monkeypatch, capsys):
    monkeypatch.chdir(tmp_path)
    names = runpy.run_path(str(SOURCE / "docs" / "python" / "example.py"))
    out = capsys.readouterr().out
    assert (tmp_path / "steel.png").read_bytes().startswith(b"\x89PNG")
    assert names["result"].converged
    elements = " ".join(names["peaks"]["name"]).upper()
    for element in ("CR", "FE", "CU"):
        assert element in elements, out
    assert names["s"]._repr_png_().startswith(b"\x89PNG")
