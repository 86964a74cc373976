"""Veltrane on numpy arrays: the command line's calibrated photometry in seven systems, its
six extinction laws, and the rebuild of one galaxy, with the same numbers as its tables.

    >>> import veltrane
    >>> fs = veltrane.FilterSet("examples/filters/")   # read and calibrated as a run does
    >>> m = fs.magnitudes(wave, flux)                   # (F, 7) for one spectrum, (N, F, 7) for N
    >>> m_ab = fs.magnitudes(wave, flux, system="ab")   # (F,) or (N, F)

Units: wavelengths in Å, spectra F_λ per Å (erg s⁻¹ cm⁻² Å⁻¹), magnitudes in mag.
See docs/python.md for the whole interface.
"""

from __future__ import annotations

from . import extinction, tables
from ._errors import (FilterSetError, FilterWarning, GalaxyWarning, InputFileError, RunStopError,
                      VeltraneError)
from .extinction import LAWS, deredden, red_term, redden
from .galaxy import MASSES, SLOTS, Fit, Galaxy, Grid, InputCache, read_fit, read_grid, rebuild
from .photometry import SYSTEMS, TABLE_SYSTEM_NAMES, FilterSet, Photometry
from .tables import read_ecsv, read_mag, read_spc

__all__ = ["SYSTEMS", "TABLE_SYSTEM_NAMES", "SLOTS", "MASSES", "LAWS", "FilterSet", "Photometry", "Fit", "Galaxy",
           "Grid", "InputCache", "read_fit", "read_grid", "rebuild", "red_term", "redden", "deredden",
           "read_mag", "read_spc", "read_ecsv", "extinction", "tables", "VeltraneError", "FilterSetError",
           "InputFileError", "RunStopError", "GalaxyWarning", "FilterWarning"]
