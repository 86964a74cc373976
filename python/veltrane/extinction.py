"""The six extinction laws of the command line, its reddening term, and reddening and
de-reddening of spectra exactly as a run applies them.

A law gives q(λ) = A(λ)/A_V, λ in Å (x = 10⁴/λ in μm⁻¹), computed in single precision in the
command line's order of operations. Outside its range a law has no value: the command line
takes q = 0 there (no attenuation) and appends a report to the galaxy's .LOG. Here the
``outside`` option says what to do with such wavelengths: "nan" (NaN), "zero" (the command
line's 0.0) or "raise" (ValueError naming the first one). A NaN or non-positive wavelength
is outside every law.

Examples
--------
>>> import numpy as np
>>> from veltrane import extinction
>>> print(np.round(extinction.ccm([1500.0, 5500.0, 20000.0, 40000.0]), 3))
[2.668 0.999 0.132   nan]
"""

from __future__ import annotations

from typing import Any

import numpy as np

from . import _arrays, _core

#: The law codes: CAL (Calzetti et al. 2000), CCJ (CAL extended to 912-31149 Å), CCM
#: (Cardelli, Clayton & Mathis 1989), GD1/GD2/GD3 (Gordon et al. 2003 SMC bar, LMC2, LMC).
LAWS: tuple[str, ...] = tuple(_core.LAWS)


def _outside(values: np.ndarray, in_range: np.ndarray, wave: np.ndarray, outside: str, what: str) -> np.ndarray:
    if outside == "zero":
        return values
    if outside == "nan":
        values[~in_range] = np.nan
        return values
    if outside == "raise":
        if not in_range.all():
            i = int(np.flatnonzero(~in_range)[0])
            raise ValueError(f"wavelength {i} ({float(wave[i])} Å) is outside the range of {what}")
        return values
    raise ValueError(f"outside must be 'nan', 'zero' or 'raise', not {outside!r}")


def _law(code: str) -> str:
    if not isinstance(code, str):
        raise TypeError(f"law must be a code from veltrane.LAWS, not {type(code).__name__}")
    if code not in LAWS:
        raise ValueError(f"unknown extinction law {code!r}: use one of {', '.join(LAWS)}")
    return code


def q(law: str, wave: Any, *, r_v: float = 3.1, outside: str = "nan") -> np.ndarray:
    """q(λ) = A(λ)/A_V of an extinction law, computed as the command line computes it.

    Parameters
    ----------
    law : str
        A code from `LAWS`.
    wave : array_like, shape (P,)
        Wavelengths, Å.
    r_v : float
        R_V, used by CCM only (the command line uses 3.1).
    outside : {"nan", "zero", "raise"}
        What a wavelength outside the law's range gives: NaN, the command line's 0.0, or
        ValueError naming the first one. Ranges: CAL 1200-22000 Å, CCJ 912-31149 Å, CCM
        1000-33333 Å (0.3 ≤ x ≤ 10 μm⁻¹), GD1-3 0.455 ≤ x ≤ 8.375 μm⁻¹ (1194-21978 Å).

    Returns
    -------
    numpy.ndarray
        (P,), float32, dimensionless.

    Raises
    ------
    ValueError
        For an unknown law, a non-positive R_V, a wavelength out of range with
        outside="raise".

    Examples
    --------
    >>> import numpy as np
    >>> from veltrane.extinction import q
    >>> print(np.round(q("GD1", [1500.0, 5500.0, 20000.0]), 3))
    [4.813 1.    0.062]
    """
    code = _law(law)
    if not (np.isfinite(r_v) and r_v > 0):
        raise ValueError(f"r_v must be a positive number, not {r_v}")
    w = _arrays.wavelengths(wave)
    values, in_range = _core.law(code, w, float(r_v))
    return _outside(values, in_range, w, outside, f"law {code}")


def cal(wave: Any, *, outside: str = "nan") -> np.ndarray:
    """Calzetti et al. (2000) starburst law, k(λ)/4.05; valid from 1200 to 22000 Å.

    Parameters
    ----------
    wave : array_like, shape (P,)
        Wavelengths, Å.
    outside : {"nan", "zero", "raise"}
        Outside the range: NaN, 0.0 (a run's value) or ValueError.

    Returns
    -------
    numpy.ndarray
        q(λ) = A(λ)/A_V, (P,), float32.

    Examples
    --------
    >>> import numpy as np
    >>> from veltrane.extinction import cal
    >>> print(np.round(cal([1000.0, 1500.0, 5500.0]), 3))
    [  nan 2.552 0.999]
    """
    return q("CAL", wave, outside=outside)


