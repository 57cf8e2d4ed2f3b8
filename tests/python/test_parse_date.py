"""The contract of pellorine.parse_date: dict shape and key order, argument
types, and texts that cross the binding whole (the readings: the C++ tests)."""

import pytest

import pellorine

KEYS = ["original", "calendar", "kind", "earliest", "latest", "phrase", "display", "gedcom551", "gedcom7"]
YEAR_1900 = {"year": 1900, "month": None, "day": None}
ODD = "\"\\\u2028\x7f\x1b\U0001F600"  # JSON escapes and a character beyond the BMP


@pytest.mark.parametrize("text, expected", [
    ("ABT 5 JAN 1882", ["Gregorian", "About", {"year": 1882, "month": 1, "day": 5},
                        {"year": 1882, "month": 1, "day": 5}, None, "about 5 January 1882", "ABT 5 JAN 1882",
                        "ABT 5 JAN 1882"]),
    ("@#DFRENCH R@ TO 3 (x)", ["FrenchRepublican", "Period", None, {"year": 3, "month": None, "day": None}, "x",
                               "to 3", None, "TO FRENCH_R 3"]),
    ("ABT \x00 1900", ["Gregorian", "About", YEAR_1900, YEAR_1900, None, "about 1900", "ABT 1900", "ABT 1900"]),
    (ODD, ["Gregorian", "Unparsed", None, None, ODD, ODD, None, None]),
], ids=["about", "french", "nul", "escapes"])
def test_reading_has_nine_keys_in_order(text, expected):
    d = pellorine.parse_date(text=text)
    assert type(d) is dict and list(d) == KEYS and list(d.values()) == [text, *expected]
    assert all(list(p) == ["year", "month", "day"] for p in (d["earliest"], d["latest"]) if p is not None)


def test_arguments():
    assert pellorine.parse_date.__text_signature__ == "(text)"
    with pytest.raises(TypeError, match="^parse_date\\(\\) argument 'text' must be str, not bytes$"):
        pellorine.parse_date(b"1900")
    with pytest.raises(UnicodeEncodeError):  # a lone surrogate cannot become UTF-8: refused, never misread
        pellorine.parse_date("\ud800 1900")
