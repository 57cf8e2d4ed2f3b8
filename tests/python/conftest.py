"""The published test files, and an independent model of how GEDCOM bytes
are decoded (its ANSEL and Windows-1252 tables are the only full check of the
library's), so that the round-trip test compares the extension's text with an
expectation that does not come from the extension itself.
"""

from __future__ import annotations

import functools
import os
import re
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

WHITE_SPACE = "\t\n\v\f\r \x85\xa0\u1680\u2000\u2001\u2002\u2003\u2004\u2005\u2006\u2007\u2008\u2009\u200a" \
    "\u2028\u2029\u202f\u205f\u3000"
DISPLAY = {"ascii": "ASCII", "utf8": "UTF-8", "utf16be": "UTF-16 (big-endian)",
           "utf16le": "UTF-16 (little-endian)", "ansel": "ANSEL", "cp1252": "ANSI (Windows-1252)"}
ANSEL_SPACING = dict(zip(
    [*range(0xA1, 0xAF), *range(0xB0, 0xBB), *range(0xBC, 0xC7), 0xCD, 0xCE, 0xCF],
    "\u0141\u00d8\u0110\u00de\u00c6\u0152\u02b9\u00b7\u266d\u00ae\u00b1\u01a0\u01af\u02bb"
    "\u02bc\u0142\u00f8\u0111\u00fe\u00e6\u0153\u02ba\u0131\u00a3\u00f0"
    "\u01a1\u01b0\u25a1\u25a0\u00b0\u2113\u2117\u00a9\u266f\u00bf\u00a1eo\u00df"))
ANSEL_COMBINING = dict(zip(
    [*range(0xE0, 0xFC), 0xFE],
    "\u0309\u0300\u0301\u0302\u0303\u0304\u0306\u0307\u0308\u030c\u030a\ufe20\ufe21\u0315\u030b\u0310"
    "\u0327\u0328\u0323\u0324\u0325\u0333\u0332\u0326\u031c\u032e\ufe22\ufe23\u0313"))
CP1252 = "".join(chr(b) if b in (0x81, 0x8D, 0x8F, 0x90, 0x9D) else bytes([b]).decode("cp1252") for b in range(256))
BOMS = {b"\xef\xbb\xbf": "utf8", b"\xfe\xff": "utf16be", b"\xff\xfe": "utf16le"}
KEYS = {"ANSI": "cp1252", "CP1252": "cp1252", "IBMWINDOWS": "cp1252", "WINDOWS1252": "cp1252",
        "ANSEL": "ansel", "ANSIZ3947": "ansel", "ASCII": "ascii", "USASCII": "ascii"}


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


def decode_utf16(data: bytes, big: bool) -> tuple[str, int]:
    """Pairs combined, each lone surrogate one U+FFFD, an odd final byte dropped."""
    text = data[: len(data) // 2 * 2].decode("utf-16-be" if big else "utf-16-le", "surrogatepass")
    return re.subn("[\ud800-\udfff]", "\ufffd", text)


def decode_ansel(data: bytes) -> tuple[str, int]:
    out, held, bad = [], [], 0
    for b in data:
        if b in ANSEL_COMBINING:
            held.append(ANSEL_COMBINING[b])
            continue
        if b in (0x0A, 0x0D):  # a mark never leaves its line
            out += held
            held.clear()
        char = chr(b) if b < 0x80 else ANSEL_SPACING.get(b, "\ufffd")
        bad += char == "\ufffd"
        out += [char, *held]
        held.clear()
    return "".join(out + held), bad


def decode_as(data: bytes, encoding: str) -> tuple[str, int]:
    if encoding == "utf8":
        text = data.decode("utf-8", "replace")
        return text, 0 if is_utf8(data) else text.count("\ufffd")
    if encoding.startswith("utf16"):
        return decode_utf16(data, encoding == "utf16be")
    if encoding == "ascii":
        return "".join(chr(b) if b < 0x80 else "\ufffd" for b in data), sum(b >= 0x80 for b in data)
    if encoding == "cp1252":
        return "".join(CP1252[b] for b in data), 0
    return decode_ansel(data)


def declared_charset(data: bytes, encoding: str) -> str | None:
    prefix = data[:8192]
    text = decode_utf16(prefix, encoding == "utf16be")[0] if encoding.startswith("utf16") else prefix.decode("latin-1")
    for line in text.split("\n"):
        line = line.rstrip(WHITE_SPACE)
        if line.startswith("1 CHAR ") and line[7:].strip(WHITE_SPACE):
            return line[7:].strip(WHITE_SPACE)
    return None


def is_utf8(data: bytes) -> bool:
    return len(data.decode("utf-8", "ignore").encode()) == len(data)  # nothing invalid was dropped


def decode(data: bytes) -> tuple[str, str]:
    """The text and the one-line summary the decoding rules give for these bytes."""
    bom = next((m for m in BOMS if data.startswith(m)), b"")
    body, enc = data[len(bom):], BOMS.get(bom)
    if not bom and len(data) >= 2 and (data[0] == 0) != (data[1] == 0):
        enc = "utf16be" if data[0] == 0 else "utf16le"
    declared = declared_charset(body, enc or "single")
    if enc is None:
        key = "".join(c for c in declared or "" if c.isascii() and c.isalnum()).upper()
        if declared is None or key == "UTF8":
            enc = "utf8" if is_utf8(data) else ("ansel" if declared is None else "cp1252")
        else:
            enc = KEYS.get(key, "utf8")
    text, bad = decode_as(body, enc)
    summary = "Read as " + DISPLAY[enc] + (" (byte-order mark)" if bom else "")
    summary += f", declared {declared}" if declared is not None else ", no CHAR declared"
    return text, summary + (f", {bad} byte(s) undecodable" if bad else "")


def expected_text(text: str) -> str:
    """The text with line ends made single line feeds, empty lines dropped and a final line feed."""
    return "".join(line + "\n" for line in text.replace("\r\n", "\n").replace("\r", "\n").split("\n") if line)


def fields(line: str) -> tuple[int, str | None, str, str | None]:
    level, rest = line.split(" ", 1)
    rest = rest.lstrip(" ")
    xref, rest = rest.split(" ", 1) if rest.startswith("@") else (None, rest)
    tag, space, value = rest.partition(" ")
    return int(level), xref, tag, value if space else None
