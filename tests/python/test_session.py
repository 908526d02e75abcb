"""Session.run against the program itself, and every kind of bad input
from Python: an exception with the program's message, never a crash."""
import math

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st
from hypothesis.extra import numpy as hnp

import tarva
from conftest import BENCH, program_chunks, program_output


def test_run_prints_what_the_program_prints_for_the_same_lines(session, tmp_path):
    (tmp_path / "p1.dat").write_bytes((BENCH / "p1.dat").read_bytes())
    (tmp_path / "setup.qvc").write_text("FUNCT 18\nNPAR 5\nMASK/1\n")
    script = [("MAKE/3 p1.dat", []), ("@ setup", []), ("PARAM", ["40", "0", "700", "41", "7.5"]),
              ("FVAL 41", []), ("PARAM/A", []), ("CHI", []), ("MODE", ["4"])]
    typed = []
    for line, answers in script:
        typed += [line] + answers
    expected = program_output(typed, tmp_path)
    got = [session.run(line, answers) for line, answers in script]
    assert "".join(" fit> " + text for text in got) == expected
    assert session.function == 18 and len(session.params) == 5
    assert "Reduced chi-squared" in got[4]


def test_answers_as_a_macro_text_and_several_lines_at_once(session):
    out = session.run("NPAR 3\nPARAM", "1.5\n2.5\n3.5\n")
    assert "Number of parameters set to" in out
    assert list(session.params.values) == [1.5, 2.5, 3.5]


def test_prompt_without_an_answer_raises_and_the_session_goes_on(session):
    with pytest.raises(ValueError, match="no answer left for the prompt"):
        session.run("NPAR 2\nPARAM", ["7"])
    assert session.params.values[0] == 7
    assert "Function number set to 18" in session.run("FUNCT 18")


def test_exit_closes_the_session(session):
    session.run("EXIT")
    assert session.closed
    for call in (lambda: session.run("CHI"), lambda: session.data.x, lambda: session.fit_converging(),
                 lambda: session.params.values, lambda: setattr(session, "function", 18)):
        with pytest.raises(ValueError, match="closed"):
            call()


def test_bad_arguments_raise(session, tmp_path):
    with pytest.raises(ValueError, match="40 columns"):
        session.run("DATA " + "x" * 60)
    with pytest.raises(OSError, match="does not exist"):
        session.load(str(tmp_path / "missing.fit"))
    with pytest.raises(OSError, match="does not exist"):
        session.import_file(str(tmp_path / "missing.spe"))
    for n in (0, 51, -3):
        with pytest.raises(ValueError, match="1 to 50"):
            session.function = n
    bad_points = [
        (np.arange(2000.0), np.arange(2000.0)),  # too many points
        (np.arange(5.0), np.arange(4.0)),  # lengths differ
        (np.array([0, 1, math.nan]), np.ones(3)),  # not finite
        (np.array(["a", "b"]), np.ones(2)),  # not numbers
        (np.ones(3, dtype=complex), np.ones(3)),
        (np.ones((2, 2)), np.ones(4)),
    ]
    for x, y in bad_points:
        with pytest.raises(ValueError):
            session.data.set(x, y)
    session.data.set(np.arange(4.0), np.ones(4))
    with pytest.raises(ValueError, match="4 points"):
        session.data.y = np.ones(5)
    with pytest.raises(ValueError):
        session.params.values = np.zeros(51)
    with pytest.raises(ValueError):
        session.params.masks = [2] * len(session.params)
    with pytest.raises(ValueError):
        session.params.bounds = [(1.0, 0.0)] * len(session.params)
    with pytest.raises(ValueError):
        session.fit_converging(max_iter=0)
    with pytest.raises(ValueError, match="positive"):
        session.lines_near(-1.0)


def test_data_round_trips_as_float32(session):
    x = np.linspace(0, 1, 7)
    session.data.set(x, x ** 2, sigma=np.full(7, 0.5))
    assert session.data.x.dtype == np.float32
    assert np.array_equal(session.data.x, x.astype(np.float32))
    assert np.array_equal(session.data.sigma, np.full(7, 0.5, dtype=np.float32))
    assert session.data.y is not session.data.y  # copies
    session.data.y = np.arange(7, dtype=np.int64)
    assert np.array_equal(session.data.y, np.arange(7, dtype=np.float32))


arrays = hnp.arrays(dtype=st.sampled_from([np.float32, np.float64, np.int32, np.complex64, np.bool_, "U3"]),
                    shape=st.integers(0, 1100), elements=None)


@settings(max_examples=150, deadline=None)
@given(x=arrays, y=arrays, fn=st.integers(-5, 60))
def test_random_input_is_taken_or_refused_never_a_crash(x, y, fn):
    with tarva.Session() as s:
        try:
            s.data.set(x, y)
        except ValueError:
            pass
        else:
            assert len(s.data) == len(x) <= 1024
            assert np.array_equal(s.data.y, np.asarray(y, dtype=np.float32))
        try:
            s.function = fn
        except ValueError:
            assert not 1 <= fn <= 50
        try:
            v = s.evaluate(x)
        except ValueError:
            pass
        else:
            assert v.shape == (len(x),)


def test_python_m_tarva_is_the_interactive_program(tmp_path):
    import os
    import subprocess
    import sys

    lines = ["FUNCT 18", "NPAR 4", "PARAM 2", "2.5", "FVAL 3"]
    expected = program_chunks(lines, tmp_path)
    env = dict(os.environ, HOME=str(tmp_path))
    env.pop("TARVA_LIB", None)
    out = subprocess.run([sys.executable, "-m", "tarva"], input="\n".join(lines) + "\nEXIT\n", capture_output=True,
                         text=True, cwd=tmp_path, env=env, check=True)
    assert out.stdout.split(" fit> ")[1:-1] == expected
    assert "TARVA - V" in out.stderr
