#!/usr/bin/env python3
"""morvelin.read_gpb against numpy.fromfile of the same measurement file: the .gpb of
bench/throughput.sh's session (made with morvelin-sim and converted once, kept in
build/bench), page cache warm, alternating, RUNS runs each (default 7).

    PYTHONPATH=build/release/python python3 bench/python_read.py [RUNS]
    (MORVELIN_SIM=path/to/morvelin-sim for the simulator of another build)
"""
import os
import pathlib
import statistics
import subprocess
import sys
import time

import numpy as np

import morvelin

ROOT = pathlib.Path(__file__).resolve().parents[1]
WORK = ROOT / "build" / "bench"
RAW = WORK / "TPUT0010.dat"
SIM = os.environ.get("MORVELIN_SIM", ROOT / "build" / "release" / "tools" / "sim" / "morvelin-sim")


def session():
    """bench/throughput.sh's session (its options), converted once by the module."""
    if not RAW.exists():
        WORK.mkdir(parents=True, exist_ok=True)
        subprocess.run([SIM, "--rate", "20", "--duration", "34000", "--satellites", "32", "--mask", "0",
                        "--position", "0,0,0", "--seed", "7", RAW], check=True)
    gpb = WORK / "py" / "TPUT0010.gpb"
    if not gpb.exists():
        assert morvelin.convert(RAW, output_dir=gpb.parent).ok
    return gpb


def timed(function, path):
    start = time.perf_counter()
    out = function(path)
    return time.perf_counter() - start, out


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 7
    gpb = session()
    size = os.path.getsize(gpb)
    read, raw = [], []
    for _ in range(runs):
        seconds, _ = timed(lambda p: np.fromfile(p, dtype=np.uint8), gpb)
        raw.append(seconds)
        seconds, rows = timed(morvelin.read_gpb, gpb)
        read.append(seconds)
    # Peak resident memory of a fresh process reading the file, over what it had before:
    # the array is allocated for the most rows the file's size allows, but pages never
    # written are never resident, and the rest is given back when the array is cut.
    # (VmHWM: getrusage's maximum is carried over from the parent.)
    probe = ("import re, sys, morvelin\n"
             "def peak(): return int(re.search(r'VmHWM:\\s*(\\d+)', open('/proc/self/status').read())[1]) * 1024\n"
             "before = peak()\n"
             "rows = morvelin.read_gpb(sys.argv[1])\n"
             "print(peak() - before)")
    peak = int(subprocess.run([sys.executable, "-c", probe, gpb], capture_output=True, text=True,
                              check=True).stdout)
    ratios = sorted(r / f for r, f in zip(read, raw))
    print(f"{gpb.name}: {size / 1e6:.0f} MB, {len(rows)} rows ({rows.nbytes / 1e6:.0f} MB as an array)")
    print(f"numpy.fromfile     median {statistics.median(raw):.3f} s  ({size / statistics.median(raw) / 1e6:.0f} MB/s)")
    print(f"morvelin.read_gpb  median {statistics.median(read):.3f} s  ({len(rows) / statistics.median(read) / 1e6:.1f} M rows/s)")
    print(f"read_gpb / fromfile: median {statistics.median(ratios):.2f} ({ratios[0]:.2f}-{ratios[-1]:.2f}), paired by run")
    print(f"read_gpb peak memory: {peak / 1e6:.0f} MB more than before, for an array of {rows.nbytes / 1e6:.0f} MB")


if __name__ == "__main__":
    main()
