"""The contract of pellorine.parse_date: dict shape and key order, argument
types, and texts that cross the binding whole (the readings: the C++ tests)."""

import pytest

import pellorine

KEYS = ["original", "calendar", "kind", "earliest", "latest", "phrase", "display", "gedcom551", "gedcom7"]


@pytest.mark.parametrize("text, expected", [
    ("ABT 5 JAN 1882", ["Gregorian", "About", {"year": 1882, "month": 1, "day": 5},
                        {"year": 1882, "month": 1, "day": 5}, None, "about 5 January 1882", "ABT 5 JAN 1882",
                        "ABT 5 JAN 1882"]),
    ("@#DFRENCH R@ TO 3 (x)", ["FrenchRepublican", "Period", None, {"year": 3, "month": None, "day": None}, "x",
                               "to 3", None, "TO FRENCH_R 3"]),
])
def test_reading_has_nine_keys_in_order(text, expected):
    d = pellorine.parse_date(text)
    assert type(d) is dict and list(d) == KEYS and list(d.values()) == [text, *expected]
    assert all(list(p) == ["year", "month", "day"] for p in (d["earliest"], d["latest"]) if p is not None)


# A NUL keeps the text after it, and JSON escapes and non-BMP characters come back whole.
@pytest.mark.parametrize("text", ["ABT \x00 1900", "\"\\\u2028\x7f\x1b\U0001F600"], ids=["nul", "escapes"])
def test_text_comes_back_whole(text):
    d = pellorine.parse_date(text)
    assert list(d) == KEYS and d["original"] == text


def test_arguments():
    assert pellorine.parse_date.__text_signature__ == "(text)"
    assert pellorine.parse_date(text="1900")["kind"] == "Exact"
    with pytest.raises(TypeError, match="^parse_date\\(\\) argument 'text' must be str, not bytes$"):
        pellorine.parse_date(b"1900")
    with pytest.raises(UnicodeEncodeError):  # a lone surrogate cannot become UTF-8: refused, never misread
        pellorine.parse_date("\ud800 1900")
