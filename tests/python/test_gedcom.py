"""Gedcom: construction, properties, output, and unresolved pointers."""

from __future__ import annotations

import pytest

from pellorine import Gedcom
from conftest import FIXED_SUMMARY

V7_TEXT = "0 HEAD\n1 GEDC\n2 VERS 7.0\n0 TRLR\n"
V551_TEXT = "0 HEAD\n1 SOUR {}\n1 GEDC\n2 VERS 5.5.1\n2 FORM LINEAGE-LINKED\n1 CHAR UTF-8\n0 TRLR\n"

THREE = (
    b"0 HEAD\n1 GEDC\n2 VERS 5.5.1\n1 CHAR UTF-8\n"
    b"0 @I1@ INDI\n1 NAME Ann /Lee/\n0 @I2@ INDI\n0 @F1@ FAM\n1 HUSB @I2@\n0 TRLR\n"
)


# ---- constructors and fixed report

@pytest.mark.parametrize(
    "make, text, version",
    [
        (Gedcom.new_v7, V7_TEXT, "7.0"),
        (lambda: Gedcom.new_v551("pellorine"), V551_TEXT.format("pellorine"), "5.5.1"),
        (lambda: Gedcom.new_v551(""), V551_TEXT.format(""), "5.5.1"),
        (lambda: Gedcom.new_v551("a\nb"), V551_TEXT.replace("1 SOUR {}\n", "1 SOUR a\n2 CONT b\n"), "5.5.1"),
        (lambda: Gedcom.new_v551("Stammbaum \u00e9\u00e8"), V551_TEXT.format("Stammbaum \u00e9\u00e8"), "5.5.1"),
    ],
)
def test_new_documents(make, text, version):
    g = make()
    assert g.to_text() == text
    assert g.to_bytes() == text.encode("utf-8")
    assert g.version == version
    assert g.encoding == FIXED_SUMMARY
    assert g.content_records == 0
    assert len(g) == 0
    assert repr(g) == f"<Gedcom 0 records, version {version}, {FIXED_SUMMARY}>"
    assert g.unresolved_pointers() == []


def test_new_instances_are_independent():
    a, b = Gedcom.new_v7(), Gedcom.new_v7()
    assert a is not b
    assert a.to_text() == b.to_text()


# ---- parse: properties, repr, output

@pytest.mark.parametrize(
    "data, records, version, summary",
    [
        (THREE, 3, "5.5.1", "Read as UTF-8, declared UTF-8"),
        (b"", 0, None, FIXED_SUMMARY),
        (b"\n\n\r\n", 0, None, FIXED_SUMMARY),
        (b"0 HEAD\n0 TRLR\n", 0, None, FIXED_SUMMARY),
        (b"0 @N1@ NOTE x\n", 1, None, FIXED_SUMMARY),
        (b"0 HEAD\n1 GEDC\n2 VERS  7.0 \n0 TRLR", 0, " 7.0 ", FIXED_SUMMARY),
        (b"0 HEAD\n1 GEDC\n2 VERS 5.5\n3 CONC .1\n", 0, "5.5.1", FIXED_SUMMARY),
        (b"0 TRLR\n0 HEAD\n1 GEDC\n2 VERS 7.0\n", 0, None, FIXED_SUMMARY),
        (b"0 HEAD\n1 CHAR ANSEL\n0 @I1@ INDI\n1 NAME \xe2e\n", 1, None, "Read as ANSEL, declared ANSEL"),
        (b"\xef\xbb\xbf0 HEAD\n", 0, None, "Read as UTF-8 (byte-order mark), no CHAR declared"),
        ("0 HEAD\n1 CHAR UNICODE\n".encode("utf-16-le"), 0, None,
         "Read as UTF-16 (little-endian), declared UNICODE"),
        (b"0 HEAD\n1 CHAR ASCII\n0 @I1@ INDI\n1 NAME \xc3\xa9\n", 1, None,
         "Read as ASCII, declared ASCII, 2 byte(s) undecodable"),
    ],
)
def test_properties_and_repr(data, records, version, summary):
    g = Gedcom.parse(data)
    assert g.content_records == records
    assert len(g) == records
    assert g.version == version
    assert g.encoding == summary
    shown = "unstated" if version is None else version
    assert repr(g) == f"<Gedcom {records} records, version {shown}, {summary}>"


