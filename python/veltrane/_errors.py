"""The exceptions and warnings of veltrane.

Arguments the kernels cannot take (shapes, dtypes, wavelengths out of order, an unknown
system or law) raise the built-in ValueError or TypeError; what goes wrong with files or with
a galaxy raises one of the classes below, all VeltraneError.
"""

from __future__ import annotations


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


class GalaxyWarning(UserWarning):
    """A galaxy the command line marks as failed (it would leave a .LOG file): its values
    are still returned, with NaN (or -999.0) wherever it computed nothing."""


class FilterWarning(UserWarning):
    """A filter without any sample: all its values are missing."""
