"""Argument handling shared by the public functions: arrays, options, directories."""

from __future__ import annotations

import os
from typing import Any

import numpy as np

SENTINEL = -999.0  # the tables' mark of a missing value

# erg s-1 cm-2 Å-1, the flux unit of every spectrum and of the command line's tables
_FLAM = "erg / (s cm2 Angstrom)"


def wavelengths(wave: Any, name: str = "wave") -> np.ndarray:
    """A wavelength array in Å, as it is when it is a numpy array (the core checks its dtype
    and reads it in place); an astropy Quantity is converted to Å, any other sequence to
    float64."""
    if _is_quantity(wave):
        import astropy.units as u

        return np.asarray(wave.to_value(u.AA, equivalencies=u.spectral()))
    if isinstance(wave, np.ndarray):
        return wave
    return np.asarray(wave, dtype=np.float64)


def fluxes(flux: Any, wave: np.ndarray, name: str = "flux") -> np.ndarray:
    """A flux array per Å (F_λ); an astropy Quantity in any spectral flux density unit is
    converted to erg s⁻¹ cm⁻² Å⁻¹ at the wavelengths `wave` (Å)."""
    if _is_quantity(flux):
        import astropy.units as u

        return np.asarray(flux.to_value(u.Unit(_FLAM), equivalencies=u.spectral_density(wave * u.AA)))
    if isinstance(flux, np.ndarray):
        return flux
    return np.asarray(flux, dtype=np.float64)


def _is_quantity(x: Any) -> bool:
    return hasattr(x, "unit") and hasattr(x, "to_value")


def missing_value(missing: str) -> float:
    """The value written for a missing result: NaN ("nan") or the tables' -999.0 ("sentinel")."""
    if missing == "nan":
        return float("nan")
    if missing == "sentinel":
        return SENTINEL
    raise ValueError(f"missing must be 'nan' or 'sentinel', not {missing!r}")


def thread_count(threads: int) -> int:
    """Threads to use: a positive count, or 0 for every core."""
    if isinstance(threads, bool) or not isinstance(threads, (int, np.integer)):
        raise TypeError(f"threads must be an integer, not {type(threads).__name__}")
    if threads < 0:
        raise ValueError(f"threads must be 0 (every core) or more, not {threads}")
    return int(threads) if threads > 0 else (os.cpu_count() or 1)


def directory(path: Any, what: str) -> str:
    """A directory as the command line takes it: its path ending in '/'."""
    text = os.fspath(path)
    if not isinstance(text, str):
        text = os.fsdecode(text)
    if not text:
        raise ValueError(f"{what} is empty")
    return text if text.endswith("/") else text + "/"


def shown(values: np.ndarray, missing: float) -> np.ndarray:
    """The tables' -999.0 (and a NaN) replaced by `missing`, as float32."""
    out = np.array(values, dtype=np.float32)
    out[(out == SENTINEL) | np.isnan(out)] = missing
    return out
