"""morvelin.import_rinex against `morvelin import`: a simulated session's RINEX export imported
into the same files; a malformed file refused at its line, with nothing written."""
import os

import pytest

import morvelin
from conftest import SAMPLE, cli, same_trees


@pytest.fixture(scope="module")
def exported(tmp_path_factory):
    """The sample's RINEX observation and navigation files, as `convert --rinex` writes them."""
    out = tmp_path_factory.mktemp("exported")
    cli("convert", "-q", "--rinex", "-d", out, SAMPLE)
    return next(out.glob("*.23o")), next(out.glob("*.23n"))


def test_import_writes_what_the_command_writes(exported, tmp_path):
    obs, nav = exported
    outcome = morvelin.import_rinex(obs, [nav], output_dir=tmp_path / "module", rinex=True)
    printed = cli("import", "-q", "--rinex", "-d", tmp_path / "command", obs, nav)
    assert outcome.ok and outcome.counts["epochs"] == 900 and "epochs written:     900\n" in printed
    assert len(same_trees(tmp_path / "module", tmp_path / "command")) == 6


def letter_in_a_value(text):
    """The export with a letter in the first value of its 20th epoch."""
    lines = text.splitlines(True)
    at = [i for i, line in enumerate(lines) if line.startswith(">")][19] + 1
    lines[at] = lines[at][:8] + "x" + lines[at][9:]
    return "".join(lines)


@pytest.mark.parametrize("edit, error, message", [
    (None, FileNotFoundError, "No such file"),
    (lambda text: text.replace("END OF HEADER", "COMMENT      "), ValueError, r"bad\.23o:\d+:1: the header ends"),
    (letter_in_a_value, ValueError, r"bad\.23o:\d+:\d+: bad observation value"),
])
def test_a_malformed_file_raises_and_writes_nothing(exported, tmp_path, edit, error, message):
    obs, nav = exported
    if edit:
        (tmp_path / "bad.23o").write_text(edit(obs.read_text()))
    with pytest.raises(error, match=message):
        morvelin.import_rinex(tmp_path / "bad.23o", [nav])
    assert os.listdir(tmp_path) == (["bad.23o"] if edit else [])


def test_lenient_passes_over_the_epoch_with_a_count(exported, tmp_path):
    obs, nav = exported
    (tmp_path / "bad.23o").write_text(letter_in_a_value(obs.read_text()))
    outcome = morvelin.import_rinex(tmp_path / "bad.23o", nav, lenient=True)
    assert outcome.ok and outcome.counts["epochs"] == 899 and outcome.imported["skipped_epochs"] == 1
