"""Calibrated synthetic photometry: a filter set read and calibrated as the command line does,
and the flux, coverage and magnitudes of spectra through it in seven photometric systems.

Units: wavelengths in Å; spectra F_λ per Å (erg s⁻¹ cm⁻² Å⁻¹ for calibrated magnitudes);
magnitudes in mag. Results are float32, the precision of the command line's tables.
"""

from __future__ import annotations

import os
import warnings
from typing import Any, NamedTuple

import numpy as np

from . import _arrays, _core
from ._errors import FilterWarning

#: The seven photometric systems, in the order of the last axis of magnitude arrays:
#: Vega at 0, Vega at 0.026, AB, BD+17d4708 at 9.5, WFPC2 zero point -21.1, FOCA zero point
#: -21.175, and no zero point.
SYSTEMS: tuple[str, ...] = tuple(_core.SYSTEMS)

#: The command line's names of the systems (verbose listing), in the same order.
TABLE_SYSTEM_NAMES: tuple[str, ...] = ("VEGA_std", "VEGABG04", "ABsystem", "TGsystem", "WFPC2sys", "FOCA_sys", "NO_calib")


class Photometry(NamedTuple):
    """Everything measured for one spectrum (shapes (F,) and (F, 7)) or N spectra ((N, F) and
    (N, F, 7)): the flux through each filter, ∫F_λ T dλ over the samples of positive flux
    (erg s⁻¹ cm⁻² for F_λ in erg s⁻¹ cm⁻² Å⁻¹; not divided by the filter's area); the part of
    the filter's area covered by the spectrum and the part covered where its flux is
    positive (0 to 1); the magnitudes in the seven SYSTEMS (mag)."""

    flux: np.ndarray
    covered: np.ndarray
    positive: np.ndarray
    magnitudes: np.ndarray


def system_index(system: str) -> int:
    """The position of a system in SYSTEMS (its name, any letter case)."""
    if not isinstance(system, str):
        raise TypeError(f"system must be a name from veltrane.SYSTEMS, not {type(system).__name__}")
    key = system.lower()
    if key not in SYSTEMS:
        raise ValueError(f"unknown photometric system {system!r}: use one of {', '.join(SYSTEMS)}")
    return SYSTEMS.index(key)


