"""Gedcom.to_version7 and Gedcom.to_version551: the methods' contract, and the
published 5.5.1 to 7.0 pairs compared with what this library writes."""

from __future__ import annotations

from collections import Counter

import pytest

from pellorine import Gedcom
from conftest import FIXED_SUMMARY, TESTDATA, fields, need_testdata

SOURCE = b"0 HEAD\n1 GEDC\n2 VERS 5.5.1\n2 FORM LINEAGE-LINKED\n1 CHAR ANSEL\n0 @I1@ INDI\n1 _PRIM Y\n0 TRLR\n"
CONVERTED = "0 HEAD\n1 GEDC\n2 VERS 7.0\n1 SCHMA\n2 TAG _PRIM {}\n0 @I1@ INDI\n1 _PRIM Y\n0 TRLR\n"
NOTES = [
    (None, "GEDC.FORM", "Dropped", "version 7 has one form and does not name it"),
    (None, "CHAR", "Dropped", "version 7 is always UTF-8, so a character set declaration says nothing"),
]
OWNED = [*NOTES, (None, "_PRIM", "Converted", "declared in the header, which version 7 requires of every extension")]
NOT_OWNED = [*NOTES, (None, "_PRIM", "Kept", "another application's extension, declared as undocumented rather than "
                                           "dropped")]
UNDOCUMENTED = CONVERTED.format("https://pellorine.invalid/undocumented#_PRIM")
V7 = b"0 HEAD\n1 GEDC\n2 VERS 7.0\n0 @I1@ INDI\n1 UID u1\n0 TRLR\n"
V551 = "0 HEAD\n1 GEDC\n2 VERS 5.5.1\n2 FORM LINEAGE-LINKED\n1 CHAR UTF-8\n0 @I1@ INDI\n1 _UID u1\n0 TRLR\n"
NOTES551 = [
    (None, "CHAR", "Converted", "5.5.1 requires a character set, and the file is written as UTF-8"),
    ("@I1@", "UID", "Converted", "5.5.1 has no UID, and every producer writes _UID instead"),
]


# Owned extensions take the caller's URI, in the caller's order: the first pair for a tag wins.
@pytest.mark.parametrize("convert, data, text, notes", [
    (lambda g: g.to_version7(), SOURCE, UNDOCUMENTED, NOT_OWNED),
    (lambda g: g.to_version7(None), SOURCE, UNDOCUMENTED, NOT_OWNED),
    (lambda g: g.to_version7([("_A", "u"), ("_PRIM", "https://example.com/PRIM")]), SOURCE,
     CONVERTED.format("https://example.com/PRIM"), OWNED),
    (lambda g: g.to_version7(owned=(("_PRIM", "u"), ("_PRIM", "v"))), SOURCE, CONVERTED.format("u"), OWNED),
    (lambda g: g.to_version551(), V7, V551, NOTES551),
])
def test_result_is_a_new_document_beside_the_notes(convert, data, text, notes):
    source = Gedcom.parse(data)
    before = (source.to_text(), source.encoding)
    converted, got = result = convert(source)
    assert (type(result), len(result), type(converted), type(got)) == (tuple, 2, Gedcom, list)
    assert (converted.to_bytes(), converted.encoding, len(converted)) == (text.encode(), FIXED_SUMMARY, 1)
    assert [tuple(n.values()) for n in got] == notes
    assert all(list(n) == ["record", "tag", "kind", "detail"] for n in got)
    assert (source.to_text(), source.encoding) == before
    assert convert(source)[0] is not converted


OWNED_ARG = "to_version7() argument 'owned' "


@pytest.mark.parametrize("args, message", [
    (("_PRIM",), OWNED_ARG + "must be a sequence of (str, str) tuples, not str"),
    ((5,), OWNED_ARG + "must be a sequence of (str, str) tuples, not int"),
    ((["_PRIM", "https://example.com/PRIM"],), OWNED_ARG + "item 0 must be tuple, not str"),
    (([("_PRIM",)],), OWNED_ARG + "item 0: expected tuple of length 2, but got tuple of length 1"),
    (([("_A", "u"), ("_B", "u", "x")],), OWNED_ARG + "item 1: expected tuple of length 2, but got tuple of length 3"),
    (([("_PRIM", b"https://example.com/PRIM")],), OWNED_ARG + "item 0 must hold str, not bytes"),
    ((None, None), "to_version7() takes from 0 to 1 positional arguments but 2 were given"),
])
def test_arguments_refused(args, message):
    with pytest.raises(TypeError) as info:
        Gedcom.parse(SOURCE).to_version7(*args)
    assert str(info.value) == message
    with pytest.raises(TypeError):  # to_version551 takes no argument at all
        Gedcom.parse(SOURCE).to_version551(*args)


