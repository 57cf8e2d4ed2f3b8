"""Gedcom.to_version7: the method's contract, and the published 5.5.1 to 7.0
pairs compared with what this library writes."""

from __future__ import annotations

from collections import Counter

import pytest

from pellorine import Gedcom
from conftest import FIXED_SUMMARY, TESTDATA, fields, need_testdata

UNDOCUMENTED = "https://pellorine.invalid/undocumented#_PRIM"
SOURCE = b"0 HEAD\n1 GEDC\n2 VERS 5.5.1\n2 FORM LINEAGE-LINKED\n1 CHAR ANSEL\n0 @I1@ INDI\n1 _PRIM Y\n0 TRLR\n"
CONVERTED = "0 HEAD\n1 GEDC\n2 VERS 7.0\n1 SCHMA\n2 TAG _PRIM {}\n0 @I1@ INDI\n1 _PRIM Y\n0 TRLR\n"
NOTES = [
    (None, "GEDC.FORM", "Dropped", "version 7 has one form and does not name it"),
    (None, "CHAR", "Dropped", "version 7 is always UTF-8, so a character set declaration says nothing"),
]
OWNED = (None, "_PRIM", "Converted", "declared in the header, which version 7 requires of every extension")
NOT_OWNED = (None, "_PRIM", "Kept", "another application's extension, declared as undocumented rather than dropped")


def test_result_is_a_new_document_beside_the_notes():
    source = Gedcom.parse(SOURCE)
    before = source.to_text()
    converted, notes = result = source.to_version7()
    assert (type(result), len(result), type(converted)) == (tuple, 2, Gedcom) and converted is not source
    assert converted.to_text() == CONVERTED.format(UNDOCUMENTED)
    assert [tuple(n.values()) for n in notes] == [*NOTES, NOT_OWNED]
    assert all(list(n) == ["record", "tag", "kind", "detail"] for n in notes)
    assert (converted.encoding, converted.version, len(converted)) == (FIXED_SUMMARY, "7.0", 1)
    assert (source.to_text(), source.encoding) == (before, "Read as ANSEL, declared ANSEL")


# The caller's URI for each owned tag, in the caller's order: the first pair for a tag wins.
@pytest.mark.parametrize("call, uri", [
    (lambda g: g.to_version7(None), None),
    (lambda g: g.to_version7([("_A", "u"), ("_PRIM", "https://example.com/gedcom/PRIM")]),
     "https://example.com/gedcom/PRIM"),
    (lambda g: g.to_version7(owned=(("_PRIM", "u"), ("_PRIM", "v"))), "u"),
])
def test_owned_extensions(call, uri):
    converted, notes = call(Gedcom.parse(SOURCE))
    assert converted.to_text() == CONVERTED.format(uri or UNDOCUMENTED)
    assert [tuple(n.values()) for n in notes] == [*NOTES, OWNED if uri else NOT_OWNED]


OWNED_ARG = "to_version7() argument 'owned' "


@pytest.mark.parametrize("args, kwargs, message", [
    (("_PRIM",), {}, OWNED_ARG + "must be a sequence of (str, str) tuples, not str"),
    ((5,), {}, OWNED_ARG + "must be a sequence of (str, str) tuples, not int"),
    ((["_PRIM", "https://example.com/PRIM"],), {}, OWNED_ARG + "item 0 must be tuple, not str"),
    (([("_PRIM",)],), {}, OWNED_ARG + "item 0: expected tuple of length 2, but got tuple of length 1"),
    (([("_A", "u"), ("_B", "u", "x")],), {},
     OWNED_ARG + "item 1: expected tuple of length 2, but got tuple of length 3"),
    (([("_PRIM", b"https://example.com/PRIM")],), {}, OWNED_ARG + "item 0 must hold str, not bytes"),
    ((None, None), {}, "to_version7() takes from 0 to 1 positional arguments but 2 were given"),
    ((), {"owner": None}, "to_version7() got an unexpected keyword argument 'owner'"),
    ((None,), {"owned": None}, "to_version7() got multiple values for argument 'owned'"),
])
def test_arguments_refused(args, kwargs, message):
    with pytest.raises(TypeError) as info:
        Gedcom.parse(SOURCE).to_version7(*args, **kwargs)
    assert str(info.value) == message


def test_conversion_takes_a_shared_borrow():
    """Reading calls may run while a conversion holds the instance."""
    source = Gedcom.parse(SOURCE)
    seen = []

    class Owned(list):
        def __len__(self):  # runs inside to_version7, while the borrow is held
            seen.append(source.to_text() == SOURCE.decode())
            return 0

        def __getitem__(self, i):
            raise IndexError(i)

    source.to_version7(Owned())
    assert seen == [True]


# ---------------------------------------------------------------- the published files


