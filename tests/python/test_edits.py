"""The five edits of Gedcom: appending records and substructures, wrapping and
fitting lines with CONC, replacing one payload. Every refusal leaves
to_text() exactly as it was, and every accepted edit reads back."""

from __future__ import annotations

import ast

import pytest

import pellorine

Gedcom = pellorine.Gedcom
DEEP = "the structure is nested deeper than the limit"


def sample() -> Gedcom:
    return Gedcom.parse(b"0 HEAD\n1 GEDC\n2 VERS 5.5.1\n0 @I1@ INDI\n1 NAME A /B/\n1 BIRT\n2 DATE 1900\n0 TRLR\n")


def refused(doc: Gedcom, exception, call, match: str | None = None):
    """Runs a call that must fail with `exception` and change nothing."""
    before = doc.to_text()
    with pytest.raises(exception) as info:
        call(doc)
    if match is not None:
        assert str(info.value) == match
    assert doc.to_text() == before
    return info.value


def reads_back(doc: Gedcom) -> None:
    assert Gedcom.parse(doc.to_bytes()).to_text() == doc.to_text()


def test_append_records_go_before_the_trailer_as_described():
    doc = sample()
    before = doc.to_text()
    assert doc.append_records([]) is None
    assert doc.to_text() == before
    doc.append_records([
        {"tag": "INDI", "xref": "@I2@", "value": "", "children": [
            {"tag": "NAME", "value": "C /D/"}, {"tag": "NOTE", "value": "one\r\ntwo\n", "children": [{"tag": "_X"}]}]},
        [None, "NOTE", "tab\tnul\0del\x7f\u00e9", []],
    ])
    assert doc.to_text().endswith(
        "0 @I2@ INDI\n1 NAME C /D/\n1 NOTE one\n2 CONT two\n2 CONT \n2 _X\n0 NOTE tab\tnul\0del\x7f\u00e9\n0 TRLR\n")
    assert len(doc) == 3
    reads_back(doc)


class Circular(list):
    pass


circular = Circular()
circular.append(circular)


# The builders' and the reader's own refusals are the C++ tests'; these are
# the ways Python values reach them, and one refusal of each layer.
@pytest.mark.parametrize("records, exception, message", [
    ([{"tag": "NOTE"}, {"tag": "N!"}], ValueError, '"N!" is not a GEDCOM tag: ASCII letters, digits, or underscore'),
    ([{"tag": "INDI", "xref": "@X@"}, {"tag": "FAM", "xref": "@x@"}], ValueError,
     "the document already has a record @x@"),
    ([{"tag": "NOTE", 1: "x"}], ValueError,
     "unknown field `1`, expected one of `tag`, `xref`, `value`, `children` at line 1 column 21"),
    ([{"tag": "NOTE", "value": float("nan")}], ValueError, "Invalid value at line 1 column 27"),
    ([{"tag": "NOTE", "value": "\udc00"}], ValueError, "The surrogate pair in string is invalid at line 1 column 28"),
    ([{"tag": b"NOTE"}], TypeError, "Object of type bytes is not JSON serializable"),
    (circular, ValueError, "Circular reference detected"),
])
def test_append_records_refusals_add_nothing(records, exception, message):
    refused(sample(), exception, lambda d: d.append_records(records), message)


def test_append_structures_land_after_the_existing_children():
    doc = sample()
    doc.append_structures("HEAD", [], [{"tag": "NOTE", "value": "n"}])
    doc.append_structures("@i1@", (1,), [{"tag": "PLAC", "value": "X"}, [None, "NOTE", "a\nb", []]])
    assert doc.to_text() == ("0 HEAD\n1 GEDC\n2 VERS 5.5.1\n1 NOTE n\n0 @I1@ INDI\n1 NAME A /B/\n1 BIRT\n"
                             "2 DATE 1900\n2 PLAC X\n2 NOTE a\n3 CONT b\n0 TRLR\n")
    reads_back(doc)


def test_wrap_long_lines_reports_each_rewritten_structure():
    doc = sample()
    doc.append_structures("@I1@", [1], [{"tag": "NOTE", "value": "x" * 300}])
    assert doc.wrap_long_lines() == [{"record": "@I1@", "path": [1, 1], "tag": "NOTE"}]
    assert "2 NOTE " + "x" * 247 + "\n3 CONC " + "x" * 53 + "\n" in doc.to_text()
    assert doc.wrap_long_lines(max_line_bytes=255) == []
    assert doc.wrap_long_lines(2**64 - 1) == []
    reads_back(doc)
    refused(Gedcom.new_v7(), ValueError, lambda d: d.wrap_long_lines(),
            "version 7 has no CONC and no line limit, so there is nothing to wrap")


