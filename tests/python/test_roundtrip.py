"""Every published file in the shared test data, read and written back.

`to_text()` is the decoded text with line ends made single line feeds, empty
lines dropped and a final line feed; the encoding summary says what decoding
chose. The line grammar's refusals and the UTF-8 output's CHAR lines are
checked in C++ (test_document_parse, test_decode) and by fuzz_document.
"""

from __future__ import annotations

import pytest

import pellorine
from conftest import TESTDATA, data_files, data_id, data_params, decode, expected_text, need_testdata


def parsed(data: bytes):
    """The document these bytes make, or the error that refuses them."""
    try:
        return pellorine.Gedcom.parse(data)
    except ValueError as error:
        return error


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
    text, summary = decode(data)
    doc = parsed(data)
    if isinstance(doc, ValueError):
        assert doc.args[0].startswith("GEDCOM line ")
        return
    assert (doc.to_text(), doc.encoding) == (expected_text(text), summary)
    assert repr(doc).endswith(f", {summary}>")
    # What is written reads back as itself.
    assert pellorine.Gedcom.parse(doc.to_bytes()).to_bytes() == doc.to_bytes()