def records(text: str) -> list[list]:
    """The records of a written document as trees [tag, xref, value, children]."""
    out, stack = [], []
    for line in text.split("\n")[:-1]:
        level, xref, tag, value = fields(line)
        node = [tag, xref, value, []]
        del stack[level:]
        (stack[-1][3] if stack else out).append(node)
        stack.append(node)
    return out


def logical(node: list) -> str:
    return (node[2] or "") + "".join({"CONT": "\n", "CONC": ""}[c[0]] + (c[2] or "")
                                     for c in node[3] if c[0] in ("CONT", "CONC"))


def structures(node: list, path: tuple = ()):
    """(tag path, logical payload) of every structure but the continuation lines."""
    path = (*path, node[0])
    if node[0] not in ("CONT", "CONC"):
        yield path, logical(node)
    for child in node[3]:
        yield from structures(child, path)


# For each published pair (conversion/5/X.ged converted, against conversion/7/X.ged):
# the lines only this library writes and only the published file has, counted by
# their tag, and why.
PAIRS = {
    "age-invalid": ({"AGE": (79, 79), "SOUR": (1, 0)}, "AGE is not rewritten; the header's SOUR stays"),
    "age-valid": ({"AGE": (27, 28), "DEAT": (0, 1), "PHRASE": (0, 10), "SOUR": (1, 0)},
                  "AGE words are not rewritten into ages with a PHRASE; the header's SOUR stays"),
    "atsign": ({"SNOTE": (13, 13), "SOUR": (1, 0), "SUBM": (2, 2)},
               "at-signs and @#D escapes inside texts stay as written, a leading one doubled; an identifier "
               "version 7 can hold is not renamed"),
    **{name: ({}, "identical") for name in (
        "char_ascii_1", "char_ascii_2", "char_utf16be-1", "char_utf16be-2", "char_utf16le-1", "char_utf16le-2",
        "char_utf8-1", "char_utf8-2", "char_utf8-3", "notes-1", "tiny-1")},
    "date-all": ({"DATE": (2730, 2730), "NOTE": (846, 846), "PHRASE": (1567, 300)},
                 "dual years and dates 7.0 reads differently become an empty DATE with the text as a PHRASE; "
                 "calendar escapes inside NOTE texts stay as written"),
    "date-dual-invalid": ({"DATE": (84, 84)},
                          "a dual year has no 7.0 form: the DATE is left empty, the text kept as a PHRASE"),
    "enum-ext": ({"PHRASE": (0, 1), "TAG": (2, 1), "TYPE": (1, 1)},
                 "a name's TYPE is not enumerated; every extension is declared, the unknown ones as undocumented"),
    "filename-1": ({"FILE": (6, 5), "SOUR": (1, 0)},
                   "a path without a scheme stays a relative reference: no file: URI is made, a backslash is "
                   "encoded as part of the name, a word before a colon is a scheme; the header's FILE and SOUR stay"),
    "lang-all": ({"LANG": (95, 95), "TAG": (4, 1), "_PHRASE": (0, 3)},
                 "every extension is declared as undocumented; language names are not turned into language tags"),
    "obje-1": ({"FILE": (2, 2), "FORM": (3, 3), "MEDI": (2, 2), "NOTE": (1, 1), "OBJE": (1, 2)},
               "mp3 is audio/mpeg and an unknown format word is kept; an embedded OBJE stays embedded"),
    "obsolete-1": ({"ANCE": (1, 0), "CHAN": (1, 0), "DATE": (1, 0), "DESC": (1, 0), "FAMF": (1, 0),
                    "ORDI": (1, 0), "RIN": (1, 0), "SOUR": (1, 0), "SUBN": (2, 0)},
                   "a submission record and its pointer are kept, not dropped; the header's SOUR stays"),
    "pedi-1": ({"PEDI": (1, 1), "SOUR": (1, 0)}, "PEDI values are not uppercased; the header's SOUR stays"),
    "rela_1": ({"PHRASE": (1, 0)}, "a relation's words are kept as a PHRASE beside the ROLE"),
    "sour-1": ({"DATA": (0, 2), "NOTE": (0, 2), "SOUR": (3, 4), "TEXT": (7, 7)},
               "a source citation without a pointer stays inline rather than becoming a record"),
    "xref-case": (None, "the 5.5.1 input has an identifier holding a space, which the parser refuses"),
}


def line_tag(line: str) -> str:
    parts = line.split(" ")
    return parts[2] if parts[1].startswith("@") and len(parts) > 2 else parts[1]


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
    differences: dict[str, list[int]] = {}
    for side, lines in ((0, ours - theirs), (1, theirs - ours)):
        for line, count in lines.items():
            differences.setdefault(line_tag(line), [0, 0])[side] += count
    assert {tag: tuple(n) for tag, n in differences.items()} == expected, why
