#!/usr/bin/env python3
"""Files per second per core for a campaign of simulated 24-hour sessions (made once with
morvelin-sim, kept in build/bench/campaign): each file converted whole into its four files,
one after another in one process, by threads of one process, and on a Dask LocalCluster of
worker processes (one per core), each with its peak memory per file.

    PYTHONPATH=build/release/python python3 bench/campaign.py [FILES]
    (MORVELIN_SIM=path/to/morvelin-sim for the simulator of another build)
"""
import concurrent.futures
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import time

import morvelin

ROOT = pathlib.Path(__file__).resolve().parents[1]
WORK = ROOT / "build" / "bench" / "campaign"
SIM = os.environ.get("MORVELIN_SIM", ROOT / "build" / "release" / "tools" / "sim" / "morvelin-sim")
# A station network's daily files: 30 s and 1 s sampling, L1 and L2.
KINDS = {"30s": ["--interval", "30"], "1Hz": ["--rate", "1"]}
CORES = os.cpu_count() or 1


def sessions(kind, count):
    """count 24-hour sessions of one kind, each from its own place and seed."""
    folder = WORK / kind
    folder.mkdir(parents=True, exist_ok=True)
    paths = []
    for i in range(count):
        path = folder / f"S{i:03d}3450.dat"
        if not path.exists():
            subprocess.run([SIM, *KINDS[kind], "--duration", "86400", "--seed", str(i + 1), "--position",
                            f"{-60 + 120 * i / max(count - 1, 1):.1f},{(37 * i) % 360 - 180},300", path],
                           check=True, stdout=subprocess.DEVNULL)
        paths.append(path)
    return paths


def peak_memory(path):
    """Peak resident memory of one conversion in a fresh process, over what it had before."""
    probe = ("import re, sys, tempfile, morvelin\n"
             "def peak(): return int(re.search(r'VmHWM:\\s*(\\d+)', open('/proc/self/status').read())[1]) * 1024\n"
             "before = peak()\n"
             "assert morvelin.convert(sys.argv[1], output_dir=tempfile.mkdtemp()).ok\n"
             "print(peak() - before)")
    return int(subprocess.run([sys.executable, "-c", probe, path], capture_output=True, text=True, check=True).stdout)


def run(how, paths):
    out = pathlib.Path(tempfile.mkdtemp())
    folders = [str(out / p.stem) for p in paths]
    start = time.perf_counter()
    if how == "sequential":
        outcomes = [morvelin.convert(p, f) for p, f in zip(paths, folders)]
    elif how == "threads":
        with concurrent.futures.ThreadPoolExecutor(CORES) as pool:
            outcomes = list(pool.map(morvelin.convert, paths, folders))
    else:
        outcomes = client.gather(client.map(morvelin.convert, [str(p) for p in paths], folders, pure=False))
    seconds = time.perf_counter() - start
    shutil.rmtree(out)
    assert all(o.ok for o in outcomes)
    return seconds


def main():
    global client
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 8
    from dask.distributed import Client, LocalCluster
    with LocalCluster(n_workers=CORES, threads_per_worker=1, dashboard_address=None) as cluster, \
            Client(cluster) as client:
        print(f"{CORES} cores; {count} files of each kind; files/s per core (wall), median of 3")
        for kind in KINDS:
            paths = sessions(kind, count)
            size = sum(p.stat().st_size for p in paths) / count
            print(f"{kind}: {size / 1e6:.1f} MB a file, peak memory of one conversion "
                  f"{peak_memory(paths[0]) / 2**20:.1f} MiB")
            for how, cores in (("sequential", 1), ("threads", CORES), ("dask", CORES)):
                seconds = sorted(run(how, paths) for _ in range(3))[1]
                print(f"  {how:10s} {count / seconds:8.1f} files/s  {count / seconds / cores:8.1f} files/s per core")


if __name__ == "__main__":
    main()
