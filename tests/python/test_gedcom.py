"""Gedcom: construction, properties, output, refusals and unresolved pointers."""

from __future__ import annotations

import pytest

from pellorine import Gedcom
from conftest import FIXED_SUMMARY

V551_TEXT = "0 HEAD\n1 SOUR {}\n1 GEDC\n2 VERS 5.5.1\n2 FORM LINEAGE-LINKED\n1 CHAR UTF-8\n0 TRLR\n"
THREE = (b"0 HEAD\n1 GEDC\n2 VERS 5.5.1\n1 CHAR UTF-8\n"
         b"0 @I1@ INDI\n1 NAME Ann /Lee/\n0 @I2@ INDI\n0 @F1@ FAM\n1 HUSB @I2@\n0 TRLR\n")


@pytest.mark.parametrize("make, text, records, version, summary", [
    (Gedcom.new_v7, "0 HEAD\n1 GEDC\n2 VERS 7.0\n0 TRLR\n", 0, "7.0", FIXED_SUMMARY),
    (lambda: Gedcom.new_v551("Stammbaum \u00e9"), V551_TEXT.format("Stammbaum \u00e9"), 0, "5.5.1", FIXED_SUMMARY),
    (lambda: Gedcom.new_v551("a\nb"), V551_TEXT.replace("1 SOUR {}\n", "1 SOUR a\n2 CONT b\n"), 0, "5.5.1",
     FIXED_SUMMARY),
    (lambda: Gedcom.parse(THREE), None, 3, "5.5.1", "Read as UTF-8, declared UTF-8"),
    (lambda: Gedcom.parse(b""), None, 0, None, FIXED_SUMMARY),
    (lambda: Gedcom.parse(b"0 HEAD\n1 GEDC\n2 VERS  7.0 \n0 TRLR"), None, 0, " 7.0 ", FIXED_SUMMARY),
])
def test_properties_and_repr(make, text, records, version, summary):
    g = make()
    if text is not None:  # a new document's text
        assert (g.to_text(), g.to_bytes()) == (text, text.encode())
    assert (g.content_records, len(g), g.version, g.encoding) == (records, records, version, summary)
    assert repr(g) == f"<Gedcom {records} records, version {version or 'unstated'}, {summary}>"


@pytest.mark.parametrize("data, text, utf8", [
    (THREE, THREE.decode(), None),
    (b"0 HEAD\n01 CHAR ANSEL\n2 FORM kept\n0 @I1@ INDI\n1 NAME Jos\xe2e\n",
     "0 HEAD\n01 CHAR ANSEL\n2 FORM kept\n0 @I1@ INDI\n1 NAME Jose\u0301\n",
     "0 HEAD\n1 CHAR UTF-8\n2 FORM kept\n0 @I1@ INDI\n1 NAME Jose\u0301\n"),
    # Any CHAR line the character-set search would honour in the output says UTF-8.
    (b"0 k \xef\n1 CHAR ANSI", "0 k \u00ef\n1 CHAR ANSI\n", "0 k \u00ef\n1 CHAR UTF-8\n"),
])
def test_to_text_and_to_bytes(data, text, utf8):
    g = Gedcom.parse(data)  # the second to_text(): writing changed nothing
    assert (g.to_text(), g.to_bytes(), g.to_text()) == (text, (utf8 or text).encode("utf-8"), text)


@pytest.mark.parametrize("data, message", [
    (b"1 HEAD\n0 BAD!\n", "GEDCOM line 2: a tag must be ASCII letters, digits, or underscore"),
    # Only the first byte-order mark is removed.
    (b"\xef\xbb\xbf\xef\xbb\xbf0 HEAD\n", "GEDCOM line 1: the line does not begin with a level"),
    # A NUL byte ends neither the data nor its line, and is no tag character.
    (b"0 HEAD\n1 NOTE a\x00b\n\x00\n", "GEDCOM line 3: the line has no tag"),
    (b"0 HE\x00AD\n", "GEDCOM line 1: a tag must be ASCII letters, digits, or underscore"),
    # Too large: the message names no line. Made when the test runs, not when it is collected.
    (lambda: bytes((128 << 20) + 1), "the file is 128 MB and the limit is 128 MB"),
], ids=lambda v: None)
def test_parse_refusals(data, message):
    with pytest.raises(ValueError) as info:
        Gedcom.parse(data() if callable(data) else data)
    assert info.value.args == (message,)


@pytest.mark.parametrize("data, expected", [
    (THREE, []),
    ('0 @I1@ INDI\n1 FAMC @F\u00e9"\\1@\n'.encode(), [["@I1@", [0], "FAMC", '@F\u00e9"\\1@']]),
], ids=["none", "escapes"])
def test_unresolved_pointers(data, expected):
    g = Gedcom.parse(data)
    first, second = g.unresolved_pointers(), g.unresolved_pointers()
    assert first == [dict(zip(["record", "path", "tag", "pointer"], row)) for row in expected]
    assert all(list(d) == ["record", "path", "tag", "pointer"] for d in first)
    if first:  # fresh lists and dictionaries on each call
        assert first is not second and first[0] is not second[0]
        first[0]["pointer"] = "changed"
        assert g.unresolved_pointers() == second
