"""The Python module against the command: the same files, the same tables, the same report."""
import concurrent.futures
import json
import os

import numpy as np
import pytest

import morvelin
from conftest import cli, comparable

HOST_FILES = ["SIMU3450.gpb", "SIMU3450.epp", "SIMU3450.sum", "SIMU3450.sta"]
def csv_text(rows):
    """The rows as `inspect --csv` writes them."""
    lines = [",".join(morvelin.GPB_DTYPE.names)]
    for r in rows:
        epoch = f"{r['epoch_time']:.3f},{r['corrected_epoch_time']:.9f},{r['clock_offset']:.3f},{r['flags']}," \
                f"{r['latitude']:.9f},{r['longitude']:.9f},{r['height']:.3f},{r['satellites']},"
        if r["satellites"] == 0:
            lines.append(epoch + ",,,,,,")
            continue
        lines.append(epoch + f"{r['prn']},{r['lock_time']},{r['l1_pseudorange']:.3f},{r['l1_phase']:.3f},"
                     f"{r['l1_third']:.3f},{r['l2_pseudorange']:.3f},{r['l2_phase']:.3f}")
    return "\n".join(lines) + "\n"


def test_convert_writes_what_the_command_writes(sample, converted, tmp_path):
    cli("convert", "-q", "--rinex", "-d", tmp_path, sample)
    names = sorted(os.listdir(tmp_path))
    assert names == sorted(os.listdir(converted))
    for name in names:
        assert comparable(converted / name) == comparable(tmp_path / name), name


def test_read_gpb_is_the_listing(converted):
    rows = morvelin.read_gpb(converted / "SIMU3450.gpb")
    assert csv_text(rows) == cli("inspect", "--csv", converted / "SIMU3450.gpb")
    assert rows.header["channel_count"] == 12 and rows.header["file_name"].endswith("SIMU3450.gpb")
    pandas = pytest.importorskip("pandas")
    frame = rows.to_pandas()
    assert isinstance(frame, pandas.DataFrame) and list(frame.columns) == list(morvelin.GPB_DTYPE.names)


def test_decode_gives_the_rows_of_the_file(sample, converted):
    rows = morvelin.read_gpb(converted / "SIMU3450.gpb")
    for source in (sample, sample.read_bytes()):
        epochs = list(morvelin.decode(source))
        assert len(epochs) == 900 and all(len(set(e["epoch_time"])) == 1 for e in epochs)
        assert np.array_equal(np.concatenate(epochs), np.asarray(rows))


def test_convert_bytes_keeps_the_files_in_memory(sample, converted):
    outcome = morvelin.convert_bytes(sample.read_bytes(), "SIMU3450.dat", rinex=True)
    assert outcome.ok and outcome.counts == {"epochs": 900, "ephemerides": 31, "station_lines": 3, "events": 2}
    assert sorted(outcome.files) == sorted(os.listdir(converted))
    for name in HOST_FILES[1:]:
        assert outcome.files[name] == (converted / name).read_bytes(), name
    memory = outcome.files["SIMU3450.gpb"]
    assert memory[202:] == (converted / "SIMU3450.gpb").read_bytes()[202:]


def test_four_threads_convert_at_once(sample, converted, tmp_path):
    folders = [tmp_path / str(i) for i in range(4)]
    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        outcomes = list(pool.map(lambda f: morvelin.convert(sample, output_dir=f, rinex=True), folders))
    assert all(o.ok for o in outcomes)
    for folder in folders:
        for name in os.listdir(converted):
            assert comparable(folder / name) == comparable(converted / name), name


def test_qc_is_the_commands_json(sample, converted):
    assert morvelin.qc(sample) == json.loads(cli("qc", "--json", sample))
    gpb = converted / "SIMU3450.gpb"
    assert morvelin.qc(gpb) == json.loads(cli("qc", "--json", gpb))
    outcome = morvelin.convert(sample, output_dir=converted / "qc", qc=True)
    assert outcome.qc == morvelin.qc(sample)


EPP = ("$EPHREC Ver6.02 MORVELIN \n"
       "GpsEph { Prn: 17\n"
       "\tEl1: 2291 7200 -9.31322575e-10 44 512\n"
       "\tEl2: 2.44140625e-04 -9.09494702e-13 0.00000000e+00\n"
       "\tEl3: 44 -1.18750000e+02 4.50018764e-09 1.23456789012345e+00\n"
       "\tEl4: -6.13741577e-06 1.23456789012345e-02 5.36441803e-06 5.15366210937500e+03\n"
       "\tEl5: 7200 1.30385160e-08 -2.12345678901234e+00 -2.04890966e-08\n"
       "\tEl6: 9.61234567890123e-01 2.53093750e+02 6.54321098765432e-01 -8.11534510e-09 2.28580380e-10\n"
       "}\n")


def test_read_epp(converted, tmp_path):
    path = tmp_path / "EPHE0010.epp"
    path.write_text(EPP)
    (e,) = morvelin.read_epp(path)
    assert (e["prn"], e["week"], e["toe"], e["toc"], e["iode"], e["iodc"]) == (17, 2291, 7200, 7200, 44, 44)
    assert (e["sqrt_a"], e["e"], e["m0"]) == (5153.662109375, 1.23456789012345e-02, 1.23456789012345)
    assert len(morvelin.read_epp(converted / "SIMU3450.epp")) == 31


def test_gps_time_is_the_commands():
    assert morvelin.gps_time.from_calendar(2005, 1, 1, 0, 0, 0.25) == (1303, 518400.25)
    assert cli("time", "1303", "518400.25").strip() == "2005-01-01T00:00:00.25"
    year, month, day, hours, minutes, seconds = morvelin.gps_time.to_calendar(1303, 518400.25)
    assert (year, month, day, hours, minutes) == (2005, 1, 1, 0, 0) and seconds == pytest.approx(0.25)
    assert morvelin.gps_time.year_day(1303, 518400.25)[:2] == (2005, 1)
    assert morvelin.gps_time.to_mjd(1303, 518400.0 + 43200.0) == (53371, pytest.approx(0.5))
