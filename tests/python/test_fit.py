"""The fits from Python: the same numbers and text as FIT and FIT/C typed
at the prompt, the same minimum as scipy and lmfit on P1, and independent
sessions fitting side by side in threads."""
import threading

import numpy as np
import pytest

import tarva
from conftest import BENCH, gaussians_on_line, p1_problem, program_chunks


def p1_session(tmp_path):
    s = tarva.Session()
    x, y, sigma, starts = p1_problem()
    s.data.set(x, y, sigma)
    s.function = 18
    s.params.values = starts
    s.params.masks = np.ones(len(starts))
    return s


def program_fit(tmp_path, fit_line):
    (tmp_path / "p1.dat").write_bytes((BENCH / "p1.dat").read_bytes())
    _, _, _, starts = p1_problem()
    lines = ["MAKE/3 p1.dat", "FUNCT 18", "NPAR 50", "PARAM"] + ["%r" % v for v in starts] + ["MASK/1", fit_line]
    return program_chunks(lines, tmp_path)[-1]


@pytest.mark.parametrize("kind", ["FIT/C", "FIT"])
def test_fits_print_and_find_what_the_command_line_does(tmp_path, monkeypatch, kind):
    monkeypatch.chdir(tmp_path)
    typed = program_fit(tmp_path, kind)
    s = p1_session(tmp_path)
    r = s.fit_converging() if kind == "FIT/C" else s.fit()
    assert r.text == typed
    # The same fit typed into another session: bit for bit the same numbers.
    other = p1_session(tmp_path)
    assert other.run(kind) == typed
    assert np.array_equal(other.params.values, r.values)
    assert np.array_equal(other.params.errors, r.errors)
    assert np.array_equal(s.params.values, r.values)
    assert r.kind == kind and r.points == 1024 and r.dof == 1024 - 50
    assert r.names[:5] == s.params.names[:5] and len(r.names) == 50
    assert r.covariance.shape == (50, 50) and r.correlation.shape == (50, 50)
    assert np.allclose(np.diag(r.correlation), 1.0)
    if kind == "FIT/C":
        assert r.converged and r.stop in ("converged", "rounding")
        assert np.allclose(np.sqrt(np.diag(r.covariance)), r.errors, rtol=1e-12)
        assert r.chi_square == pytest.approx(r.reduced_chi_square * r.dof, rel=1e-12)


def test_converging_fit_reaches_the_minimum_scipy_and_lmfit_find(tmp_path):
    least_squares = pytest.importorskip("scipy.optimize").least_squares
    lmfit = pytest.importorskip("lmfit")
    x, y, sigma, starts = p1_problem()
    r = p1_session(tmp_path).fit_converging()

    def residuals(p):
        return (gaussians_on_line(p, x) - y) / sigma

    sp = least_squares(residuals, starts, method="lm", xtol=1e-12, ftol=1e-12)
    params = lmfit.Parameters()
    for k, v in enumerate(starts):
        params.add("p%d" % k, value=v)
    lm = lmfit.minimize(lambda ps: residuals(np.array([ps["p%d" % k].value for k in range(len(starts))])), params,
                        xtol=1e-12, ftol=1e-12)
    lm_values = np.array([lm.params["p%d" % k].value for k in range(len(starts))])
    for values in (sp.x, lm_values):
        chi = np.sum(residuals(values) ** 2)
        assert r.chi_square == pytest.approx(chi, rel=1e-6)
        assert np.all(np.abs(values - r.values) <= 1e-3 * r.errors + 1e-9 * np.abs(r.values))
    lm_errors = np.array([lm.params["p%d" % k].stderr for k in range(len(starts))])
    # lmfit scales its errors by the reduced chi-square; tarva does not.
    assert np.allclose(lm_errors / np.sqrt(lm.redchi), r.errors, rtol=1e-3)


def test_sessions_fit_side_by_side_in_threads(tmp_path):
    serial = p1_session(tmp_path).fit_converging()
    sessions = [p1_session(tmp_path) for _ in range(4)]
    results = [None] * len(sessions)

    def work(k):
        results[k] = sessions[k].fit_converging()

    threads = [threading.Thread(target=work, args=(k,)) for k in range(len(sessions))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for r in results:
        assert np.array_equal(r.values, serial.values) and r.text == serial.text


def test_a_fit_that_cannot_start_raises_with_the_message(session):
    session.data.set([1.0, 2.0], [3.0, 4.0])
    session.params.values = [1.0]
    session.params.masks = [0]
    with pytest.raises(ValueError, match="No parameters active"):
        session.fit()
    with pytest.raises(ValueError):
        session.fit_converging()