@pytest.mark.parametrize(
    "data, text, utf8",
    [
        # Untouched lines come back byte for byte; line ends become line feeds.
        (THREE, THREE.decode(), None),
        (b"0 HEAD\r\n1 SOUR x\r0 TRLR", "0 HEAD\n1 SOUR x\n0 TRLR\n", None),
        (b"0 HEAD\n\n\n1 NOTE  two spaces \n0 TRLR\n", "0 HEAD\n1 NOTE  two spaces \n0 TRLR\n", None),
        (b"00 HEAD\n+1 SOUR x\n1  NOTE y\n0 TRLR\n", "00 HEAD\n+1 SOUR x\n1  NOTE y\n0 TRLR\n", None),
        (b"0 HEAD \n1 NOTE\n0 TRLR\n", "0 HEAD \n1 NOTE\n0 TRLR\n", None),
        # A leading header's CHAR line says UTF-8 in the bytes, and only there.
        (b"0 HEAD\n1 CHAR ANSEL\n0 @I1@ INDI\n1 NAME Jos\xe2e\n",
         "0 HEAD\n1 CHAR ANSEL\n0 @I1@ INDI\n1 NAME Jose\u0301\n",
         "0 HEAD\n1 CHAR UTF-8\n0 @I1@ INDI\n1 NAME Jose\u0301\n"),
        (b"0 HEAD\n01 CHAR ANSI\n2 FORM kept\n0 TRLR\n", "0 HEAD\n01 CHAR ANSI\n2 FORM kept\n0 TRLR\n",
         "0 HEAD\n1 CHAR UTF-8\n2 FORM kept\n0 TRLR\n"),
        (b"0 HEAD\n1 CHAR\n0 TRLR\n", "0 HEAD\n1 CHAR\n0 TRLR\n", "0 HEAD\n1 CHAR UTF-8\n0 TRLR\n"),
        (b"0 HEAD\n1 CHAR UTF8\n", "0 HEAD\n1 CHAR UTF8\n", "0 HEAD\n1 CHAR UTF-8\n"),
        (b"0 HEAD\n1 CHAR utf-8\n", "0 HEAD\n1 CHAR utf-8\n", None),
        (b"0 HEAD\n1 CHAR  UTF-8 \n", "0 HEAD\n1 CHAR  UTF-8 \n", None),
        (b"0 HEAD\n1 SOUR x\n", "0 HEAD\n1 SOUR x\n", None),
        (b"0 TRLR\n0 HEAD\n1 CHAR ANSEL\n", "0 TRLR\n0 HEAD\n1 CHAR ANSEL\n", None),
        (b"0 HEAD\n1 CHAR ANSEL\n1 CHAR ASCII\n", "0 HEAD\n1 CHAR ANSEL\n1 CHAR ASCII\n",
         "0 HEAD\n1 CHAR UTF-8\n1 CHAR ASCII\n"),
        (b"0 HEAD\n1 GEDC\n2 CHAR ANSEL\n", "0 HEAD\n1 GEDC\n2 CHAR ANSEL\n", None),
        (b"", "", None),
    ],
)
def test_to_text_and_to_bytes(data, text, utf8):
    g = Gedcom.parse(data)
    before = repr(g)
    assert g.to_text() == text
    assert g.to_bytes() == (text if utf8 is None else utf8).encode("utf-8")
    # Writing changes nothing: the text is the same a second time.
    assert g.to_text() == text
    assert repr(g) == before
    assert type(g.to_text()) is str and type(g.to_bytes()) is bytes


# ---- parse: refusals

def nested(depth: int) -> bytes:
    return b"".join(b"%d L\n" % level for level in range(depth + 1))


@pytest.mark.parametrize(
    "data, message",
    [
        (b"0 HEAD\n1\n", "GEDCOM line 2: the line has no tag"),
        (b"1 HEAD\n", "GEDCOM line 1: a record must begin at level 0"),
        (b"0 HEAD\n2 DATE x\n", "GEDCOM line 2: the line skips a nesting level"),
        (b"1 HEAD\n0 BAD!\n", "GEDCOM line 2: a tag must be ASCII letters, digits, or underscore"),
        (b"0 @I1 INDI\n", "GEDCOM line 1: the cross-reference identifier is not closed, or contains a space"),
        (b"0 @I1@\n", "GEDCOM line 1: the record has an identifier but no tag"),
        (b"65536 X\n", "GEDCOM line 1: the line does not begin with a level"),
        (b"0 HEAD\n\n\n0 H\xc3\x89AD\n", "GEDCOM line 4: a tag must be ASCII letters, digits, or underscore"),
        # Nesting: level 64 is the deepest allowed, 65 is refused.
        (nested(65), "GEDCOM line 66: the line is nested deeper than the limit"),
        # NUL bytes: inside a tag, or making the first two bytes look like UTF-16.
        (b"0 HE\x00AD\n", "GEDCOM line 1: a tag must be ASCII letters, digits, or underscore"),
        (b"0 HEAD\n1 NOTE a\x00b\n\x00\n", "GEDCOM line 3: the line has no tag"),
        (b"0\x00HEAD\n", "GEDCOM line 1: the line has no tag"),
        # UTF-16 cut short: the odd final byte goes, and the rest is parsed.
        ("0 HEAD\n1".encode("utf-16-le") + b"\x00", "GEDCOM line 2: the line has no tag"),
        (b"\xfe\xff" + "0 HEAD\n1 ".encode("utf-16-be") + b"\x00", "GEDCOM line 2: the line has no tag"),
        # A byte-order mark is no part of the first line.
        (b"\xef\xbb\xbf\xef\xbb\xbf0 HEAD\n", "GEDCOM line 1: the line does not begin with a level"),
    ],
    ids=lambda v: None,
)
def test_parse_refusals(data, message):
    with pytest.raises(ValueError) as info:
        Gedcom.parse(data)
    assert str(info.value) == message
    assert info.value.args == (message,)


