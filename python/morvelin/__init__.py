"""morvelin for Python: convert GPS raw data files, import RINEX, read measurement (.gpb)
and ephemeris (.epp) files as numpy arrays, decode raw data in memory, and
build the quality report.

Errors: a missing file raises FileNotFoundError, an unreadable one
PermissionError, a file that is not what it claims ValueError with the
library's text. A conversion that fails on its outputs returns an Outcome
whose result is "failed" (see .failure and .reason).
"""

from __future__ import annotations

import dataclasses
import json
import os
from typing import Callable, Iterator, Optional, Union

import numpy as np

from . import _morvelin
from ._morvelin import gps_time

__version__ = _morvelin.__version__
__all__ = ["Outcome", "GpbArray", "GPB_DTYPE", "EPP_DTYPE", "convert", "convert_bytes", "import_rinex",
           "read_gpb",
           "read_epp", "decode", "qc", "gps_time"]

# One row per observation, named as `morvelin inspect --csv` names its
# columns. An epoch without satellites has one row with prn 0 and NaN values.
GPB_DTYPE = np.dtype([
    ("epoch_time", "<f8"), ("corrected_epoch_time", "<f8"), ("clock_offset", "<f8"), ("flags", "u1"),
    ("latitude", "<f8"), ("longitude", "<f8"), ("height", "<f4"), ("satellites", "u1"), ("prn", "u1"),
    ("lock_time", "u1"), ("l1_pseudorange", "<f8"), ("l1_phase", "<f8"), ("l1_third", "<f8"),
    ("l2_pseudorange", "<f8"), ("l2_phase", "<f8")])
assert GPB_DTYPE.itemsize == _morvelin.ROW_SIZE

# One row per ephemeris, in the units of the GPS user algorithm: seconds,
# metres, radians, radians per second; week is the full GPS week of toe.
EPP_DTYPE = np.dtype([
    ("prn", "<i4"), ("week", "<i4"), ("toe", "<i4"), ("toc", "<i4"), ("sqrt_a", "<f8"), ("e", "<f8"),
    ("i0", "<f8"), ("omega0", "<f8"), ("omega", "<f8"), ("m0", "<f8"), ("delta_n", "<f8"), ("idot", "<f8"),
    ("omega_dot", "<f8"), ("cuc", "<f8"), ("cus", "<f8"), ("crc", "<f8"), ("crs", "<f8"), ("cic", "<f8"),
    ("cis", "<f8"), ("af0", "<f8"), ("af1", "<f8"), ("af2", "<f8"), ("tgd", "<f8"), ("iode", "<i4"),
    ("iodc", "<i4"), ("health", "<i4"), ("ura", "<i4")])


@dataclasses.dataclass
class Outcome:
    """What a conversion did. result: "done" (read to the end) or "failed"."""
    result: str
    counts: dict
    damage: dict
    failure: str
    reason: str
    outputs: list
    stopped: bool = False
    measurement_records: int = 0
    qc: Optional[dict] = None        # the quality report (as `qc --json`), with qc=True
    files: dict = dataclasses.field(default_factory=dict)  # convert_bytes: name -> bytes
    imported: Optional[dict] = None  # import_rinex: what was not carried, as `import` counts it

    @property
    def ok(self) -> bool:
        return self.result == "done"

    @classmethod
    def _from(cls, d: dict) -> "Outcome":
        report = d.pop("qc")
        return cls(qc=json.loads(report) if report is not None else None, **d)


class GpbArray(np.ndarray):
    """A measurement file's rows (GPB_DTYPE) with the file's header as .header."""

    def __array_finalize__(self, obj):
        self.header = getattr(obj, "header", {})

    def to_pandas(self):
        """The rows as a pandas DataFrame (pandas must be installed)."""
        import pandas
        return pandas.DataFrame(np.asarray(self))


def _path(path) -> str:
    return os.fsdecode(os.fspath(path))


def _rinex(rinex) -> Optional[str]:
    if rinex is None or rinex is False:
        return None
    return "3.04" if rinex is True else str(rinex)


def _bare_name(name):
    """The name a receiver gives its file (SITE3450.dat): it names the outputs."""
    if name is not None and (not name or name.startswith(".") or "/" in name or "\\" in name):
        raise ValueError(f"name takes a bare file name (no folder, no leading dot), not {name!r}")
    return name


