"""The signature vectors of tests/vectors/<scheme>/<case>/ as the Python suites read them."""

import json
import pathlib

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[1] / "vectors"


class Case:
    def __init__(self, folder: pathlib.Path):
        self.name = folder.name
        self.folder = folder
        self.input = json.loads((folder / "input.json").read_text(encoding="utf-8"))

    def text(self, name):
        """A file of the case; a final line feed is not part of the text."""
        data = (self.folder / name).read_text(encoding="utf-8")
        return data[:-1] if data.endswith("\n") else data

    def has(self, name):
        return (self.folder / name).exists()


def cases(scheme, where=lambda case: True):
    """pytest parameters, one per case folder of `scheme` (sorted, named by the folder)."""
    found = [Case(folder) for folder in sorted((ROOT / scheme).iterdir()) if folder.is_dir()]
    return [pytest.param(case, id=case.name) for case in found if where(case)]