def test_deepest_nesting_allowed_parses():
    g = Gedcom.parse(nested(64))
    assert g.to_text() == nested(64).decode()


def test_input_over_128_mib_is_refused_before_reading():
    data = bytearray(b"0 NOTE ") + bytearray(b"x" * ((128 << 20) - 7 + 1))
    assert len(data) == (128 << 20) + 1
    with pytest.raises(ValueError) as info:
        Gedcom.parse(bytes(data))
    assert str(info.value) == "the file is 128 MB and the limit is 128 MB"


def test_truncated_utf16_that_still_parses_reports_how():
    data = b"\xff\xfe" + "0 HEAD\n1 NOTE a".encode("utf-16-le") + b"\x00\xd8" + b"\x41"
    g = Gedcom.parse(data)
    assert g.to_text() == "0 HEAD\n1 NOTE a\ufffd\n"
    assert g.encoding == "Read as UTF-16 (little-endian) (byte-order mark), no CHAR declared, 1 byte(s) undecodable"


# ---- unresolved pointers

@pytest.mark.parametrize(
    "data, expected",
    [
        (THREE, []),
        (
            b"0 HEAD\n1 SUBM @U1@\n0 @I1@ INDI\n1 FAMC @F1@\n2 NOTE @N1@\n1 FAMS @VOID@\n1 ALIA @void@\n0 TRLR\n",
            [
                {"record": "HEAD", "path": [0], "tag": "SUBM", "pointer": "@U1@"},
                {"record": "@I1@", "path": [0], "tag": "FAMC", "pointer": "@F1@"},
                {"record": "@I1@", "path": [0, 0], "tag": "NOTE", "pointer": "@N1@"},
                {"record": "@I1@", "path": [2], "tag": "ALIA", "pointer": "@void@"},
            ],
        ),
        # Identifiers match without regard to ASCII case.
        (b"0 @i1@ INDI\n1 FAMS @f1@\n0 @F1@ FAM\n1 HUSB @I1@\n", []),
        # The record's own payload counts; continuation lines too; not-pointers do not.
        (
            b"0 @N1@ NOTE @X1@\n1 CONT @X2@\n1 CONC x@X3@\n0 NOTE @@\n1 NOTE @a b@\n",
            [
                {"record": "@N1@", "path": [], "tag": "NOTE", "pointer": "@X1@"},
                {"record": "@N1@", "path": [0], "tag": "CONT", "pointer": "@X2@"},
                {"record": "NOTE", "path": [0], "tag": "NOTE", "pointer": "@a b@"},
            ],
        ),
        (
            b"0 @I1@ INDI\n1 A\n1 B\n2 C\n3 D @Z9@\n",
            [{"record": "@I1@", "path": [1, 0, 0], "tag": "D", "pointer": "@Z9@"}],
        ),
    ],
    ids=["none", "mixed", "case", "payloads", "deep"],
)
def test_unresolved_pointers(data, expected):
    g = Gedcom.parse(data)
    result = g.unresolved_pointers()
    assert result == expected
    assert all(list(d) == ["record", "path", "tag", "pointer"] for d in result)


def test_unresolved_pointer_lists_are_fresh_on_each_call():
    g = Gedcom.parse(b"0 @I1@ INDI\n1 FAMC @F1@\n")
    first, second = g.unresolved_pointers(), g.unresolved_pointers()
    assert first == second and first is not second and first[0] is not second[0]
    first[0]["pointer"] = "changed"
    assert g.unresolved_pointers()[0]["pointer"] == "@F1@"


def test_unresolved_pointers_carry_unicode_and_escapes_intact():
    data = '0 @I1@ INDI\n1 FAMC @F\u00e9"\\1@\n'.encode()
    assert Gedcom.parse(data).unresolved_pointers() == [
        {"record": "@I1@", "path": [0], "tag": "FAMC", "pointer": '@F\u00e9"\\1@'}
    ]
