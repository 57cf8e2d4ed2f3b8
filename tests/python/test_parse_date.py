"""The contract of pellorine.parse_date: dict shape and key order, argument
types, and that no text ever makes it raise."""

import pytest

import pellorine

KEYS = ["original", "calendar", "kind", "earliest", "latest", "phrase", "display", "gedcom551", "gedcom7"]


def point(year, month=None, day=None):
    return {"year": year, "month": month, "day": day}


@pytest.mark.parametrize("text, expected", [
    ("ABT 5 JAN 1882", ["Gregorian", "About", point(1882, 1, 5), point(1882, 1, 5), None, "about 5 January 1882",
                        "ABT 5 JAN 1882", "ABT 5 JAN 1882"]),
    ("@#DFRENCH R@ TO 3 (x)", ["FrenchRepublican", "Period", None, point(3), "x", "to 3", None, "TO FRENCH_R 3"]),
    ("", ["Gregorian", "Unparsed", None, None, "", "", None, None]),
    ("\u3000 who knows\t", ["Gregorian", "Unparsed", None, None, "who knows", "who knows", None, None]),
])
def test_reading_has_nine_keys_in_order(text, expected):
    d = pellorine.parse_date(text)
    assert type(d) is dict and list(d) == KEYS and list(d.values()) == [text, *expected]
    for p in (d["earliest"], d["latest"]):
        assert p is None or list(p) == ["year", "month", "day"]


# Stalls and limits are the C++ tests' (DateRead.HostileInput); these cross the binding.
HOSTILE = ["\x00", "ABT \x00 1900", "\"\\\u2028\x7f\x1b", "\U0001F600 1900", "\u0301\u0301", "ABT " * 10000 + "1900"]


@pytest.mark.parametrize("text", HOSTILE, ids=range(len(HOSTILE)))
def test_hostile_text_never_raises(text):
    d = pellorine.parse_date(text)
    assert list(d) == KEYS and d["original"] == text


# A lone surrogate cannot become UTF-8 text: it is refused, never misread.
@pytest.mark.parametrize("value, error, match", [
    (b"1900", TypeError, "text"), (bytearray(b"1900"), TypeError, "text"), (None, TypeError, "text"),
    (1900, TypeError, "text"), ("\ud800 1900", UnicodeEncodeError, None),
])
def test_refused_arguments(value, error, match):
    with pytest.raises(error, match=match):
        pellorine.parse_date(value)


def test_signature_and_keyword():
    assert pellorine.parse_date.__text_signature__ == "(text)"
    assert pellorine.parse_date(text="1900")["kind"] == "Exact"
