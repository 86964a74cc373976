"""Honest photometry: warnings where a magnitude cannot be trusted (partial coverage, NaN inside
a filter, coarse sampling) with the numbers unchanged, min_coverage, an immutable FilterSet
that pickles by reference, rebuild() without silent defaults, table readers that close their
files."""

import gc
import os
import pickle
import warnings

import numpy as np
import pytest
from conftest import SOURCE

import veltrane

FILTERS = os.path.join(SOURCE, "examples", "filters")


@pytest.fixture(scope="module")
def fs():
    return veltrane.FilterSet(FILTERS)


def measured(fs, wave, flux, **kw):
    """fs.magnitudes(wave, flux, **kw) and the warnings it gave, {category name: [messages]}."""
    with warnings.catch_warnings(record=True) as seen:
        warnings.simplefilter("always")
        m = fs.magnitudes(wave, flux, **kw)
    out = {}
    for w in seen:
        assert w.filename == __file__, w  # the warning points at the caller
        out.setdefault(w.category.__name__, []).append(str(w.message))
    return m, out


def bits(a):
    return np.ascontiguousarray(a, dtype=np.float32).view(np.uint32)


def blackbody(wave, t=5800.0):
    x = np.asarray(wave, dtype=np.float64) * 1e-8
    return 1e-25 / x**5 / np.expm1(1.4388 / (x * t))


# ---- Coverage ---------------------------------------------------------------------------------

# (case, wave range in Å, filters named in the CoverageWarning)
RANGES = [
    ("all filters inside", (2000.0, 12000.0), []),
    ("blue end cuts John_U and SDSS_u", (3300.0, 12000.0), ["John_U.dat", "SDSS_u.dat"]),
    ("red end cuts SDSS_z and Cous_I", (2000.0, 9000.0), ["Cous_I.dat", "SDSS_z.dat"]),
    ("a window inside V", (5000.0, 6000.0), ["John_B.dat", "John_V.dat", "Cous_R.dat", "SDSS_g.dat", "SDSS_r.dat"]),
    ("a wing under 0.1 % is not worth a warning", (2000.0, 11380.0), []),
]


@pytest.mark.parametrize("case, limits, named", RANGES, ids=[r[0] for r in RANGES])
def test_partial_coverage_warns_naming_the_filters_and_keeps_the_numbers(fs, case, limits, named):
    wave = np.arange(limits[0], limits[1] + 0.5, 2.0)
    flux = np.stack([blackbody(wave), blackbody(wave, 9000.0)])
    m, seen = measured(fs, wave, flux)
    assert set(seen) <= {"CoverageWarning"}
    listed = [n for n in fs.names if n in " ".join(seen.get("CoverageWarning", []))]
    assert sorted(listed) == sorted(named)
    assert np.array_equal(bits(m), bits(fs._measure(wave, flux, False, False, True, "nan", 1)["magnitudes"]))


def test_the_issue_s_four_per_cent_is_named_and_min_coverage_gives_nan(fs):
    v = fs.index("John_V.dat")
    lam, t = fs.curve(v)
    wave = np.arange(2000.0, float(lam[0]) + 350.0, 1.0)  # reaches only V's blue wing
    flux = blackbody(wave)
    full = fs.magnitudes(np.arange(2000.0, 12000.0, 1.0), blackbody(np.arange(2000.0, 12000.0, 1.0)))
    m, seen = measured(fs, wave, flux)
    assert "John_V.dat (4.0 % of its area covered)" in seen["CoverageWarning"][0]
    assert 3.0 < m[v, 0] - full[v, 0] < 4.0  # the missing 96 % make it 3.5 mag too faint
    covered, positive = fs.coverage(wave, flux)
    cut, _ = measured(fs, wave, flux, min_coverage=0.5)
    assert np.isnan(cut[positive < 0.5]).all() and np.array_equal(bits(cut[positive >= 0.5]), bits(m[positive >= 0.5]))
    sentinel, _ = measured(fs, wave, flux, min_coverage=0.5, missing="sentinel")
    assert (sentinel[positive < 0.5] == -999.0).all()
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        f = fs.fluxes(wave, flux, min_coverage=0.5)
        p = fs.measure(wave, flux, min_coverage=0.5)
    assert np.isnan(f[positive < 0.5]).all() and np.array_equal(bits(p.magnitudes), bits(cut))


@pytest.mark.parametrize("value, error", [(-0.1, ValueError), (1.5, ValueError), ("0.5", TypeError), (True, TypeError)])
def test_min_coverage_must_be_a_fraction(fs, value, error):
    with pytest.raises(error, match="min_coverage"):
        fs.magnitudes(np.linspace(2000.0, 12000.0, 100), np.ones(100), min_coverage=value)


# ---- NaN inside a filter ------------------------------------------------------------------------

def test_nan_inside_a_filter_warns_with_the_count_of_spectra(fs):
    wave = np.arange(2000.0, 12000.0, 1.0)
    flux = np.tile(blackbody(wave), (4, 1))
    v = fs.index("John_V.dat")
    inside = np.flatnonzero((wave > 5450.0) & (wave < 5550.0))  # 100 points in V, B and R are far
    flux[1, inside] = np.nan
    flux[2, inside] = np.nan
    flux[3, :100] = -1.0  # negative flux outside every filter: no NaN, no warning
    flux[3, wave > 11400.0] = np.nan  # NaN beyond every filter's reach (SDSS_z ends at 11400 Å)
    m, seen = measured(fs, wave, flux)
    message = seen["CoverageWarning"][0]
    assert "NaN fluxes inside John_V.dat (2 of 4 spectra)" in message and "John_B.dat" not in message
    assert 0.05 < m[1, v, 0] - m[0, v, 0] < 0.2  # too faint: the NaN counted as no flux
    assert np.array_equal(bits(m[3]), bits(m[0]))
    clean, seen = measured(fs, wave, flux[[0, 3]])
    assert seen == {}


