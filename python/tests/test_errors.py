"""Bad input raises the exception Python programs expect, never crashes the interpreter."""
import os

import numpy as np
import pytest

import morvelin

READERS = {
    "convert": lambda p: morvelin.convert(p, output_dir=os.path.dirname(p) + "/out"),
    "read_gpb": morvelin.read_gpb,
    "read_epp": morvelin.read_epp,
    "decode": lambda p: list(morvelin.decode(p)),
    "qc": morvelin.qc,
}


@pytest.mark.parametrize("reader", READERS)
def test_a_missing_file(reader, tmp_path):
    with pytest.raises(FileNotFoundError):
        READERS[reader](str(tmp_path / "NONE3450.gpb"))


@pytest.mark.parametrize("reader", READERS)
def test_a_folder(reader, tmp_path):
    (tmp_path / "FOLD3450.dat").mkdir()
    with pytest.raises(IsADirectoryError):
        READERS[reader](str(tmp_path / "FOLD3450.dat"))


@pytest.mark.skipif(os.geteuid() == 0, reason="root reads every file")
@pytest.mark.parametrize("reader", READERS)
def test_an_unreadable_file(reader, tmp_path):
    path = tmp_path / "LOCK3450.gpb"
    path.write_bytes(b"\0" * 300)
    path.chmod(0)
    with pytest.raises(PermissionError):
        READERS[reader](str(path))


# What each reader says of a file that is not what it claims.
NOT_WHAT_IT_CLAIMS = {
    "text as .gpb": ("read_gpb", "TEXT3450.gpb", b"not a measurement file\n" * 20, "Invalid header size"),
    "short .gpb": ("read_gpb", "EMPT3450.gpb", b"\xca\x00", "Unable to read header from EMPT3450.gpb"),
    "broken .epp": ("read_epp", "EPHE3450.epp", b"$EPHREC Ver6.02 MORVELIN \nGpsEph { Prn: x\n\tEl1: 1\n}\n",
                    "block 1 cannot be read"),
    "text as .epp": ("read_epp", "TEXT3450.epp", b"GpsEph { Prn: 3\n}\n", "not an ephemeris file"),
    "zeros as raw data": ("qc", "ZERO3450.dat", b"\x00" * 4000, "not a raw data file"),
}


@pytest.mark.parametrize("case", NOT_WHAT_IT_CLAIMS)
def test_a_file_that_is_not_what_it_claims(case, tmp_path):
    reader, name, data, text = NOT_WHAT_IT_CLAIMS[case]
    path = tmp_path / name
    path.write_bytes(data)
    with pytest.raises(ValueError, match=text):
        READERS[reader](str(path))


def test_any_bytes_decode_or_raise(sample):
    raw = bytearray(sample.read_bytes())
    rng = np.random.default_rng(7)
    for _ in range(20):
        cut = raw[: int(rng.integers(0, len(raw)))]
        for i in rng.integers(0, max(len(cut), 1), 50):
            if i < len(cut):
                cut[i] = int(rng.integers(0, 256))
        for epoch in morvelin.decode(bytes(cut)):
            assert epoch.dtype == morvelin.GPB_DTYPE


def test_a_failing_progress_stops_the_run_and_raises(sample, tmp_path):
    def progress(position, length):
        if position > length // 2:
            raise KeyboardInterrupt

    with pytest.raises(KeyboardInterrupt):
        morvelin.convert(sample, output_dir=tmp_path, progress=progress)
    assert os.listdir(tmp_path) == []


def test_a_refused_output_is_an_outcome(sample, tmp_path):
    (tmp_path / "SIMU3450.gpb").mkdir()
    outcome = morvelin.convert(sample, output_dir=tmp_path)
    assert outcome.result == "failed" and "SIMU3450.gpb" in outcome.failure
    for name in ("", ".dat", "out/X.dat"):
        with pytest.raises(ValueError, match="bare file name"):
            morvelin.convert_bytes(b"", name)
    with pytest.raises(ValueError, match="RINEX version"):
        morvelin.convert(sample, output_dir=tmp_path / "r", rinex="4.00")
