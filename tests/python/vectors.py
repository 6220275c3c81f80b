"""The published signature examples of tests/vectors/<scheme>/<case>/, shared with the C++ suite
(layout in tests/vectors/README.md)."""

import json
import pathlib

ROOT = next(p / "vectors" for p in pathlib.Path(__file__).resolve().parents if (p / "vectors").is_dir())


class Case:
    def __init__(self, scheme, folder):
        self.scheme, self.name, self.folder = scheme, folder.name, folder
        self.input = json.loads((folder / "input.json").read_text(encoding="utf-8"))

    def __repr__(self):
        return f"{self.scheme}/{self.name}"

    def has(self, name):
        return (self.folder / name).is_file()

    def text(self, name):
        """A file's text without its final line feed."""
        text = (self.folder / name).read_text(encoding="utf-8")
        return text[:-1] if text.endswith("\n") else text

    def headers(self):
        return dict(self.input.get("headers", []))

    def query(self):
        return dict(self.input.get("query", []))


def schemes():
    return sorted(p.name for p in ROOT.iterdir() if p.is_dir())


def cases(scheme=None):
    """Every case of one scheme folder (or of all), by name."""
    names = [scheme] if scheme else schemes()
    return [Case(s, folder) for s in names for folder in sorted((ROOT / s).iterdir()) if folder.is_dir()]


def params(scheme=None, where=lambda case: True):
    """pytest parameters for the cases that `where` accepts, named after their folders."""
    import pytest

    return [pytest.param(case, id=case.name if scheme else repr(case)) for case in cases(scheme) if where(case)]
