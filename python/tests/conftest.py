"""The module's tests: the built package on PYTHONPATH, the command (MORVELIN_CLI) and the
source tree (MORVELIN_SOURCE_DIR) from ctest's environment."""
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
