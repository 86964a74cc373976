"""FilterSet photometry: the tables' numbers bit for bit, the fast batch path against the
command line's literal routines, threads, dtypes and memory orders, shapes, missing values
and systems."""

import os
import threading

import numpy as np
import pytest
from conftest import GALAXIES, SOURCE, column

import veltrane

FILTERS = os.path.join(SOURCE, "examples", "filters")


@pytest.fixture(scope="module")
def fs():
    return veltrane.FilterSet(FILTERS)


def bits(a):
    return np.ascontiguousarray(a, dtype=np.float32).view(np.uint32)


def same(a, b):
    return np.array_equal(bits(a), bits(b))


# ---- The tables ---------------------------------------------------------------------------

SLOTS = [("obs", "lambda_ext", "flux_ext"), ("tot", "lambda", "flux_total"), ("young", "lambda", "flux_young"),
         ("old", "lambda", "flux_old")]


@pytest.mark.parametrize("galaxy", GALAXIES)
def test_magnitudes_of_each_galaxy_equal_its_ecsv_table_bit_for_bit(tables, fs, galaxy):
    mag, spc = tables[galaxy]
    for slot, wave_col, flux_col in SLOTS:
        wave = column(spc, wave_col)
        keep = ~np.isnan(wave)
        got = fs.magnitudes(wave[keep], column(spc, flux_col)[keep])
        want = np.stack([column(mag, f"m_{slot}_{s}") for s in veltrane.SYSTEMS], axis=1)
        assert same(got, want), (galaxy, slot)
    covered, positive = fs.coverage(wave[keep], column(spc, "flux_old")[keep])  # the last one measured
    assert same(covered, column(mag, "coverage")) and same(positive, column(mag, "coverage_positive"))
    assert same(fs.lambda_eff, column(mag, "lambda_eff")) and same(fs.zero_points[:, 0], column(mag, "zero_point"))


# ---- The fast path against the literal one ---------------------------------------------------

def spectra_cases():
    """(name, wave, flux batch) cases that reach every branch of a filter measurement."""
    rng = np.random.default_rng(3)
    fine = np.linspace(3000.0, 11000.0, 900, dtype=np.float32)
    edges = np.unique(np.concatenate([veltrane.FilterSet(FILTERS).curve(i)[0] for i in range(10)]))
    batch = lambda w: rng.uniform(-0.2, 1.0, size=(6, w.size)).astype(np.float32)  # noqa: E731
    noisy = batch(fine)
    noisy[0, ::7] = np.nan
    noisy[1] = -1.0
    noisy[2, :400] = 0.0
    return [("fine grid, negative, zero and NaN fluxes", fine, noisy),
            ("the filters' own samples", edges.astype(np.float32), batch(edges)),
            ("partial overlap", np.linspace(4500.0, 6200.0, 77, dtype=np.float32), batch(np.zeros(77))),
            ("two points", np.array([4000.0, 9000.0], dtype=np.float32), batch(np.zeros(2))),
            ("longer than a run's 20,000", np.linspace(2000.0, 12000.0, 25001, dtype=np.float32), batch(np.zeros(25001))),
            ("no overlap", np.linspace(100.0, 900.0, 50, dtype=np.float32), batch(np.zeros(50)))]


@pytest.mark.parametrize("name, wave, flux", spectra_cases(), ids=lambda c: c if isinstance(c, str) else "")
@pytest.mark.parametrize("weighting", ["energy", "photon"])
def test_batch_path_equals_the_literal_routines_bit_for_bit(name, wave, flux, weighting):
    s = veltrane.FilterSet(FILTERS, weighting=weighting)
    for missing in ("nan", "sentinel"):
        fast = s._measure(wave, flux, True, True, True, missing, 2)
        literal = s._measure(wave, flux, True, True, True, missing, 1, literal=True)
        for key in fast:
            assert same(fast[key], literal[key]), (name, key, missing)


# ---- Threads ------------------------------------------------------------------------------------

def test_threads_give_the_results_of_one_thread_across_chunks_and_blocks(fs):
    rng = np.random.default_rng(5)
    wave = np.linspace(3000.0, 11000.0, 120, dtype=np.float32)
    flux = rng.uniform(0.0, 1.0, size=(8203, wave.size)).astype(np.float32)  # > one block of 2 threads
    one = fs.magnitudes(wave, flux, threads=1)
    assert same(fs.magnitudes(wave, flux, threads=2), one)
    assert same(fs.magnitudes(wave, flux, threads=0), one)
    assert same(fs.magnitudes(wave, flux, threads=64), one)


