"""The tables a run writes, read into astropy tables (astropy is needed for these only).

read_mag reads NAME.MAG.out (fixed columns), read_spc NAME.SPC.out (nine numbers a line),
read_ecsv the ECSV tables of ``veltrane --ecsv`` (NAME.mag.ecsv, NAME.spc.ecsv). Values are
float32 as written; a -999.0 (a missing value) is masked.
"""

from __future__ import annotations

import os
from typing import Any

import numpy as np

from ._arrays import SENTINEL

# NAME.MAG.out: (name, first column, last column, unit), columns 1-based and inclusive.
_MAG_COLUMNS = [("coverage_positive", 15, 29, ""), ("coverage", 30, 44, ""), ("lambda_eff", 45, 59, "Angstrom"),
                ("zero_point", 60, 74, "mag"), ("m_obs", 75, 89, "mag"), ("m_tot", 90, 104, "mag"),
                ("m_young", 105, 119, "mag"), ("m_old", 120, 134, "mag"), ("m_obs_minus_tot", 135, 149, "mag"),
                ("m_obs_minus_young", 150, 164, "mag"), ("m_obs_minus_old", 165, 179, "mag"),
                ("m_tot_minus_old", 180, 194, "mag"), ("flag", 195, 204, ""),
                ("log_mass_total_m3", 205, 219, "dex(solMass)"), ("log_mass_total_m2", 220, 234, "dex(solMass)"),
                ("log_mass_young_m3", 235, 249, "dex(solMass)"), ("log_mass_young_m2", 250, 264, "dex(solMass)"),
                ("log_mass_old_m3", 265, 279, "dex(solMass)"), ("log_mass_old_m2", 280, 294, "dex(solMass)")]

_SPC_COLUMNS = [("lambda_ext", "Angstrom"), ("flux_ext", ""), ("lambda_obs", "Angstrom"), ("flux_obs", ""),
                ("lambda", "Angstrom"), ("flux_total", ""), ("flux_young", ""), ("flux_old", ""), ("red_term", "")]


def _number(field: str) -> float:
    text = field.strip()
    if not text or set(text) == {"*"}:  # a value too wide for its field
        return float("nan")
    return float(text)


def _table(columns: list[tuple[str, np.ndarray, str]], masked: bool) -> Any:
    from astropy.table import MaskedColumn, Table

    t = Table()
    for name, values, unit in columns:
        if values.dtype.kind == "f" and masked:
            t[name] = MaskedColumn(values, mask=values == SENTINEL, unit=unit or None)
        else:
            t[name] = values
            if unit:
                t[name].unit = unit
    return t


def read_mag(path: str | os.PathLike[str], *, masked: bool = True) -> Any:
    """NAME.MAG.out as an astropy Table, one row per filter: "filter" (the first ten
    characters of its file name), the coverage fractions, lambda_eff (Å), the zero point, the
    four Vega magnitudes m_obs, m_tot, m_young, m_old and their differences (mag), the flag,
    and the six log stellar masses (log10 M_sun). -999.0 is masked unless masked=False; a
    field of asterisks reads as NaN."""
    rows = [line.rstrip("\n") for line in open(path, encoding="utf-8") if line.strip()]
    names = np.array([r[4:14].strip() for r in rows], dtype=str)
    columns: list[tuple[str, np.ndarray, str]] = [("filter", names, "")]
    for name, a, b, unit in _MAG_COLUMNS:
        columns.append((name, np.array([_number(r[a - 1:b]) for r in rows], dtype=np.float32), unit))
    return _table(columns, masked)


def read_spc(path: str | os.PathLike[str], *, masked: bool = False) -> Any:
    """NAME.SPC.out as an astropy Table of nine float32 columns, one row per base wavelength:
    lambda_ext, flux_ext (the cleaned and extended observation, 0 beyond its length),
    lambda_obs, flux_obs (the observation, 0 beyond its length), lambda (the base grid),
    flux_total, flux_young, flux_old and red_term. Wavelengths in Å, fluxes per Å. With
    masked=True, -999.0 is masked."""
    values = np.loadtxt(path, dtype=np.float64, ndmin=2)
    if values.size == 0:
        values = np.zeros((0, len(_SPC_COLUMNS)))
    if values.shape[1] != len(_SPC_COLUMNS):
        raise ValueError(f"{os.fspath(path)}: {values.shape[1]} columns, a .SPC.out has {len(_SPC_COLUMNS)}")
    # Nine significant digits, so float64 then float32 gives back the float32 the run wrote.
    values = values.astype(np.float32)
    return _table([(n, values[:, k], u) for k, (n, u) in enumerate(_SPC_COLUMNS)], masked)


def read_ecsv(path: str | os.PathLike[str]) -> Any:
    """An ECSV table of ``veltrane --ecsv`` (NAME.mag.ecsv or NAME.spc.ecsv) as an astropy
    Table: named, typed columns with units, missing values masked, and the galaxy's
    metadata (its name, distance and six log masses) in ``table.meta``."""
    from astropy.table import Table

    return Table.read(os.fspath(path), format="ascii.ecsv")