def ccj(wave: Any, *, outside: str = "nan") -> np.ndarray:
    """The Calzetti law with a far-ultraviolet polynomial from 912 to 1846 Å and its infrared
    branch carried to 31149 Å (the command line's default law); valid from 912 to 31149 Å.

    Parameters
    ----------
    wave : array_like, shape (P,)
        Wavelengths, Å.
    outside : {"nan", "zero", "raise"}
        Outside the range: NaN, 0.0 (a run's value) or ValueError.

    Returns
    -------
    numpy.ndarray
        q(λ) = A(λ)/A_V, (P,), float32.

    Examples
    --------
    >>> import numpy as np
    >>> from veltrane.extinction import ccj
    >>> print(np.round(ccj([1000.0, 1500.0, 5500.0]), 3))
    [3.427 2.546 0.999]
    """
    return q("CCJ", wave, outside=outside)


def ccm(wave: Any, *, r_v: float = 3.1, outside: str = "nan") -> np.ndarray:
    """Cardelli, Clayton & Mathis (1989), except that the ultraviolet b(x) uses the bump centre
    4.67 μm⁻¹ like a(x) (4.62 in the paper); valid for 0.3 ≤ x ≤ 10 μm⁻¹ (1000-33333 Å).

    Parameters
    ----------
    wave : array_like, shape (P,)
        Wavelengths, Å.
    r_v : float
        R_V (the command line uses 3.1).
    outside : {"nan", "zero", "raise"}
        Outside the range: NaN, 0.0 (a run's value) or ValueError.

    Returns
    -------
    numpy.ndarray
        q(λ) = A(λ)/A_V, (P,), float32.

    Examples
    --------
    >>> import numpy as np
    >>> from veltrane.extinction import ccm
    >>> print(np.round(ccm([1000.0, 5500.0, 20000.0]), 3))
    [5.238 0.999 0.132]
    """
    return q("CCM", wave, r_v=r_v, outside=outside)


def gd1(wave: Any, *, outside: str = "nan") -> np.ndarray:
    """Gordon et al. (2003) SMC bar, tabulated (Table 4), linear in x; valid for
    0.455 ≤ x ≤ 8.375 μm⁻¹ (about 1194-21978 Å).

    Parameters
    ----------
    wave : array_like, shape (P,)
        Wavelengths, Å.
    outside : {"nan", "zero", "raise"}
        Outside the range: NaN, 0.0 (a run's value) or ValueError.

    Returns
    -------
    numpy.ndarray
        q(λ) = A(λ)/A_V, (P,), float32.

    Examples
    --------
    >>> import numpy as np
    >>> from veltrane.extinction import gd1
    >>> print(np.round(gd1([1500.0, 5500.0]), 3))
    [4.813 1.   ]
    """
    return q("GD1", wave, outside=outside)


def gd2(wave: Any, *, outside: str = "nan") -> np.ndarray:
    """Gordon et al. (2003) LMC2 supershell, tabulated, linear in x; valid for
    0.455 ≤ x ≤ 8.375 μm⁻¹.

    Parameters
    ----------
    wave : array_like, shape (P,)
        Wavelengths, Å.
    outside : {"nan", "zero", "raise"}
        Outside the range: NaN, 0.0 (a run's value) or ValueError.

    Returns
    -------
    numpy.ndarray
        q(λ) = A(λ)/A_V, (P,), float32.

    Examples
    --------
    >>> import numpy as np
    >>> from veltrane.extinction import gd2
    >>> print(np.round(gd2([1500.0, 5500.0]), 3))
    [3.317 1.   ]
    """
    return q("GD2", wave, outside=outside)


def gd3(wave: Any, *, outside: str = "nan") -> np.ndarray:
    """Gordon et al. (2003) LMC average, tabulated, linear in x; valid for
    0.455 ≤ x ≤ 8.375 μm⁻¹.

    Parameters
    ----------
    wave : array_like, shape (P,)
        Wavelengths, Å.
    outside : {"nan", "zero", "raise"}
        Outside the range: NaN, 0.0 (a run's value) or ValueError.

    Returns
    -------
    numpy.ndarray
        q(λ) = A(λ)/A_V, (P,), float32.

    Examples
    --------
    >>> import numpy as np
    >>> from veltrane.extinction import gd3
    >>> print(np.round(gd3([1500.0, 5500.0]), 3))
    [2.801 1.   ]
    """
    return q("GD3", wave, outside=outside)