def test_concurrent_calls_from_python_threads_on_one_filter_set(fs):
    rng = np.random.default_rng(6)
    wave = np.linspace(3000.0, 11000.0, 500, dtype=np.float32)
    batches = [rng.uniform(0.1, 1.0, size=(300, wave.size)).astype(np.float32) for _ in range(6)]
    want = [fs.magnitudes(wave, b) for b in batches]
    got = [None] * len(batches)

    def work(k):
        for _ in range(3):
            got[k] = fs.magnitudes(wave, batches[k], threads=2)

    pool = [threading.Thread(target=work, args=(k,)) for k in range(len(batches))]
    for t in pool:
        t.start()
    for t in pool:
        t.join()
    assert all(same(g, w) for g, w in zip(got, want))


# ---- Dtypes, memory orders, shapes ------------------------------------------------------------

def test_float64_and_any_memory_order_give_the_float32_results(fs):
    rng = np.random.default_rng(7)
    wave = np.linspace(3000.0, 11000.0, 400)
    flux = rng.uniform(0.1, 1.0, size=(40, wave.size))
    want = fs.magnitudes(wave.astype(np.float32), flux.astype(np.float32))
    readonly = flux.astype(np.float32)
    readonly.flags.writeable = False
    for f in (flux, np.asfortranarray(flux), flux.astype(np.float32), np.asfortranarray(flux.astype(np.float32)),
              readonly, flux.tolist()):
        assert same(fs.magnitudes(wave, f), want)
    double = np.repeat(flux.astype(np.float32), 2, axis=1)  # every other point: a strided view
    assert same(fs.magnitudes(np.repeat(wave, 2)[::2], double[:, ::2]), want)
    assert same(fs.magnitudes(wave, flux[::-1])[::-1], want)
    assert same(fs.magnitudes(wave, flux[3]), want[3])


def test_astropy_quantities_are_converted_to_angstrom_and_f_lambda(fs):
    u = pytest.importorskip("astropy.units")
    wave = np.linspace(300.0, 1100.0, 400)  # nm
    f_nu = np.full(400, 3631.0)  # Jy
    f_lambda = 3631e-23 * 2.99792458e18 / (wave * 10.0) ** 2
    np.testing.assert_allclose(fs.magnitudes(wave * u.nm, f_nu * u.Jy), fs.magnitudes(wave * 10.0, f_lambda), atol=1e-5)


@pytest.mark.parametrize("dtype", [np.int64, np.float16, np.complex64, ">f4", object])
def test_other_dtypes_are_refused(fs, dtype):
    wave = np.linspace(3000.0, 11000.0, 10)
    with pytest.raises(TypeError, match="float32 or float64"):
        fs.magnitudes(wave, np.ones(10).astype(dtype))
    with pytest.raises(TypeError, match="float32 or float64"):
        fs.magnitudes(wave.astype(dtype), np.ones(10))


@pytest.mark.parametrize("wave, flux, message", [
    (np.linspace(3e3, 1e4, 50), np.ones((50, 7)), "pass flux.T"),
    (np.linspace(3e3, 1e4, 50), np.ones(49), "49 points per spectrum but wave has 50"),
    (np.linspace(3e3, 1e4, 50), np.ones((2, 3, 50)), "one or two dimensions"),
    (np.ones((2, 50)), np.ones(50), "one-dimensional"),
    (np.array([4000.0, 5000.0, 5000.0, 6000.0]), np.ones(4), r"wavelength 2 \(5000 Å\) is not above"),
    (np.array([4000.0, 6000.0, 5000.0]), np.ones(3), "increase strictly"),
    (np.array([4000.0, np.nan, 6000.0]), np.ones(3), "not a finite number"),
    (np.array([], dtype=np.float32), np.ones(0), "empty"),
])
def test_bad_shapes_and_grids_are_refused_with_a_message(fs, wave, flux, message):
    with pytest.raises(ValueError, match=message):
        fs.magnitudes(wave, flux)


