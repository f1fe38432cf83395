"""The recipes of docs/campaigns.md, run: Dask on a LocalCluster of two worker processes, GNU
parallel where it is installed; each against converting the files one after another."""
import os
import re
import shutil
import subprocess

import pytest

import morvelin
from conftest import SAMPLE, SOURCE, same_trees

STATIONS = ["ZIMM", "WTZR", "ONSA"]


def blocks(language):
    return re.findall(rf"```{language}\n(.*?)```", (SOURCE / "docs" / "campaigns.md").read_text(), re.S)


@pytest.fixture
def campaign(tmp_path):
    """raw/SITE/SITE3450.dat for three stations, one file gone (a link to nothing) and one
    whose .gpb cannot be written (a folder in its place); the good files converted one after
    another into reference/."""
    for site in STATIONS:
        (tmp_path / "raw" / site).mkdir(parents=True)
        shutil.copy(SAMPLE, tmp_path / "raw" / site / f"{site}3450.dat")
    (tmp_path / "raw" / "GONE").mkdir()
    (tmp_path / "raw" / "GONE" / "GONE3450.dat").symlink_to(tmp_path / "nowhere.dat")
    (tmp_path / "raw" / "BLOK").mkdir()
    shutil.copy(SAMPLE, tmp_path / "raw" / "BLOK" / "BLOK3450.dat")
    (tmp_path / "out" / "BLOK" / "BLOK3450.gpb").mkdir(parents=True)
    for site in STATIONS:
        assert morvelin.convert(tmp_path / "raw" / site / f"{site}3450.dat", tmp_path / "reference" / site).ok
    return tmp_path


def converted_sites(out):
    shutil.rmtree(out / "BLOK")
    return same_trees(out, out.parent / "reference")


def test_dask_on_two_worker_processes(campaign):
    distributed = pytest.importorskip("distributed")
    scope = {}
    exec(compile(blocks("python")[0], "campaigns.md", "exec"), scope)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        done, failed = scope["convert_tree"](client, campaign / "raw", campaign / "out")
    assert sorted(os.path.basename(p) for p in done) == sorted(f"{s}3450.dat" for s in STATIONS)
    assert sorted(os.path.basename(p) for p in failed) == ["BLOK3450.dat", "GONE3450.dat"]
    assert "FileNotFoundError" in failed[str(campaign / "raw" / "GONE" / "GONE3450.dat")]
    assert "BLOK3450.gpb" in failed[str(campaign / "raw" / "BLOK" / "BLOK3450.dat")]
    assert len(converted_sites(campaign / "out")) == 4 * len(STATIONS)


def test_gnu_parallel(campaign):
    command = os.environ.get("MORVELIN_CLI") or shutil.which("morvelin")
    if shutil.which("parallel") is None or command is None:
        pytest.skip("GNU parallel or the morvelin command is not installed")
    (recipe,) = [b for b in blocks("sh") if "parallel" in b]
    bin_dir = campaign / "bin"
    bin_dir.mkdir()
    (bin_dir / "morvelin").symlink_to(command)
    env = dict(os.environ, PATH=f"{bin_dir}:{os.environ['PATH']}", HOME=str(campaign))
    done = subprocess.run(["bash", "-c", recipe], cwd=campaign, env=env, capture_output=True, text=True)
    assert done.returncode == 2, done.stderr  # parallel: the number of jobs that failed
    log = (campaign / "convert.log").read_text().splitlines()[1:]
    exits = {line.split("\t")[-1].split()[-1]: int(line.split("\t")[6]) for line in log}
    assert exits == {"./BLOK/BLOK3450.dat": 2, "./GONE/GONE3450.dat": 2, **{f"./{s}/{s}3450.dat": 0 for s in STATIONS}}
    assert len(converted_sites(campaign / "out")) == 4 * len(STATIONS)


def test_the_slurm_script_is_bash():
    (script,) = [b for b in blocks("sh") if "#SBATCH" in b]
    subprocess.run(["bash", "-n"], input=script, text=True, check=True)
