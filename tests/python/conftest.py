"""The published test files, found through one setting, and the helpers the
tests over them share."""

from __future__ import annotations

import functools
import os
import zipfile
from pathlib import Path

import pytest

import pellorine

# The published test files: $PELLORINE_TESTDATA, by default ../shared/testdata
# beside the project; a relative setting is taken from the project root.
ROOT = Path(__file__).resolve().parents[2]
TESTDATA = ROOT / (os.environ.get("PELLORINE_TESTDATA") or "../shared/testdata")
MISSING_TESTDATA = f"published test files not found at {TESTDATA} (set PELLORINE_TESTDATA)"
FIXED_SUMMARY = "Read as UTF-8, no CHAR declared"


class Copied(bytes):
    """A bytes subclass: the module reads it through a copy, never a view."""


def need_testdata() -> None:
    """Skips the calling test without the published files, or fails it when CI requires them."""
    if not TESTDATA.is_dir():
        if os.environ.get("PELLORINE_REQUIRE_TESTDATA") == "1":
            pytest.fail(MISSING_TESTDATA)
        pytest.skip(MISSING_TESTDATA)


def data_files(suffixes: tuple[str, ...] = ()) -> list[Path]:
    """The published files (with these lowercase suffixes; all when empty); none without them."""
    if not TESTDATA.is_dir():
        return []
    return sorted(p for p in TESTDATA.rglob("*") if p.is_file() and (not suffixes or p.suffix.lower() in suffixes))


def data_params(suffixes: tuple[str, ...] = ()) -> list:
    """Parameters for a test over the published files; without them one parameter, None,
    for a test that calls need_testdata() and so skips or fails with one line naming them."""
    return data_files(suffixes) or [pytest.param(None, id="no-testdata")]


def data_id(path) -> str:
    return str(path.relative_to(TESTDATA)) if path is not None else "no-testdata"


def gedcom_bytes(path: Path) -> bytes:
    """A published GEDCOM file's bytes, or those of an archive's gedcom.ged."""
    if path.suffix.lower() == ".gdz":
        with zipfile.ZipFile(path) as archive:
            return archive.read("gedcom.ged")
    return path.read_bytes()


@functools.cache
def versions() -> dict[Path, str]:
    """The version each published GEDCOM file or archive that the module parses declares ("" for none)."""
    found = {}
    for path in data_files((".ged", ".gdz")):
        try:
            found[path] = (pellorine.Gedcom.parse(gedcom_bytes(path)).version or "").strip()
        except ValueError:
            pass
    return found


def version_params(prefix: str) -> list:
    """data_params() over the published files the module parses whose version begins with `prefix`."""
    return [p for p, v in versions().items() if v.startswith(prefix)] or [pytest.param(None, id="no-testdata")]


def pytest_report_header(config):
    return f"published test files: {TESTDATA}" if TESTDATA.is_dir() else MISSING_TESTDATA


def fields(line: str) -> tuple[int, str | None, str, str | None]:
    level, rest = line.split(" ", 1)
    rest = rest.lstrip(" ")
    xref, rest = rest.split(" ", 1) if rest.startswith("@") else (None, rest)
    tag, space, value = rest.partition(" ")
    return int(level), xref, tag, value if space else None