def test_a_clean_spectrum_on_a_fine_grid_gives_no_warning(fs):
    wave = np.linspace(2000.0, 12000.0, 5001)
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        fs.magnitudes(wave, np.tile(blackbody(wave), (3, 1)))
        fs.measure(wave, blackbody(wave))
        fs.fluxes(wave, blackbody(wave))
        fs.coverage(wave[:100], blackbody(wave[:100]))  # coverage() never warns


# ---- Sampling ---------------------------------------------------------------------------------

def test_the_issue_s_random_34_point_spectrum_warns_for_sdss_r(fs):
    rng = np.random.default_rng(34)
    r = fs.index("SDSS_r.dat")
    lam, _ = fs.curve(r)
    wave = np.sort(np.concatenate([rng.uniform(1000.0, float(lam[0]) - 50.0, 16),
                                   rng.uniform(float(lam[-1]) + 50.0, 20000.0, 17), [6300.0]]))
    m, seen = measured(fs, wave, rng.uniform(0.5, 1.5, 34) * 1e-15)
    assert "SDSS_r.dat" in seen["SamplingWarning"][0]


def test_below_the_coarse_limit_smooth_spectra_keep_within_six_millimag(fs):
    """The limit's promise (0.15 of a filter's equivalent width, measured by
    bench/python/bench_sampling.py), on even grids that warn for some filters and not others."""
    width = np.array([np.trapz(t, lam) / t.max() for lam, t in (fs.curve(i) for i in range(len(fs)))])
    for spacing in (60.0, 100.0, 150.0, 200.0):
        for offset in (0.0, 0.37, 0.71):
            wave = np.arange(1500.0 + offset * spacing, 13000.0, spacing)
            spectra = np.stack([blackbody(wave, t) for t in (3500.0, 6000.0, 15000.0)] + [(wave / 5000.0) ** -2])
            m, seen = measured(fs, wave, spectra, system="nocalib")
            message = " ".join(seen.get("SamplingWarning", []))
            for i, name in enumerate(fs.names):
                lam, t = (a.astype(np.float64) for a in fs.curve(i))
                truth = [np.trapz(s * t, lam) for s in
                         np.stack([blackbody(lam, t) for t in (3500.0, 6000.0, 15000.0)] + [(lam / 5000.0) ** -2])]
                error = np.abs(m[:, i] + 2.5 * np.log10(truth)).max()
                assert (name in message) == (spacing > 0.15 * width[i]), (spacing, name)
                if name not in message:
                    assert error < 0.006, (spacing, name, error)


# ---- FilterSet: immutable, pickled by reference -------------------------------------------------

ATTRIBUTES = ["names", "samples", "lambda_eff", "areas", "nu_areas", "vega_fluxes", "ab_of_vega", "tg_of_vega",
              "zero_points", "systems", "directory", "weighting"]


@pytest.mark.parametrize("name", ATTRIBUTES)
def test_a_filter_set_cannot_be_changed(fs, name):
    with pytest.raises(AttributeError):
        setattr(fs, name, None)
    value = getattr(fs, name)
    if isinstance(value, np.ndarray):
        with pytest.raises(ValueError, match="read-only"):
            value[0] = value[1]
        assert getattr(fs, name) is value  # the same array each time, not a copy to write into


def test_a_filter_set_takes_no_new_attribute_and_pickles_by_reference(fs):
    with pytest.raises(AttributeError):
        fs.colour = "red"
    data = pickle.dumps(fs)
    assert len(data) < 400 and b"SDSS_r" not in data  # the directory and a fingerprint, no curve
    back = pickle.loads(data)
    assert back is pickle.loads(data)  # loaded once per process
    assert back.directory == os.path.abspath(FILTERS) + "/" and np.array_equal(bits(back.zero_points), bits(fs.zero_points))
    import copy

    assert copy.copy(fs) is fs and copy.deepcopy(fs) is fs


def test_a_filter_set_unpickled_over_other_files_is_refused(fs, tmp_path):
    import shutil

    d = tmp_path / "filters"
    shutil.copytree(FILTERS, d)
    data = pickle.dumps(veltrane.FilterSet(d))
    lines = (d / "SDSS_r.dat").read_text().split("\n")
    lines[40] = lines[40].replace("0.", "0.1", 1)
    (d / "SDSS_r.dat").write_text("\n".join(lines))
    with pytest.raises(veltrane.FilterSetError, match="differs from the one that was sent") as e:
        pickle.loads(data)
    assert e.value.path == f"{d}/"


# ---- rebuild() and the table readers ------------------------------------------------------------

def test_rebuild_without_phyunits_or_distance_is_a_type_error():
    examples = os.path.join(SOURCE, "examples")
    args = (os.path.join(examples, "galaxies", "gal01"), os.path.join(examples, "base"), FILTERS)
    with pytest.raises(TypeError, match="'phyunits' and 'distance'"):
        veltrane.rebuild(*args, t_cut_gyr=1.0)
    with pytest.raises(TypeError, match="'distance'"):
        veltrane.rebuild(*args, t_cut_gyr=1.0, phyunits=1e-17)


@pytest.mark.filterwarnings("error")
def test_the_table_readers_close_their_files(example):
    pytest.importorskip("astropy")
    with warnings.catch_warnings(record=True) as seen:
        warnings.simplefilter("always")
        veltrane.read_mag(example / "galaxies" / "gal01.MAG.out")
        veltrane.read_spc(example / "galaxies" / "gal01.SPC.out")
        gc.collect()
    assert not [w for w in seen if issubclass(w.category, ResourceWarning)]
