"""Every published file in the shared test data, read and written back.

Each file either parses or fails with the message the line grammar gives;
`to_text()` is the decoded text with line ends made single line feeds, empty
lines dropped and a final line feed; `to_bytes()` differs from it only in a
leading header's CHAR line; the encoding summary says what decoding chose.
"""

from __future__ import annotations

import pytest

import pellorine
from conftest import TESTDATA, decode, expected_text, expected_utf8_text, parse_error, data_files

FILES = data_files()


def _id(path) -> str:
    return str(path.relative_to(TESTDATA))


@pytest.fixture(scope="module")
def cases():
    return {}


@pytest.mark.parametrize("path", FILES, ids=_id)
def test_file_reads_and_writes_back(path):
    data = path.read_bytes()
    decoded = decode(data)
    error = parse_error(decoded.text)
    if error is not None:
        with pytest.raises(ValueError) as info:
            pellorine.Gedcom.parse(data)
        assert str(info.value) == error
        assert info.value.args == (error,)
        return

    doc = pellorine.Gedcom.parse(data)
    text = doc.to_text()
    assert text == expected_text(decoded.text)
    assert doc.to_bytes() == expected_utf8_text(text).encode("utf-8")
    assert doc.encoding == decoded.summary()
    assert repr(doc).endswith(", " + decoded.summary() + ">")


@pytest.mark.parametrize("path", FILES, ids=_id)
def test_written_text_reads_back_the_same(path):
    data = path.read_bytes()
    decoded = decode(data)
    if parse_error(decoded.text) is not None:
        pytest.skip("the file does not parse")
    doc = pellorine.Gedcom.parse(data)
    again = pellorine.Gedcom.parse(doc.to_bytes())
    assert again.to_bytes() == doc.to_bytes()
    assert again.content_records == doc.content_records
    assert again.version == doc.version


def test_the_test_data_is_there():
    assert len(FILES) > 150, f"expected the shared test data at {TESTDATA}"