def convert(path, output_dir=None, name=None, rinex=None, qc=False, kinematic=False, atomic=True,
            progress: Optional[Callable[[int, int], None]] = None) -> Outcome:
    """Converts a raw data file into its .gpb, .epp, .sum and .sta files (beside it, or in
    output_dir), with rinex ("3.04", "2.11" or True) a RINEX observation and navigation file
    too, with qc the quality report in the outcome. atomic: all outputs or none.
    progress(position, length) is called in bytes of the input. The GIL is released while
    the file converts, so threads convert in parallel."""
    _bare_name(name)
    if output_dir is not None:
        os.makedirs(_path(output_dir), exist_ok=True)
    d = _morvelin.convert(_path(path), "" if output_dir is None else _path(output_dir), name or "",
                          _rinex(rinex), bool(qc), bool(kinematic), bool(atomic), progress)
    return Outcome._from(d)


def convert_bytes(data: bytes, name: str, rinex=None, qc=False, kinematic=False,
                  progress=None) -> Outcome:
    """Converts raw data in memory; the outputs stay in memory: Outcome.files maps each
    output's name (NAME.gpb, ...) to its bytes. name is the raw file's name (SITE3450.dat)."""
    d = _morvelin.convert_bytes(bytes(data), _bare_name(name), _rinex(rinex), bool(qc), bool(kinematic), progress)
    return Outcome._from(d)


def import_rinex(obs_path, nav_paths=(), output_dir=None, name=None, rinex=None, qc=False, lenient=False,
                 atomic=True) -> Outcome:
    """Imports a RINEX observation file (with navigation files for the .epp) into the host's
    four files, as `morvelin import` does: NAME.gpb, .epp, .sum, .sta beside the observation
    file or in output_dir, NAME the file's name without its extension(s) unless given.
    rinex, qc and atomic as with convert. A malformed line raises ValueError with its file,
    line and column; with lenient its epoch is passed over and counted in .imported. The GIL
    is released while the files import."""
    _bare_name(name)
    if isinstance(nav_paths, (str, bytes, os.PathLike)):
        nav_paths = [nav_paths]
    if output_dir is not None:
        os.makedirs(_path(output_dir), exist_ok=True)
    d = _morvelin.import_rinex(_path(obs_path), [_path(p) for p in nav_paths],
                               "" if output_dir is None else _path(output_dir), name or "", _rinex(rinex),
                               bool(qc), bool(lenient), bool(atomic))
    return Outcome._from(d)


def read_gpb(path) -> GpbArray:
    """A measurement file (.gpb) as a structured array (GPB_DTYPE), its header in .header."""
    rows, header = _morvelin.read_gpb(_path(path), GPB_DTYPE)
    out = rows.view(GpbArray)
    out.header = header
    return out


def read_epp(path) -> np.ndarray:
    """An ephemeris file (.epp) as a structured array (EPP_DTYPE)."""
    return np.array(_morvelin.read_epp(_path(path)), dtype=EPP_DTYPE)


def decode(source: Union[str, os.PathLike, bytes, bytearray, memoryview], kinematic=False) -> Iterator[np.ndarray]:
    """Every epoch of raw data (a file's path, or its bytes), converted in memory without
    writing a file: one structured array (GPB_DTYPE) per epoch, as read_gpb reads them."""
    if isinstance(source, (bytes, bytearray, memoryview)):
        rows, starts, _ = _morvelin.decode(None, bytes(source), GPB_DTYPE, bool(kinematic))
    else:
        rows, starts, _ = _morvelin.decode(_path(source), None, GPB_DTYPE, bool(kinematic))
    ends = starts[1:] + [len(rows)]
    for start, end in zip(starts, ends):
        yield rows[start:end]


def qc(path, epp=None, mask=10.0) -> dict:
    """The quality report of a raw data file (converted in memory) or of a measurement file
    (.gpb, with its .epp beside it unless epp names one), as `morvelin qc --json` gives it."""
    path = _path(path)
    stem, extension = os.path.splitext(path)
    measurement_file = extension.lower() == ".gpb"
    if epp is None and measurement_file:
        epp = next((stem + e for e in (".epp", ".EPP") if os.path.exists(stem + e)), "")
    elif epp is not None and not measurement_file:
        raise ValueError("epp goes with a measurement file (.gpb); a raw data file has its ephemerides")
    return json.loads(_morvelin.qc_json(path, _path(epp) if epp else "", measurement_file, float(mask)))
