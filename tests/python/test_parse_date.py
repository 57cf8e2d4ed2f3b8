"""The contract of pellorine.parse_date: dict shape and key order, argument
types, and that no text ever makes it raise."""

import json

import pytest

import pellorine

KEYS = ["original", "calendar", "kind", "earliest", "latest", "phrase", "display", "gedcom551", "gedcom7"]
CALENDARS = {"Gregorian", "Julian", "Hebrew", "FrenchRepublican", "Roman", "Unknown"}
KINDS = {"Exact", "About", "Calculated", "Estimated", "Before", "After", "Between", "Period", "Interpreted",
         "Unparsed"}


def check_shape(d, text):
    assert type(d) is dict
    assert list(d) == KEYS
    assert d["original"] == text
    assert d["calendar"] in CALENDARS
    assert d["kind"] in KINDS
    for key in ("earliest", "latest"):
        p = d[key]
        if p is not None:
            assert list(p) == ["year", "month", "day"]
            assert type(p["year"]) is int
            assert p["month"] is None or 1 <= p["month"] <= 12
            assert p["day"] is None or 1 <= p["day"] <= 31
    for key in ("phrase", "gedcom551", "gedcom7"):
        assert d[key] is None or type(d[key]) is str
    assert type(d["display"]) is str


def point(year, month=None, day=None):
    return {"year": year, "month": month, "day": day}


@pytest.mark.parametrize(
    "text, expected",
    [
        ("ABT 5 JAN 1882",
         {"calendar": "Gregorian", "kind": "About", "earliest": point(1882, 1, 5), "latest": point(1882, 1, 5),
          "phrase": None, "display": "about 5 January 1882", "gedcom551": "ABT 5 JAN 1882",
          "gedcom7": "ABT 5 JAN 1882"}),
        ("@#DJULIAN@ BET 1700 AND 1710",
         {"calendar": "Julian", "kind": "Between", "earliest": point(1700), "latest": point(1710),
          "display": "between 1700 and 1710", "gedcom551": "BET @#DJULIAN@ 1700 AND @#DJULIAN@ 1710",
          "gedcom7": "BET JULIAN 1700 AND JULIAN 1710"}),
        ("BEF 1900", {"kind": "Before", "earliest": None, "latest": point(1900), "gedcom7": "BEF 1900"}),
        ("FROM sometime", {"kind": "Period", "earliest": None, "latest": None, "phrase": None,
                           "display": "FROM sometime", "gedcom551": None, "gedcom7": None}),
        ("500 BCE", {"earliest": point(-500), "display": "-500", "gedcom551": "500 B.C.", "gedcom7": "500 BCE"}),
        ("1699/00", {"kind": "Exact", "earliest": point(1699), "gedcom551": "1699/00", "gedcom7": None}),
        ("1900 (a (b) c)", {"phrase": "a (b) c", "gedcom551": "INT 1900 (a [b] c)", "gedcom7": "1900"}),
        ("@#DHEBREW@ 5780", {"calendar": "Hebrew", "gedcom551": None, "gedcom7": "HEBREW 5780"}),
        ("@#DROMAN@ 5", {"calendar": "Roman", "gedcom551": None, "gedcom7": None}),
        ("5 de enero de 1882", {"earliest": point(1882, 1, 5), "display": "5 January 1882"}),
        ("après 1900", {"kind": "After", "gedcom7": "AFT 1900"}),
        ("  who knows  ", {"kind": "Unparsed", "phrase": "who knows", "display": "who knows",
                           "gedcom551": None, "gedcom7": None}),
    ],
)
def test_readings(text, expected):
    d = pellorine.parse_date(text)
    check_shape(d, text)
    for key, value in expected.items():
        assert d[key] == value, key


@pytest.mark.parametrize("text", ["", "   ", "\t\n", "\u3000"])
def test_blank_text_is_unparsed_with_an_empty_phrase(text):
    d = pellorine.parse_date(text)
    check_shape(d, text)
    assert d["kind"] == "Unparsed"
    assert d["calendar"] == "Gregorian"
    assert d["earliest"] is None and d["latest"] is None
    assert d["phrase"] == ""
    assert d["display"] == ""
    assert d["gedcom551"] is None and d["gedcom7"] is None


ODD_TEXTS = [
    "\x00",
    "1900\x00",
    "ABT \x00 1900",
    "99999999999999999999999999999999",
    "1 JAN 99999999999999999999",
    "99999999999999999999/99999999999999999999",
    "1699/99999999999999999999",
    "ABT " * 10000 + "1900",
    "BET " * 10000,
    " AND " * 10000,
    "FROM " * 5000 + "1900" + " TO" * 5000,
    "(" * 10000 + ")" * 10000,
    "@#D" * 10000,
    "@#DJULIAN@" * 1000,
    "JULIAN " * 10000,
    "/" * 10000,
    "1/" * 10000,
    "<" * 10000 + ">" * 10000,
    "\"\\\u2028\u2029\x7f\x1b",
    "\ufeff1900",
    "\U0001F600 1900 \U0001F600",
    "5 jänner 1882",
    "FØR 1900",
    "\u0301\u0301\u0301",
    "-1900",
    "1900 BCE BCE",
    "0/0/0",
    "1-1-1",
    "....",
    "1." * 5000,
]


@pytest.mark.parametrize("text", ODD_TEXTS, ids=range(len(ODD_TEXTS)))
def test_odd_text_never_raises(text):
    d = pellorine.parse_date(text)
    check_shape(d, text)


def test_huge_year_runs_give_no_point():
    d = pellorine.parse_date("99999999999999999999999999999999")
    assert d["kind"] == "Unparsed"
    assert d["earliest"] is None


def test_keys_cross_as_a_fresh_dict_each_call():
    a = pellorine.parse_date("1900")
    b = pellorine.parse_date("1900")
    assert a == b and a is not b
    a["kind"] = "x"
    assert pellorine.parse_date("1900")["kind"] == "Exact"


def test_result_is_plain_json_data():
    d = pellorine.parse_date("ABT 5 JAN 1882 (note)")
    assert json.loads(json.dumps(d)) == d


def test_str_subclass_is_accepted():
    class S(str):
        pass

    assert pellorine.parse_date(S("1900"))["earliest"] == point(1900)


def test_keyword_argument():
    assert pellorine.parse_date(text="1900")["kind"] == "Exact"


@pytest.mark.parametrize("value", [b"1900", bytearray(b"1900"), memoryview(b"1900"), None, 1900, 19.0, ["1900"]])
def test_non_str_raises_type_error_naming_text(value):
    with pytest.raises(TypeError, match="text"):
        pellorine.parse_date(value)


@pytest.mark.parametrize(
    "args, kwargs",
    [((), {}), (("1900", "1910"), {}), ((), {"txt": "1900"}), (("1900",), {"text": "1900"})],
)
def test_wrong_arguments_raise_type_error(args, kwargs):
    with pytest.raises(TypeError):
        pellorine.parse_date(*args, **kwargs)


def test_docstring_and_signature():
    assert pellorine.parse_date.__text_signature__ == "(text)"
    doc = pellorine.parse_date.__doc__
    assert "gedcom551" in doc and "gedcom7" in doc and "ABT 5 JAN 1882" in doc


def test_text_that_is_not_utf8_encodable_raises_unicode_error():
    # A lone surrogate cannot become UTF-8 text; it is refused, never misread.
    with pytest.raises(UnicodeEncodeError):
        pellorine.parse_date("\ud800 1900")