def test_conversions_take_a_shared_borrow():
    """Reading calls may run while a conversion holds the instance; an edit in progress refuses conversions."""
    source = Gedcom.parse(SOURCE)
    seen = []

    class Owned(list):
        def __len__(self):  # runs inside to_version7, while the borrow is held
            seen.append(source.to_text() == SOURCE.decode())
            return 0

    class Peeking(dict):
        def items(self):  # runs inside append_records, while the edit holds the instance
            for convert in (source.to_version7, source.to_version551):
                with pytest.raises(RuntimeError, match="^Already mutably borrowed$"):
                    convert()
            seen.append("refused")
            return super().items()

    source.to_version7(Owned())
    source.append_records([Peeking(tag="NOTE")])
    assert seen == [True, "refused"]


# For each published pair (conversion/5/X.ged converted, against conversion/7/X.ged): the lines only this
# library writes and only the published file has, counted by their tag, and why.
PAIRS = {
    **{name: ({}, "identical") for name in (
        "char_ascii_1", "char_ascii_2", "char_utf16be-1", "char_utf16be-2", "char_utf16le-1", "char_utf16le-2",
        "char_utf8-1", "char_utf8-2", "char_utf8-3", "notes-1", "tiny-1")},
    "age-invalid": ({"AGE": (79, 79), "SOUR": (1, 0)}, "AGE is not rewritten; the header's SOUR stays"),
    "age-valid": ({"AGE": (27, 28), "DEAT": (0, 1), "PHRASE": (0, 10), "SOUR": (1, 0)},
                  "AGE words are not rewritten into ages with a PHRASE; the header's SOUR stays"),
    "atsign": ({"SNOTE": (13, 13), "SOUR": (1, 0), "SUBM": (2, 2)}, "at-signs and @#D escapes inside texts stay, "
               "a leading one doubled; an identifier version 7 can hold is not renamed"),
    "date-all": ({"DATE": (2730, 2730), "NOTE": (846, 846), "PHRASE": (1567, 300)}, "dual years and dates 7.0 "
                 "reads otherwise: an empty DATE and the text as a PHRASE; NOTE texts keep calendar escapes"),
    "date-dual-invalid": ({"DATE": (84, 84)}, "a dual year has no 7.0 form: an empty DATE, the text as a PHRASE"),
    "enum-ext": ({"PHRASE": (0, 1), "TAG": (2, 1), "TYPE": (1, 1)},
                 "a name's TYPE is not enumerated; every extension is declared, the unknown ones as undocumented"),
    "filename-1": ({"FILE": (6, 5), "SOUR": (1, 0)}, "a path without a scheme stays a relative reference with a "
                   "backslash encoded, a word before a colon is a scheme; the header's FILE and SOUR stay"),
    "lang-all": ({"LANG": (95, 95), "TAG": (4, 1), "_PHRASE": (0, 3)},
                 "every extension is declared as undocumented; language names are not turned into language tags"),
    "obje-1": ({"FILE": (2, 2), "FORM": (3, 3), "MEDI": (2, 2), "NOTE": (1, 1), "OBJE": (1, 2)},
               "mp3 is audio/mpeg and an unknown format word is kept; an embedded OBJE stays embedded"),
    "obsolete-1": ({"ANCE": (1, 0), "CHAN": (1, 0), "DATE": (1, 0), "DESC": (1, 0), "FAMF": (1, 0), "ORDI": (1, 0),
                    "RIN": (1, 0), "SOUR": (1, 0), "SUBN": (2, 0)}, "a submission record and its pointer are kept"),
    "pedi-1": ({"PEDI": (1, 1), "SOUR": (1, 0)}, "PEDI values are not uppercased; the header's SOUR stays"),
    "rela_1": ({"PHRASE": (1, 0)}, "a relation's words are kept as a PHRASE beside the ROLE"),
    "sour-1": ({"DATA": (0, 2), "NOTE": (0, 2), "SOUR": (3, 4), "TEXT": (7, 7)},
               "a source citation without a pointer stays inline rather than becoming a record"),
    "xref-case": (None, "the 5.5.1 input has an identifier holding a space, which the parser refuses"),
}


def test_every_pair_is_listed():
    need_testdata()
    assert sorted(p.stem for p in (TESTDATA / "conversion" / "7").glob("*.ged")) == sorted(PAIRS)


@pytest.mark.parametrize("name", sorted(PAIRS))
def test_published_pairs(name):
    need_testdata()
    expected, why = PAIRS[name]
    source = (TESTDATA / "conversion" / "5" / f"{name}.ged").read_bytes()
    if expected is None:
        with pytest.raises(ValueError):
            Gedcom.parse(source)
        return
    ours = Counter(Gedcom.parse(source).to_version7()[0].to_text().splitlines())
    theirs = Counter(Gedcom.parse((TESTDATA / "conversion" / "7" / f"{name}.ged").read_bytes()).to_text().splitlines())
    differences = Counter((fields(line)[2], side) for side, lines in enumerate((ours - theirs, theirs - ours))
                          for line in lines.elements())
    assert {tag: (differences[tag, 0], differences[tag, 1]) for tag, _ in differences} == expected, why
