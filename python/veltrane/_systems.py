"""The photometric systems and the named tuple of a measurement (re-exported by
veltrane.photometry)."""

from __future__ import annotations

from typing import NamedTuple

import numpy as np

from . import _core

#: The seven photometric systems, in the order of the last axis of magnitude arrays:
#: Vega at 0, Vega at 0.026, AB, BD+17d4708 at 9.5, WFPC2 zero point -21.1, FOCA zero point
#: -21.175, and no zero point.
SYSTEMS: tuple[str, ...] = tuple(_core.SYSTEMS)

#: The command line's names of the systems (verbose listing), in the same order.
TABLE_SYSTEM_NAMES: tuple[str, ...] = tuple(_core.SYSTEM_LABELS)


class Photometry(NamedTuple):
    """Everything measured for one spectrum (shapes (F,) and (F, 7)) or N spectra ((N, F) and
    (N, F, 7)).

    Attributes
    ----------
    flux : numpy.ndarray
        ∫F_λ T dλ over the samples of positive flux (erg s⁻¹ cm⁻² for F_λ in
        erg s⁻¹ cm⁻² Å⁻¹; not divided by the filter's area).
    covered : numpy.ndarray
        The part of the filter's area covered by the spectrum (0 to 1).
    positive : numpy.ndarray
        The part covered where the spectrum's flux is positive (0 to 1).
    magnitudes : numpy.ndarray
        The magnitudes in the seven `SYSTEMS` (mag).
    """

    flux: np.ndarray
    covered: np.ndarray
    positive: np.ndarray
    magnitudes: np.ndarray


def system_index(system: str) -> int:
    """The position of a photometric system in `SYSTEMS`.

    Parameters
    ----------
    system : str
        A name from `SYSTEMS`, in any letter case.

    Returns
    -------
    int
        Its position, the index of the last axis of a magnitude array.

    Raises
    ------
    ValueError
        For an unknown name.
    TypeError
        For anything but a string.

    Examples
    --------
    >>> from veltrane.photometry import system_index
    >>> system_index("AB")
    2
    """
    if not isinstance(system, str):
        raise TypeError(f"system must be a name from veltrane.SYSTEMS, not {type(system).__name__}")
    key = system.lower()
    if key not in SYSTEMS:
        raise ValueError(f"unknown photometric system {system!r}: use one of {', '.join(SYSTEMS)}")
    return SYSTEMS.index(key)