class FilterSet:
    """A filter directory read and calibrated on Vega, the Sun and BD+17d4708 exactly as a
    command-line run does.

    The directory holds ``ListFilters.txt`` (the count, then one file name per record), the
    filter files (15 header records, then wavelength in Å and transmission per record) and
    the standard spectra ``VegaLR.dat``, ``Sun_LR.dat`` and ``BD+17d4708.dat``.

    ``weighting="energy"`` (the default, and the command line's) takes every mean over the
    curve as given: <F> = ∫F_λ T dλ / ∫T dλ, the convention of energy-counting responses.
    ``weighting="photon"`` is for photon-counting (CCD) responses: every curve is taken as
    T·λ, and the calibration on Vega, BD+17d4708 and AB is redone in that convention, so
    every mean becomes the photon-weighted ∫F_λ T λ dλ / ∫T λ dλ (synphot's convention).

    Raises FilterSetError (naming the file and the record) for a missing or damaged file or
    a curve whose wavelengths do not increase strictly; warns (FilterWarning) for a filter
    without any sample, whose values are all NaN.

    Attributes (one value per filter, list order; NaN where the tables write -999.0):
    ``names`` (file names), ``lambda_eff`` (Å: ∫λT dλ/∫T dλ; photon weighting: ∫λ²T dλ/∫λT dλ,
    the mean wavelength of the photons counted from a spectrum flat in F_λ), ``areas`` (∫T dλ,
    Å; photon: ∫Tλ dλ, Å²), ``nu_areas`` (∫T c/λ² dλ, Hz; photon: c∫T/λ dλ), ``vega_fluxes``
    (∫F_Vega T dλ), ``ab_of_vega`` (the AB magnitude of Vega), ``tg_of_vega`` (Vega's magnitude
    when BD+17d4708 has 9.5), ``zero_points`` ((F, 7): the zero point Z_k of each system, a
    magnitude being Z_k − 2.5 log10(flux)), ``samples`` (samples per curve), ``systems``.
    """

    def __init__(self, directory: str | os.PathLike[str], *, weighting: str = "energy") -> None:
        if weighting not in ("energy", "photon"):
            raise ValueError(f"weighting must be 'energy' or 'photon', not {weighting!r}")
        self._init(_core.FilterSet(_arrays.directory(directory, "the filter directory"), weighting))

    @classmethod
    def _from_core(cls, core: Any) -> FilterSet:
        self = cls.__new__(cls)
        self._init(core)
        return self

    def _init(self, core: Any) -> None:
        self._core = core
        a = core.arrays()
        nan = float("nan")
        self.directory: str = core.directory
        self.weighting: str = core.weighting
        self.names: np.ndarray = np.array(a["names"], dtype=str)
        self.samples: np.ndarray = np.array(a["samples"], dtype=np.int32)
        self.lambda_eff: np.ndarray = _arrays.shown(a["lambda_eff"], nan)
        self.areas: np.ndarray = _arrays.shown(a["area"], nan)
        self.nu_areas: np.ndarray = _arrays.shown(a["nu_area"], nan)
        self.vega_fluxes: np.ndarray = _arrays.shown(a["vega_flux"], nan)
        self.ab_of_vega: np.ndarray = _arrays.shown(a["ab_vega"], nan)
        self.tg_of_vega: np.ndarray = _arrays.shown(a["tg_vega"], nan)
        self.zero_points: np.ndarray = _arrays.shown(a["zero_points"], nan)
        self.systems: np.ndarray = np.array(SYSTEMS)
        for name in self.names[self.samples < 1]:
            warnings.warn(f"filter {name} has no sample: its values are all missing", FilterWarning, stacklevel=3)

    def __len__(self) -> int:
        return len(self.names)

    def __repr__(self) -> str:
        return f"FilterSet({self.directory!r}, weighting={self.weighting!r}: {len(self)} filters)"

    def index(self, name: str) -> int:
        """The position of the filter file `name` in the list."""
        hits = np.flatnonzero(self.names == name)
        if hits.size == 0:
            raise KeyError(f"no filter {name!r} in {self.directory}")
        return int(hits[0])

    def curve(self, filter: int | str) -> tuple[np.ndarray, np.ndarray]:
        """The curve of a filter (its position or its file name) as read from its file:
        wavelengths in Å and the transmission (as given, whatever the weighting)."""
        i = self.index(filter) if isinstance(filter, str) else int(filter)
        if not 0 <= i < len(self):
            raise IndexError(f"filter {i} out of range (the set has {len(self)})")
        lam, t = self._core.curve(i)
        return lam, t

    def measure(self, wave: Any, flux: Any, *, missing: str = "nan", threads: int = 1) -> Photometry:
        """Flux, coverage and magnitudes of one spectrum or a batch, as the command line
        computes them (bit for bit, float32).

        wave: (P,) wavelengths in Å, strictly increasing and finite. flux: (P,) one spectrum
        F_λ per Å, or (N, P) N spectra on that grid, one per row. float32 and float64 arrays,
        C- or Fortran-ordered or strided, are read in place; only what the kernels cannot take
        as it is gets copied, one spectrum at a time per thread: float64 values (rounded to
        float32, the kernels' precision) and spectra whose points are not adjacent float32s
        (a Fortran-ordered batch). Lists and astropy Quantities (converted to Å and to
        erg s⁻¹ cm⁻² Å⁻¹) are accepted too. A NaN or non-positive flux counts as no flux, as in a run.

        missing: "nan" (default) or "sentinel" (-999.0, the tables' convention) for a flux or
        magnitude that has no value (spectrum and filter do not overlap; no positive flux;
        a system without a zero point). threads: threads to work on (0: every core); the
        interpreter lock is released while they work.
        """
        core = self._measure(wave, flux, True, True, True, missing, threads)
        return Photometry(core["flux"], core["covered"], core["positive"], core["magnitudes"])

    def magnitudes(self, wave: Any, flux: Any, system: str | None = None, *, missing: str = "nan",
                   threads: int = 1) -> np.ndarray:
        """Magnitudes (mag) of one spectrum or a batch: shape (F, 7) for one spectrum, (N, F, 7)
        for N, the systems in the order of SYSTEMS; with `system` (a name from SYSTEMS) only
        that system's, (F,) or (N, F). A magnitude is Z_k − 2.5 log10(∫F_λ T dλ); missing ones
        are NaN, or -999.0 with missing="sentinel". Arguments as for measure()."""
        k = None if system is None else system_index(system)
        m = self._measure(wave, flux, False, False, True, missing, threads)["magnitudes"]
        return m if k is None else np.ascontiguousarray(m[..., k])

    def fluxes(self, wave: Any, flux: Any, *, missing: str = "nan", threads: int = 1) -> np.ndarray:
        """The flux through each filter, ∫F_λ T dλ over the samples of positive flux (erg s⁻¹
        cm⁻² for F_λ in erg s⁻¹ cm⁻² Å⁻¹; divide by ``areas`` for the mean F_λ): (F,) or (N, F).
        NaN (or -999.0) where spectrum and filter do not overlap. Arguments as for measure()."""
        return self._measure(wave, flux, True, False, False, missing, threads)["flux"]

    def coverage(self, wave: Any, flux: Any, *, threads: int = 1) -> tuple[np.ndarray, np.ndarray]:
        """The part of each filter's area covered by the spectrum, and the part covered where
        its flux is positive (0 to 1; 0 without overlap): two arrays (F,) or (N, F)."""
        core = self._measure(wave, flux, False, True, False, "nan", threads)
        return core["covered"], core["positive"]

    def _measure(self, wave: Any, flux: Any, want_flux: bool, want_fractions: bool, want_mags: bool,
                 missing: str, threads: int, literal: bool = False) -> dict[str, np.ndarray]:
        w = _arrays.wavelengths(wave)
        f = _arrays.fluxes(flux, np.asarray(w, dtype=np.float64) if _arrays._is_quantity(flux) else w)
        one = isinstance(f, np.ndarray) and f.ndim == 1
        out = self._core.measure(w, f, want_flux, want_fractions, want_mags, _arrays.missing_value(missing),
                                 _arrays.thread_count(threads), literal)
        return {key: (v[0] if one else v) for key, v in out.items()}