def test_result_shapes(fs):
    wave = np.linspace(3000.0, 11000.0, 60)
    assert fs.magnitudes(wave, np.ones(60)).shape == (10, 7)
    assert fs.magnitudes(wave, np.ones((3, 60))).shape == (3, 10, 7)
    assert fs.magnitudes(wave, np.ones((3, 60)), system="ab").shape == (3, 10)
    assert fs.magnitudes(wave, np.ones((0, 60))).shape == (0, 10, 7)
    p = fs.measure(wave, np.ones((3, 60)))
    assert p.flux.shape == p.covered.shape == p.positive.shape == (3, 10) and p.magnitudes.dtype == np.float32


# ---- Missing values and systems ---------------------------------------------------------------

def test_missing_values_are_nan_or_the_tables_sentinel(fs):
    wave = np.linspace(3000.0, 6000.0, 300)  # reaches the blue filters only
    flux = np.stack([np.ones(300), -np.ones(300)])
    m = fs.magnitudes(wave, flux)
    red = fs.lambda_eff > 7000.0
    assert np.isnan(m[:, red]).all() and np.isfinite(m[0, ~red]).all() and np.isnan(m[1]).all()
    sentinel = fs.measure(wave, flux, missing="sentinel")
    assert (sentinel.magnitudes[np.isnan(m)] == -999.0).all()
    assert np.isnan(fs.fluxes(wave, flux)[:, red]).all() and (fs.fluxes(wave, flux)[1, ~red] == 0.0).all()
    assert (sentinel.covered[:, red] == 0.0).all() and (sentinel.positive[1] == 0.0).all()
    with pytest.raises(ValueError, match="'nan' or 'sentinel'"):
        fs.magnitudes(wave, flux, missing="none")


def test_systems_are_named_and_selected(fs):
    assert veltrane.SYSTEMS == ("vega", "vegabg04", "ab", "tg", "wfpc2", "foca", "nocalib")
    wave = np.linspace(3000.0, 11000.0, 400)
    flux = np.exp(-wave / 5000.0)
    m = fs.magnitudes(wave, flux)
    for k, name in enumerate(veltrane.SYSTEMS):
        assert same(fs.magnitudes(wave, flux, system=name.upper()), m[:, k])
    np.testing.assert_allclose(m[:, 1] - m[:, 0], 0.026, atol=1e-5)
    np.testing.assert_allclose(m[:, 2] - m[:, 0], fs.ab_of_vega, atol=1e-5)
    np.testing.assert_allclose(m[:, 4] - m[:, 6], -21.1, atol=1e-5)
    with pytest.raises(ValueError, match="unknown photometric system 'st'"):
        fs.magnitudes(wave, flux, system="st")
    with pytest.raises(TypeError):
        fs.magnitudes(wave, flux, system=2)
    with pytest.raises((TypeError, ValueError)):
        fs.magnitudes(wave, flux, threads=-1)


@pytest.mark.parametrize("weighting", ["energy", "photon"])
def test_flat_f_nu_of_3631_jy_is_ab_zero_and_vega_is_zero_in_its_own_system(weighting):
    s = veltrane.FilterSet(FILTERS, weighting=weighting)
    wave = np.linspace(2000.0, 12000.0, 20001)
    ab = s.magnitudes(wave, 3631e-23 * 2.99792458e18 / wave**2, system="ab")
    np.testing.assert_allclose(ab, -2.5 * np.log10(3631e-23) - 48.6, atol=1e-4)
    vega = np.loadtxt(os.path.join(FILTERS, "VegaLR.dat"), skiprows=1, dtype=np.float32)
    m = s.magnitudes(vega[:, 0], vega[:, 1])
    assert (m[:, 0] == 0.0).all()
    np.testing.assert_allclose(m[:, 3], s.tg_of_vega, atol=1e-5)


def test_photon_weighting_takes_the_curves_times_lambda():
    energy, photon = veltrane.FilterSet(FILTERS), veltrane.FilterSet(FILTERS, weighting="photon")
    assert photon.weighting == "photon" and (photon.names == energy.names).all()
    lam, t = energy.curve(2)
    assert same(photon.curve(2)[0], lam) and same(photon.curve(2)[1], t)
    curves = [energy.curve(i) for i in range(len(energy))]
    np.testing.assert_allclose(photon.areas, [np.trapz(t * lam, lam) for lam, t in curves], rtol=1e-5)
    assert (photon.lambda_eff > energy.lambda_eff).all()  # ∫λ²T/∫λT ≥ ∫λT/∫T
