"""The six laws on arrays: values at known points, their ranges and what lies outside, the
reddening term, reddening and de-reddening."""

import numpy as np
import pytest

import veltrane
from veltrane import extinction as ext

# (law, wavelength in Å, inside its range)
RANGES = [("CAL", 1199.9, False), ("CAL", 1200.0, True), ("CAL", 22000.0, True), ("CAL", 22001.0, False),
          ("CCJ", 911.0, False), ("CCJ", 912.0, True), ("CCJ", 31149.0, True), ("CCJ", 31150.0, False),
          ("CCM", 999.0, False), ("CCM", 1000.0, True), ("CCM", 33333.0, True), ("CCM", 33334.0, False),
          ("GD1", 1190.0, False), ("GD2", 1200.0, True), ("GD3", 21900.0, True), ("GD3", 22000.0, False)]


@pytest.mark.parametrize("law, wave, inside", RANGES)
def test_law_ranges_and_what_lies_outside(law, wave, inside):
    w = np.array([wave, 5500.0])
    q = ext.q(law, w)
    assert np.isfinite(q[0]) == inside and q[0] != 0.0 if inside else np.isnan(q[0])
    assert ext.q(law, w, outside="zero")[0] == (q[0] if inside else 0.0)
    if not inside:
        with pytest.raises(ValueError, match=f"wavelength 0 .* outside the range of law {law}"):
            ext.q(law, w, outside="raise")


@pytest.mark.parametrize("law, tolerance", [("CAL", 0.001), ("CCJ", 0.001), ("CCM", 0.002), ("GD1", 0.001),
                                            ("GD2", 0.001), ("GD3", 0.001)])
def test_every_law_is_about_one_at_5500(law, tolerance):
    assert abs(float(getattr(ext, law.lower())(np.array([5500.0]))[0]) - 1.0) < tolerance
    for bad in (np.nan, -10.0, 0.0):
        assert np.isnan(ext.q(law, np.array([bad]))[0])


def test_law_options_are_checked():
    w = np.array([5000.0])
    for law in ("cal", "XYZ", ""):
        with pytest.raises(ValueError, match="unknown extinction law"):
            ext.q(law, w)
    with pytest.raises(ValueError, match="outside must be"):
        ext.q("CAL", w, outside="clip")
    with pytest.raises(ValueError, match="r_v"):
        ext.ccm(w, r_v=0.0)
    assert ext.ccm(w, r_v=5.0)[0] != ext.ccm(w)[0]
    assert veltrane.LAWS == ("CAL", "CCJ", "CCM", "GD1", "GD2", "GD3")


@pytest.mark.parametrize("law", veltrane.LAWS)
def test_red_term_is_relative_to_lambda_norm(law):
    wave = np.linspace(1500.0, 21000.0, 777).astype(np.float32)
    wave[100] = 4020.0
    r = veltrane.red_term(wave, law=law, lambda_norm=4020.0)
    assert r.dtype == np.float32 and r[100] == 0.0
    q = ext.q(law, wave).astype(np.float64)
    np.testing.assert_allclose(r, -0.4 * (q - q[100]), atol=2e-6)
    assert (np.sign(r[wave < 3500.0]) == -1).all()  # bluer than λ_norm: more extinction


def test_red_term_outside_the_law_and_bad_input():
    wave = np.array([1000.0, 5000.0, 25000.0])
    np.testing.assert_array_equal(veltrane.red_term(wave, law="CAL", lambda_norm=5000.0), [0.0, 0.0, 0.0])
    assert np.isnan(veltrane.red_term(wave, law="CAL", lambda_norm=5000.0, outside="nan")[[0, 2]]).all()
    with pytest.raises(ValueError, match="lambda_norm = 40000 Å is outside the range of law CAL"):
        veltrane.red_term(wave, law="CAL", lambda_norm=40000.0)
    with pytest.raises(ValueError, match="not a positive finite number"):
        veltrane.red_term(np.array([5000.0, -1.0]), law="CAL", lambda_norm=5000.0)
    with pytest.raises(ValueError, match="outside the grid"):
        veltrane.red_term(np.array([500.0]), law="CAL", lambda_norm=5000.0, grid=np.array([3000.0, 6000.0]))


def test_redden_and_deredden_as_a_run_applies_them():
    rng = np.random.default_rng(2)
    wave = np.linspace(3000.0, 9000.0, 601).astype(np.float32)
    flux = rng.uniform(0.5, 1.5, size=(3, wave.size)).astype(np.float32)
    red = veltrane.red_term(wave, law="CCM", lambda_norm=5500.0)
    reddened = veltrane.redden(wave, flux, 0.7, law="CCM", lambda_norm=5500.0)
    np.testing.assert_allclose(reddened, flux * np.power(np.float32(10), np.float32(0.7) * red), rtol=3e-7)
    assert (reddened[:, wave == 5500.0] == flux[:, wave == 5500.0]).all()
    assert (reddened[:, wave < 5500.0] < flux[:, wave < 5500.0]).all()
    back = veltrane.deredden(wave, reddened[1], 0.7, law="CCM", lambda_norm=5500.0)
    q_norm = float(ext.ccm(np.array([5500.0]))[0])
    np.testing.assert_allclose(back, flux[1] * 10 ** (0.4 * 0.7 * q_norm), rtol=2e-6)  # absolute correction
    with pytest.raises(ValueError, match="a_v"):
        veltrane.redden(wave, flux, np.nan, law="CCM", lambda_norm=5500.0)
    with pytest.raises(ValueError, match="points per spectrum"):
        veltrane.redden(wave, flux[:, :-1], 0.7, law="CCM", lambda_norm=5500.0)
