"""Documents that view the caller's bytes, and lookups by identifier.

A document read from a `bytes` object that decodes to itself views that object
instead of copying it, and keeps it alive; any other input (a subclass of
bytes among them) is copied. Both give the same answers (over the published
files: test_views). `record` answers from an index built on the first lookup:
the first record in document order whose identifier matches ignoring ASCII
case, as a scan would find it.
"""

from __future__ import annotations

import gc
import random
import sys

import pytest

import pellorine
from conftest import Copied

LF = "0 HEAD\n1 CHAR UTF-8\n0 @I1@ INDI\n1 NAME Zo\u00eb /M\u00fcller/\n1 NOTE a\n2 CONT b\n0 TRLR\n"


@pytest.mark.parametrize("data,kept", [
    (LF.encode(), True), (b"\xef\xbb\xbf" + LF.encode(), True),
    (LF.replace("UTF-8", "ANSI").replace("\u00eb", "e").replace("\u00fc", "u").encode(), True),
    (LF.replace("\n", "\r\n").encode(), False), (LF.replace("UTF-8", "ANSI").encode("cp1252"), False),
    (LF.encode("utf-16"), False), (b"", False),  # no node, nothing to view
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


# ---------------------------------------------------------------- lookups by identifier

ASCII_FOLD = str.maketrans("abcdefghijklmnopqrstuvwxyz", "ABCDEFGHIJKLMNOPQRSTUVWXYZ")
IDS = ["@I1@", "@i1@", "@I10@", "@F1@", "@f1@", "@\u00e9@", "@\u00c9@", "@{@", "@[@", "@a_b@", "@A_B@"]


def scan(records: list[dict], xref: str) -> dict | None:
    """The first record whose identifier matches, ASCII case folded, by a plain scan."""
    fold = xref.translate(ASCII_FOLD)
    return next((r for r in records if r["xref"] is not None and r["xref"].translate(ASCII_FOLD) == fold), None)


def random_document(rng: random.Random) -> bytes:
    lines = ["0 HEAD"]
    for _ in range(rng.randrange(12)):
        if rng.random() < 0.2:
            lines.append("0 NOTE without an identifier")
            continue
        xref = "".join(c.swapcase() if rng.random() < 0.5 else c for c in rng.choice(IDS))
        lines += [f"0 {xref} {rng.choice(['INDI', 'FAM', 'NOTE'])}", f"1 NOTE {rng.random()}"]
    lines.append("0 TRLR")
    return ("\n".join(lines) + "\n").encode()


def agrees_with_a_scan(g, asked: list[str]) -> None:
    records = g.records()
    for x in asked:
        expected = scan(records, x)
        if expected is None:
            with pytest.raises(KeyError) as info:
                g.record(x)
            assert info.value.args == (x,)
        else:
            assert g.record(x) == expected


EDITS = [
    lambda g, rng, x: g.append_records([{"tag": "INDI", "xref": x, "children": [{"tag": "NAME", "value": "A /B/"}]}]),
    lambda g, rng, x: g.append_records([{"tag": "NOTE", "value": "no identifier"}]),
    lambda g, rng, x: g.append_structures(x, [], [{"tag": "NOTE", "value": "n" * rng.randrange(300)}]),
    lambda g, rng, x: g.set_logical_value(x, [], "v\n" * rng.randrange(3)),
    lambda g, rng, x: g.fit_line_limit(x, 40),
    lambda g, rng, x: g.wrap_long_lines(60),
]


@pytest.mark.parametrize("seed", range(40))
def test_record_agrees_with_a_scan_before_and_after_every_edit(seed):
    rng = random.Random(seed)
    g = pellorine.Gedcom.parse(random_document(rng))
    both_cases = IDS + [x.swapcase() for x in IDS]
    agrees_with_a_scan(g, both_cases + ["@I2@", "@I1 @", "I1"])  # the index is built here
    for _ in range(12):
        xref = "".join(c.swapcase() if rng.random() < 0.5 else c for c in rng.choice(IDS))
        try:
            rng.choice(EDITS)(g, rng, xref)
        except (KeyError, ValueError):
            pass  # a refused edit changes nothing; the lookups must agree all the same
        agrees_with_a_scan(g, both_cases)
