"""Every published file in the shared test data, read and written back.

`to_text()` is what a model of the decoders here gives in the character set
the encoding summary names (its ANSEL and Windows-1252 tables are the only
full check of the library's; which set a file is read in is test_decode's).
A document that views the caller's bytes answers as one read from a copy.
"""

from __future__ import annotations

import re

import pytest

from conftest import TESTDATA, Copied, data_files, data_id, data_params, need_testdata
from pellorine import Gedcom

ENCODINGS = {"ASCII": "ascii", "UTF-8": "utf8", "UTF-16 (big-endian)": "utf16be",
             "UTF-16 (little-endian)": "utf16le", "ANSEL": "ansel", "ANSI (Windows-1252)": "cp1252"}
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


def decode_ansel(data: bytes) -> str:
    out, held = [], []
    for b in data:
        if b in ANSEL_COMBINING:
            held.append(ANSEL_COMBINING[b])
            continue
        if b in (0x0A, 0x0D):  # a mark never leaves its line
            out += held
            held.clear()
        out += [chr(b) if b < 0x80 else ANSEL_SPACING.get(b, "\ufffd"), *held]
        held.clear()
    return "".join(out + held)


def decode_as(data: bytes, encoding: str) -> str:
    if encoding == "utf8":
        return data.decode("utf-8", "replace")
    if encoding.startswith("utf16"):  # pairs combined, each lone surrogate one U+FFFD, an odd final byte dropped
        text = data[: len(data) // 2 * 2].decode("utf-16-be" if encoding == "utf16be" else "utf-16-le", "surrogatepass")
        return re.sub("[\ud800-\udfff]", "\ufffd", text)
    if encoding == "ascii":
        return "".join(chr(b) if b < 0x80 else "\ufffd" for b in data)
    return "".join(CP1252[b] for b in data) if encoding == "cp1252" else decode_ansel(data)


def expected_text(data: bytes, summary: str) -> str:
    """The bytes decoded as the summary says they were read, with line ends made single line feeds,
    empty lines dropped and a final line feed."""
    name = summary.removeprefix("Read as ").partition(", ")[0]
    encoding = ENCODINGS[name.removesuffix(" (byte-order mark)")]
    bom = (3 if encoding == "utf8" else 2) if name.endswith(" (byte-order mark)") else 0
    text = decode_as(data[bom:], encoding)
    return "".join(line + "\n" for line in text.replace("\r\n", "\n").replace("\r", "\n").split("\n") if line)


def parsed(data: bytes):
    """The document these bytes make, or the error that refuses them."""
    try:
        return Gedcom.parse(data)
    except ValueError as error:
        return error


def answers(g: Gedcom) -> list:
    """Everything a document says, with its identifiers and what a lookup of each in the other letter case finds."""
    xrefs = [r["xref"] for r in g.records() if r["xref"] is not None]
    return [g.to_text(), g.to_bytes(), repr(g), g.records(), g.individuals(), g.families(), g.unresolved_pointers(),
            [x.upper() for x in xrefs], [g.record(x.swapcase())["xref"].upper() for x in xrefs]]


def test_the_published_gedcom_files_the_parser_refuses():
    # Counted over the .ged files alone, so that other files in the folder do
    # not change it; a wrongly refused file shows here.
    need_testdata()
    files = data_files((".ged",))
    assert len(files) > 150, f"expected the shared test data at {TESTDATA}"
    assert sum(isinstance(parsed(path.read_bytes()), ValueError) for path in files) == 10


@pytest.mark.parametrize("path", data_params(), ids=data_id)
def test_file_reads_and_writes_back(path):
    need_testdata()
    data = path.read_bytes()
    doc = parsed(data)
    if isinstance(doc, ValueError):
        assert doc.args[0].startswith("GEDCOM line ") and parsed(Copied(data)).args == doc.args
        return
    assert doc.to_text() == expected_text(data, doc.encoding)
    assert repr(doc).endswith(f", {doc.encoding}>") and "".join(r["raw"] for r in doc.records()) == doc.to_text()
    # What is written reads back as itself; a copy of the bytes reads the same, views and all.
    assert Gedcom.parse(doc.to_bytes()).to_bytes() == doc.to_bytes()
    got = answers(doc)
    assert got[-1] == got[-2] and got == answers(Gedcom.parse(Copied(data)))
