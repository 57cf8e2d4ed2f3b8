"""Every published file in the shared test data, read and written back.

Each file either parses or fails with the message the line grammar gives;
`to_text()` is the decoded text with line ends made single line feeds, empty
lines dropped and a final line feed; `to_bytes()` differs from it only in a
leading header's CHAR line; the encoding summary says what decoding chose.
"""

from __future__ import annotations

import pytest

import pellorine
from conftest import TESTDATA, data_files, data_id, data_params, decode, expected_text, expected_utf8_text, need_testdata, \
    parse_error

FILES = data_files()


def test_the_test_data_is_there():
    need_testdata()
    assert len(FILES) > 150, f"expected the shared test data at {TESTDATA}"


@pytest.mark.parametrize("path", data_params(), ids=data_id)
def test_file_reads_and_writes_back(path):
    need_testdata()
    data = path.read_bytes()
    text, summary = decode(data)
    error = parse_error(text)
    if error is not None:
        with pytest.raises(ValueError) as info:
            pellorine.Gedcom.parse(data)
        assert info.value.args == (error,)
        return
    doc = pellorine.Gedcom.parse(data)
    assert doc.to_text() == expected_text(text)
    assert doc.to_bytes() == expected_utf8_text(doc.to_text()).encode("utf-8")
    assert doc.encoding == summary
    assert repr(doc).endswith(f", {summary}>")
    # What is written reads back as itself.
    assert pellorine.Gedcom.parse(doc.to_bytes()).to_bytes() == doc.to_bytes()