def test_set_logical_value_then_fit_line_limit():
    doc = sample()
    assert doc.set_logical_value("@i1@", [], "a\nb") is None
    assert doc.to_text().startswith("0 HEAD\n1 GEDC\n2 VERS 5.5.1\n0 @I1@ INDI a\n1 CONT b\n1 NAME A /B/\n")
    doc.set_logical_value("@I1@", [2, 0], "1 JAN " + "9" * 300)
    assert doc.fit_line_limit("@I1@") is True
    assert "2 DATE 1 JAN " + "9" * 240 + "\n3 CONC " + "9" * 60 + "\n" in doc.to_text()
    assert doc.fit_line_limit("@I1@", max_line_bytes=255) is False
    assert doc.fit_line_limit("@I1@", 0) is False
    assert doc.fit_line_limit("@I1@", 2**64 - 1) is False
    reads_back(doc)


@pytest.mark.parametrize("call, exception, message", [
    (lambda d: d.append_structures("head", [], [{"tag": "NOTE"}]), ValueError, "no record head"),
    (lambda d: d.append_structures("HEAD", [1], [{"tag": "NOTE"}]), ValueError, "no structure at [1] in HEAD"),
    (lambda d: d.append_structures("@I1@", [], [{"tag": "NOTE", "xref": "@N1@"}]), ValueError,
     "@N1@ is on a NOTE below level zero, where only records carry identifiers"),
    (lambda d: d.append_structures(b"@I1@", [], []), TypeError, None),
    (lambda d: d.append_structures("@I1@", "0", []), TypeError, None),
    (lambda d: d.append_structures("@I1@", [0.0], []), TypeError, None),
    (lambda d: d.append_structures("@I1@", [2**64], []), OverflowError, None),
    (lambda d: d.wrap_long_lines(31), ValueError, "a line limit under 32 bytes leaves no room for a payload"),
    (lambda d: d.wrap_long_lines(-1), OverflowError, None),
    (lambda d: d.wrap_long_lines(2**64), OverflowError, None),
    (lambda d: d.wrap_long_lines("255"), TypeError, None),
    (lambda d: d.fit_line_limit("HEAD"), KeyError, "'HEAD'"),
    (lambda d: d.fit_line_limit(1), TypeError, None),
    (lambda d: d.fit_line_limit("@I1@\0"), KeyError, "'@I1@\\x00'"),
    (lambda d: d.set_logical_value("HEAD", [], "v"), KeyError, "'HEAD'"),
    (lambda d: d.set_logical_value("@I1@", [5], "v"), ValueError, "no structure at [5]"),
    (lambda d: d.set_logical_value("@I1@", [2**64 - 1], "v"), ValueError, f"no structure at [{2**64 - 1}]"),
    (lambda d: d.set_logical_value("@I1@", "1", "v"), TypeError, None),
    (lambda d: d.set_logical_value("@I1@", [], None), TypeError, None),
    (lambda d: d.set_logical_value("@I1@", [], "\udc00"), UnicodeEncodeError, None),
])
def test_edit_refusals_change_nothing(call, exception, message):
    error = refused(sample(), exception, call, message)
    if exception is KeyError:  # carrying the identifier object as passed
        assert error.args == (ast.literal_eval(message),)


def test_records_edited_on_their_own_line_are_still_found_by_identifier():
    doc = Gedcom.parse(b"0 HEAD\n0 @I1@ INDI\n0 @i1@ INDI\n1 NAME second\n0 @N1@ NOTE\n0 TRLR\n")
    doc.append_records([{"tag": "NOTE", "xref": "@B1@", "value": "built"}])
    for xref in ("@i1@", "@B1@", "@n1@"):
        doc.set_logical_value(xref, [], "x" * 300)
        assert doc.fit_line_limit(xref.upper()) is True
        assert doc.record(xref)["xref"] == xref.upper()
    fitted = " " + "x" * 241 + "\n1 CONC " + "x" * 59 + "\n"
    assert doc.record("@I1@")["raw"] == "0 @I1@ INDI" + fitted  # the first of the two, not the one with a NAME
    assert doc.record("@B1@")["raw"] == "0 @B1@ NOTE" + fitted
    doc.set_logical_value("@B1@", [0], "y")
    assert doc.record("@b1@")["raw"] == "0 @B1@ NOTE " + "x" * 241 + "\n1 CONC y\n"
    reads_back(doc)


def test_set_logical_value_keeps_continuations_within_the_depth_bound():
    doc = Gedcom.parse(("0 HEAD\n0 @I1@ INDI\n" + "".join(f"{n} A\n" for n in range(1, 65)) + "0 TRLR\n").encode())
    deepest = [0] * 64
    for path, value, message in ((deepest, "a\nb", DEEP), (deepest, "a\r", DEEP),
                                 ([], "x" * (16 << 20), "the line is longer than the limit")):
        refused(doc, ValueError, lambda d: d.set_logical_value("@I1@", path, value), message)
    doc.set_logical_value("@I1@", deepest[:-1], "a\nb")
    reads_back(doc)


def test_edits_hold_the_exclusive_borrow_while_json_dumps_runs():
    doc = sample()

    class Peeking(dict):
        def items(self):
            doc.to_text()
            return super().items()

    refused(doc, RuntimeError, lambda d: d.append_records([Peeking(tag="NOTE")]), "Already mutably borrowed")
