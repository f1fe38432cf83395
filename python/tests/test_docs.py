"""The worked example of docs/python.md, run as a reader would run it."""
import re
import shutil

import pytest

import morvelin

from conftest import SAMPLE, SOURCE


def blocks():
    return re.findall(r"```python\n(.*?)```", (SOURCE / "docs" / "python.md").read_text(), re.S)


def test_the_worked_example(tmp_path, monkeypatch, capsys):
    shutil.copy(SAMPLE, tmp_path)
    monkeypatch.chdir(tmp_path)
    convert_and_read, plot = blocks()
    scope = {}
    exec(compile(convert_and_read, "python.md", "exec"), scope)
    printed = capsys.readouterr().out.splitlines()
    assert printed[0] == "done 900 epochs"
    # Each satellite's MP1 as the quality report has it, to a centimetre.
    report = {s["prn"]: s["mp1_rms_m"] for s in morvelin.qc("out/SIMU3450.gpb")["satellites"]}
    assert len(printed) == 1 + len(report)
    for line, (prn, rms) in zip(printed[1:], sorted(report.items())):
        assert re.fullmatch(rf"G{prn:02d}  MP1 rms \d+\.\d{{3}} m", line), line
        assert float(line.split()[3]) == pytest.approx(rms, abs=0.01), line
    pytest.importorskip("matplotlib")
    exec(compile(plot, "python.md", "exec"), scope)
    assert (tmp_path / "mp1.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
