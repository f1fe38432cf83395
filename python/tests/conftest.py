"""The module's tests: the built package on PYTHONPATH, the command (MORVELIN_CLI) and the
source tree (MORVELIN_SOURCE_DIR) from ctest's environment."""
import io
import os
import pathlib
import shutil
import subprocess

import pytest

import morvelin

SOURCE = pathlib.Path(os.environ.get("MORVELIN_SOURCE_DIR", pathlib.Path(__file__).resolve().parents[2]))
SAMPLE = SOURCE / "examples" / "SIMU3450.dat"


def cli(*args, cwd=None):
    """Runs the morvelin command; its standard output."""
    command = os.environ.get("MORVELIN_CLI") or shutil.which("morvelin")
    if command is None:
        pytest.skip("no morvelin command (MORVELIN_CLI)")
    done = subprocess.run([command, *map(str, args)], cwd=cwd, capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    return done.stdout


@pytest.fixture(scope="session")
def sample():
    return SAMPLE


@pytest.fixture(scope="session")
def converted(tmp_path_factory):
    """The sample converted once by the module, with RINEX: the output folder."""
    out = tmp_path_factory.mktemp("converted")
    outcome = morvelin.convert(SAMPLE, output_dir=out, rinex=True)
    assert outcome.ok, outcome.failure
    return out


# The fields written with the creation time: the .gpb header's creation
# date and time (bytes 8-19), RINEX's program line.
GPB_CREATED = slice(8, 20)


def comparable(path):
    """A file's bytes less those that tell when it was written."""
    data = pathlib.Path(path).read_bytes()
    if path.suffix == ".gpb":
        return data[:GPB_CREATED.start] + data[GPB_CREATED.stop:]
    if path.suffix in (".23o", ".23n"):
        return b"".join(line for line in io.BytesIO(data) if b"PGM / RUN BY / DATE" not in line)
    return data


def same_trees(a, b):
    """The files under a and b, and whether each pair is the same but for its writing time."""
    names = sorted(str(p.relative_to(a)) for p in pathlib.Path(a).rglob("*") if p.is_file())
    assert names == sorted(str(p.relative_to(b)) for p in pathlib.Path(b).rglob("*") if p.is_file())
    for name in names:
        assert comparable(pathlib.Path(a) / name) == comparable(pathlib.Path(b) / name), name
    return names
