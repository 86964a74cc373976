"""The exceptions and warnings of veltrane.

Arguments the kernels cannot take (shapes, dtypes, wavelengths out of order, an unknown
system or law) raise the built-in ValueError or TypeError; what goes wrong with files or with
a galaxy raises one of the classes below, all VeltraneError.
"""

from __future__ import annotations

from typing import NamedTuple


class VeltraneError(Exception):
    """Base class of veltrane's errors.

    Attributes: ``path`` (the file concerned, or None), ``record`` (its 1-based record,
    that is its line, or None), ``reason`` (what is wrong there, in words) and ``console``
    (what the command line would have printed). The command line's standard error names the
    same file, record and reason.
    """

    path: str | None = None
    record: int | None = None
    reason: str = ""
    console: str = ""


class FilterSetError(VeltraneError):
    """A filter directory that cannot be read or calibrated: a missing or damaged standard
    spectrum, list or filter file, or a curve whose wavelengths do not increase strictly.
    The message names the file and the record; ``path`` and ``record`` hold them."""


class InputFileError(VeltraneError):
    """A synthesis result or a grid file that cannot be read; ``console`` holds the
    reader's report as the command line prints it."""


class RunStopError(VeltraneError):
    """A galaxy whose rebuild ends the way the command line stops the whole run (a missing
    SSP base file or SSP spectrum, a filter set that cannot be read, repeated wavelengths in
    the extended observation); ``console`` holds the lines the run prints."""


class Failure(NamedTuple):
    """Where and why a galaxy failed, as the command line's standard error says it.

    Attributes
    ----------
    path : str
        The file at fault.
    record : int or None
        Its 1-based record (line), or None where the file as a whole is at fault.
    reason : str
        What is wrong there, in words.

    Examples
    --------
    >>> Failure("base/ssp.dat", 20, "expected two numbers (wavelength, flux), found '1950.0 x'")
    Failure(path='base/ssp.dat', record=20, reason="expected two numbers (wavelength, flux), found '1950.0 x'")
    """

    path: str
    record: int | None
    reason: str


class GalaxyWarning(UserWarning):
    """A galaxy the command line marks as failed (it would leave a .LOG file): its values
    are still returned, with NaN (or -999.0) wherever it computed nothing; the message and
    ``Galaxy.failure`` say where and why."""


class FilterWarning(UserWarning):
    """A filter without any sample: all its values are missing."""


class CoverageWarning(UserWarning):
    """A magnitude measured on a spectrum that covers the filter only in part, or that has
    NaN fluxes inside it: the flux outside or at the NaN is missing from the integral, so the
    magnitude comes out too faint. The message names the filters. ``FilterSet.coverage()``
    gives the covered parts; ``min_coverage=`` turns such magnitudes into NaN."""


class SamplingWarning(UserWarning):
    """A spectrum whose samples are too far apart for a filter: where they fall decides the
    magnitude (beyond 0.15 of the filter's equivalent width, by 0.01 mag and more even on
    smooth spectra). The message names the filters and the spacing."""
