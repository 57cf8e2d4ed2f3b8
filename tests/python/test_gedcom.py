"""Gedcom: construction, properties, output and refusals."""

import pytest

from conftest import FIXED_SUMMARY
from pellorine import Gedcom

THREE = (b"0 HEAD\n1 GEDC\n2 VERS 5.5.1\n1 CHAR UTF-8\n"
         b"0 @I1@ INDI\n1 NAME Ann /Lee/\n0 @I2@ INDI\n0 @F1@ FAM\n1 HUSB @I2@\n0 TRLR\n")


@pytest.mark.parametrize("make, text, records, version, summary", [
    (Gedcom.new_v7, "0 HEAD\n1 GEDC\n2 VERS 7.0\n0 TRLR\n", 0, "7.0", FIXED_SUMMARY),
    (lambda: Gedcom.new_v551("a\n\u00e9"), "0 HEAD\n1 SOUR a\n2 CONT \u00e9\n1 GEDC\n2 VERS 5.5.1\n"
     "2 FORM LINEAGE-LINKED\n1 CHAR UTF-8\n0 TRLR\n", 0, "5.5.1", FIXED_SUMMARY),
    (lambda: Gedcom.parse(THREE), THREE.decode(), 3, "5.5.1", "Read as UTF-8, declared UTF-8"),
    (lambda: Gedcom.parse(b""), "", 0, None, FIXED_SUMMARY),
])
def test_properties_repr_and_output(make, text, records, version, summary):
    g = make()
    assert (g.to_text(), g.to_bytes()) == (text, text.encode())
    assert (g.content_records, len(g), g.version, g.encoding) == (records, records, version, summary)
    assert repr(g) == f"<Gedcom {records} records, version {version or 'unstated'}, {summary}>"


def test_to_bytes_declares_utf_8():
    text = "0 HEAD\n1 CHAR {}\n0 @I1@ INDI\n1 NAME Jose\u0301\n"
    g = Gedcom.parse(b"0 HEAD\n1 CHAR ANSEL\n0 @I1@ INDI\n1 NAME Jos\xe2e\n")
    # The second to_text(): writing changed nothing.
    assert (g.to_text(), g.to_bytes(), g.to_text()) == (text.format("ANSEL"), text.format("UTF-8").encode(),
                                                          text.format("ANSEL"))


@pytest.mark.parametrize("data, message", [
    # A NUL byte ends neither the data nor its line.
    (b"0 HEAD\n1 NOTE a\x00b\n\x00\n", "GEDCOM line 3: the line has no tag"),
    # Too large: the message names no line. Made when the test runs, not when it is collected.
    (lambda: bytes((128 << 20) + 1), "the file is 128 MB and the limit is 128 MB"),
], ids=["nul", "too-large"])
def test_parse_refusals(data, message):
    with pytest.raises(ValueError) as info:
        Gedcom.parse(data() if callable(data) else data)
    assert info.value.args == (message,)
