"""Veltrane on numpy arrays: the command line's calibrated photometry in seven systems, its
six extinction laws, and the rebuild of one galaxy, with the same numbers as its tables.

Units: wavelengths in Å, spectra F_λ per Å (erg s⁻¹ cm⁻² Å⁻¹), magnitudes in mag. See
docs/python.md for the whole interface.

Examples
--------
>>> import numpy as np
>>> import veltrane
>>> fs = veltrane.FilterSet("examples/filters/")    # read and calibrated as a run does
>>> wave = np.linspace(2000.0, 12000.0, 5001)        # Å
>>> flux = np.ones((3, wave.size)) * 1e-15           # 3 spectra, erg s⁻¹ cm⁻² Å⁻¹
>>> fs.magnitudes(wave, flux).shape                  # (N, F, 7): every system
(3, 10, 7)
>>> m_ab = fs.magnitudes(wave, flux, system="ab")    # (N, F)
>>> print(np.round(m_ab[0, :3], 3))
[17.322 16.892 16.394]
"""

from __future__ import annotations

from . import catalog, extinction, tables
from ._version import __version__
from ._errors import (CoverageWarning, Failure, FilterSetError, FilterWarning, GalaxyWarning, InputFileError,
                      RunStopError, SamplingWarning, VeltraneError)
from .catalog import Catalog, CatalogFilters, read_catalog
from .extinction import LAWS, deredden, red_term, redden
from .galaxy import MASSES, SLOTS, Fit, Galaxy, Grid, InputCache, read_fit, read_grid, rebuild
from .photometry import SYSTEMS, TABLE_SYSTEM_NAMES, FilterSet, Photometry
from .tables import read_ecsv, read_mag, read_spc

__all__ = ["__version__", "SYSTEMS", "TABLE_SYSTEM_NAMES", "SLOTS", "MASSES", "LAWS", "FilterSet", "Photometry", "Fit", "Galaxy",
           "Grid", "InputCache", "read_fit", "read_grid", "rebuild", "red_term", "redden", "deredden",
           "read_mag", "read_spc", "read_ecsv", "read_catalog", "Catalog", "CatalogFilters", "catalog", "extinction",
           "tables", "VeltraneError", "FilterSetError", "InputFileError", "RunStopError", "Failure", "GalaxyWarning",
           "FilterWarning", "CoverageWarning", "SamplingWarning"]
