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

FILES = data_files()


def test_the_test_data_is_there():
    need_testdata()
    assert len(FILES) > 150, f"expected the shared test data at {TESTDATA}"
    # The published files the line grammar refuses; a wrongly refused file shows here.
    refused = 0
    for path in FILES:
        try:
            pellorine.Gedcom.parse(path.read_bytes())
        except ValueError:
            refused += 1
    assert refused == 23


@pytest.mark.parametrize("path", data_params(), ids=data_id)
def test_file_reads_and_writes_back(path):
    need_testdata()
    data = path.read_bytes()
    text, summary = decode(data)
    try:
        doc = pellorine.Gedcom.parse(data)
    except ValueError as error:
        assert error.args[0].startswith("GEDCOM line ")
        return
    assert doc.to_text() == expected_text(text)
    assert doc.encoding == summary
    assert repr(doc).endswith(f", {summary}>")
    # What is written reads back as itself.
    assert pellorine.Gedcom.parse(doc.to_bytes()).to_bytes() == doc.to_bytes()
