"""Documents that view the caller's bytes, and lookups by identifier.

A document read from a `bytes` object that decodes to itself views that object
instead of copying it, and keeps it alive; any other input (a subclass of
bytes among them) is copied. Both give the same answers (over the published
files: test_roundtrip). `record` answers from an index built on the first
lookup and kept up to date by every edit.
"""

import gc
import sys

import pytest

import pellorine
from conftest import Copied

LF = "0 HEAD\n1 CHAR UTF-8\n0 @I1@ INDI\n1 NAME Zo\u00eb /M\u00fcller/\n1 NOTE a\n2 CONT b\n0 TRLR\n"


@pytest.mark.parametrize("data, kept", [
    (LF.encode(), True), (LF.replace("\n", "\r\n").encode(), False), (b"", False),  # no node, nothing to view
])
def test_a_document_keeps_its_bytes_only_while_it_views_them(data, kept):
    data = bytes(bytearray(data))  # a fresh object whose references are ours alone
    before = sys.getrefcount(data)
    g = pellorine.Gedcom.parse(data)
    assert sys.getrefcount(data) == before + kept
    copy = pellorine.Gedcom.parse(Copied(data))
    assert sys.getrefcount(data) == before + kept
    assert g.to_text() == copy.to_text() and g.records() == copy.records()
    del g
    gc.collect()
    assert sys.getrefcount(data) == before


def test_a_conversion_keeps_the_bytes_its_source_viewed():
    data = bytes(bytearray(LF.encode()))
    before = sys.getrefcount(data)
    g = pellorine.Gedcom.parse(data)
    converted, _ = g.to_version7()
    expected = converted.to_text()
    del g
    gc.collect()
    assert sys.getrefcount(data) == before + 1  # the converted records still view the bytes
    del data
    gc.collect()
    assert (converted.to_text(), converted.record("@I1@")["title"]) == (expected, "Zo\u00eb M\u00fcller")


def test_record_finds_the_first_match_ignoring_ascii_case_before_and_after_edits():
    g = pellorine.Gedcom.parse("0 HEAD\n0 @a\u00e9@ NOTE 1\n0 @A\u00e9@ NOTE 2\n0 @\u00c9@ NOTE 3\n0 TRLR\n".encode())
    assert [g.record(x)["title"] for x in ("@A\u00e9@", "@\u00c9@")] == ["1", "3"]  # the index is built here
    with pytest.raises(KeyError) as info:
        g.record("@\u00e9@")
    assert info.value.args == ("@\u00e9@",)
    g.append_records([{"tag": "NOTE", "xref": "@N1@", "value": "new"}])
    g.set_logical_value("@A\u00e9@", [], "edited")  # the record's own line
    assert [g.record(xref=type("Text", (str,), {})(x))["title"] for x in ("@n1@", "@A\u00e9@")] == ["new", "edited"]