def red_term(wave: Any, *, law: str, lambda_norm: float, grid: Any = None, outside: str = "zero") -> np.ndarray:
    """The reddening term r(λ) = −0.4 (q(λ) − q(λ_norm)) per unit A_V, as a run computes it:
    10^(A_V r(λ)) is the attenuation relative to `lambda_norm`, and r is exactly 0.0 there.

    Parameters
    ----------
    wave : array_like, shape (P,)
        Wavelengths, Å.
    law : str
        A code from `LAWS` (CCM with R_V = 3.1).
    lambda_norm : float
        The normalisation wavelength, Å; it must lie in the law's range.
    grid : array_like, optional
        A grid (Å, strictly increasing): r is computed on it and interpolated linearly at
        `wave`, as a run reads it off its base grid at its observed wavelengths.
    outside : {"zero", "nan", "raise"}
        For the wavelengths of `wave` outside the law's range: r = 0.0 (no attenuation, as in
        a run; the default), NaN, or ValueError.

    Returns
    -------
    numpy.ndarray
        (P,), float32, per magnitude of A_V.

    Raises
    ------
    ValueError
        For an unknown law, `lambda_norm` outside its range, or outside="raise" and a
        wavelength out of range.

    Examples
    --------
    >>> import numpy as np, veltrane
    >>> print(np.round(veltrane.red_term([1500.0, 5500.0, 20000.0], law="CCM", lambda_norm=5500.0), 4))
    [-0.6677  0.      0.3466]
    """
    code = _law(law)
    w = _arrays.wavelengths(wave)
    g = None if grid is None else _arrays.wavelengths(grid, "grid")
    red, in_range, _ = _core.red_term(code, float(lambda_norm), w, g)
    return _outside(red, in_range, w, outside, f"law {code}")


def _spectrum(wave: Any, flux: Any, a_v: float) -> tuple[np.ndarray, np.ndarray]:
    if not np.isfinite(a_v):
        raise ValueError(f"a_v must be a finite number (mag), not {a_v}")
    w = _arrays.wavelengths(wave)
    return w, _arrays.fluxes(flux, np.asarray(w, dtype=np.float64))


def redden(wave: Any, flux: Any, a_v: float, *, law: str, lambda_norm: float, outside: str = "zero") -> np.ndarray:
    """A spectrum reddened the way a run reddens its model spectra: F_λ × 10^(A_V r(λ)),
    relative to `lambda_norm`, where the flux is unchanged.

    Parameters
    ----------
    wave : array_like, shape (P,)
        Wavelengths, Å.
    flux : array_like, shape (P,) or (N, P)
        F_λ per Å, one spectrum or N.
    a_v : float
        A_V, mag.
    law : str
        A code from `LAWS`.
    lambda_norm : float
        The normalisation wavelength, Å.
    outside : {"zero", "nan", "raise"}
        As for `red_term` ("zero": unchanged there, as in a run).

    Returns
    -------
    numpy.ndarray
        float32, of flux's shape.

    Raises
    ------
    ValueError
        As for `red_term`, and for a non-finite `a_v` or mismatched shapes.

    Examples
    --------
    >>> import numpy as np, veltrane
    >>> wave = [1500.0, 5500.0, 20000.0]
    >>> print(np.round(veltrane.redden(wave, np.ones(3), 1.0, law="CAL", lambda_norm=5500.0), 4))
    [0.2394 1.     2.2434]
    """
    w, f = _spectrum(wave, flux, a_v)
    red = red_term(w, law=law, lambda_norm=lambda_norm, outside=outside)
    return _core.apply_extinction(red, f, float(a_v), 0.0, False)


def deredden(wave: Any, flux: Any, a_v: float, *, law: str, lambda_norm: float, grid: Any = None,
             outside: str = "zero") -> np.ndarray:
    """A spectrum de-reddened the way a run corrects its observation:
    F_λ × 10^((0.4 q(λ_norm) − r(λ)) A_V), which is F_λ × 10^(0.4 A_V q(λ)), an absolute
    correction.

    Parameters
    ----------
    wave : array_like, shape (P,)
        Wavelengths, Å.
    flux : array_like, shape (P,) or (N, P)
        F_λ per Å, one spectrum or N.
    a_v : float
        A_V, mag.
    law : str
        A code from `LAWS`.
    lambda_norm : float
        The normalisation wavelength, Å.
    grid : array_like, optional
        The galaxy's base grid (Å): the reddening term is read off it as a run reads it,
        which gives a run's de-reddened observation bit for bit.
    outside : {"zero", "nan", "raise"}
        As for `red_term` ("zero": the factor is 10^(0.4 A_V q(λ_norm)) there, as in a run).

    Returns
    -------
    numpy.ndarray
        float32, of flux's shape.

    Raises
    ------
    ValueError
        As for `redden`.

    Examples
    --------
    >>> import numpy as np, veltrane
    >>> wave = [1500.0, 5500.0, 20000.0]
    >>> print(np.round(veltrane.deredden(wave, np.ones(3), 1.0, law="CAL", lambda_norm=5500.0), 4))
    [10.4865  2.5107  1.1191]
    """
    w, f = _spectrum(wave, flux, a_v)
    code = _law(law)
    g = None if grid is None else _arrays.wavelengths(grid, "grid")
    red, in_range, q_norm = _core.red_term(code, float(lambda_norm), w, g)
    red = _outside(red, in_range, w, outside, f"law {code}")
    return _core.apply_extinction(red, f, float(a_v), q_norm, True)
