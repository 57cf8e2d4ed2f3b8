"""Record, individual and family views as Python dictionaries."""

import json
from pathlib import Path

import pytest

import pellorine

TESTDATA = Path(__file__).resolve().parents[2] / ".." / "shared" / "testdata"

RECORD_KEYS = ["xref", "tag", "label", "title", "structures", "raw"]
STRUCTURE_KEYS = ["path", "level", "tag", "label", "kind", "value", "pointer", "extension", "children"]
INDIVIDUAL_KEYS = ["xref", "names", "sex", "events", "childIn", "partnerIn", "citations", "media", "identifiers"]
NAME_KEYS = ["display", "sort", "original", "kind", "citations"]
EVENT_KEYS = ["tag", "label", "date", "dateDisplay", "year", "sortKey", "place", "age", "cause", "attribute",
              "value", "citations", "path"]
LINK_KEYS = ["family", "pedigree"]
IDENTIFIER_KEYS = ["tag", "label", "value", "kind"]
FAMILY_KEYS = ["xref", "husband", "wife", "children", "events"]


def gedcom(*lines):
    return pellorine.Gedcom.parse(("\n".join(lines) + "\n").encode("utf-8"))


# ---- shape checkers, used on hand-made files and on every test file ----

def opt(value, kind):
    return value is None or isinstance(value, kind)


def check_structure(s, level, prefix):
    assert list(s) == STRUCTURE_KEYS
    assert s["level"] == level and s["path"][:-1] == prefix and len(s["path"]) == level
    assert all(isinstance(i, int) and i >= 0 for i in s["path"])
    assert isinstance(s["tag"], str) and isinstance(s["label"], str) and isinstance(s["value"], str)
    assert s["kind"] in ("event", "attribute", "structure", "unknown")
    assert opt(s["pointer"], str) and isinstance(s["extension"], bool)
    assert s["extension"] == s["tag"].startswith("_")
    for c in s["children"]:
        assert c["tag"] not in ("CONT", "CONC")
        check_structure(c, level + 1, s["path"])


def check_record(r):
    assert list(r) == RECORD_KEYS
    assert opt(r["xref"], str)
    assert isinstance(r["tag"], str) and isinstance(r["label"], str) and isinstance(r["title"], str)
    assert 0 < len(r["title"]) <= 90
    assert r["raw"].endswith("\n")
    for s in r["structures"]:
        assert s["tag"] not in ("CONT", "CONC")
        check_structure(s, 1, [])


def check_event(e):
    assert list(e) == EVENT_KEYS
    assert (e["date"] is None) == (e["dateDisplay"] is None)
    if e["date"] is None:
        assert e["year"] is None and e["sortKey"] is None
    for k in ("date", "dateDisplay", "place", "age", "cause", "value"):
        assert opt(e[k], str)
    assert opt(e["year"], int) and opt(e["sortKey"], int) and isinstance(e["attribute"], bool)
    assert all(isinstance(c, str) for c in e["citations"])
    assert len(e["path"]) == 1


def check_individual(d):
    assert list(d) == INDIVIDUAL_KEYS
    assert isinstance(d["xref"], str) and opt(d["sex"], str)
    for n in d["names"]:
        assert list(n) == NAME_KEYS
    for e in d["events"]:
        check_event(e)
    for link in d["childIn"] + d["partnerIn"]:
        assert list(link) == LINK_KEYS
    assert all(link["pedigree"] is None for link in d["partnerIn"])
    for i in d["identifiers"]:
        assert list(i) == IDENTIFIER_KEYS


def check_family(d):
    assert list(d) == FAMILY_KEYS
    assert isinstance(d["xref"], str) and opt(d["husband"], str) and opt(d["wife"], str)
    for e in d["events"]:
        check_event(e)
        assert not e["attribute"]


# ---- exact dictionaries ----

SMALL = [
    "0 HEAD",
    "1 GEDC",
    "2 VERS 5.5.1",
    "0 @I1@ INDI",
    "1 NAME John /Smith/",
    "2 TYPE birth",
    "1 SEX M",
    "1 CONC x",
    "1 BIRT",
    "2 DATE 5 JAN 1882",
    "2 PLAC Here",
    "1 OCCU Baker",
    "1 FAMC @F1@",
    "2 PEDI ADOPTED",
    "1 _UID 123",
    "2 TYPE uuid",
    "0 @F1@ FAM",
    "1 HUSB text",
    "1 HUSB @I9@",
    "1 WIFE @VOID@",
    "1 CHIL @I1@",
    "1 NCHI 1",
    "1 MARR Y",
    "0 TRLR",
]


def test_individual_dictionary_exactly():
    assert gedcom(*SMALL).individuals() == [{
        "xref": "@I1@",
        "names": [{"display": "John Smith", "sort": "Smith, John", "original": "John /Smith/", "kind": "birth",
                   "citations": []}],
        "sex": "Male",
        "events": [
            {"tag": "BIRT", "label": "Birth", "date": "5 JAN 1882", "dateDisplay": "5 January 1882", "year": 1882,
             "sortKey": 18820105, "place": "Here", "age": None, "cause": None, "attribute": False, "value": None,
             "citations": [], "path": [3]},
            {"tag": "OCCU", "label": "Occupation", "date": None, "dateDisplay": None, "year": None,
             "sortKey": None, "place": None, "age": None, "cause": None, "attribute": True, "value": "Baker",
             "citations": [], "path": [4]},
        ],
        "childIn": [{"family": "@F1@", "pedigree": "Adopted"}],
        "partnerIn": [],
        "citations": [],
        "media": [],
        "identifiers": [{"tag": "_UID", "label": "Unique identifier", "value": "123", "kind": "uuid"}],
    }]


def test_family_dictionary_exactly():
    assert gedcom(*SMALL).families() == [{
        "xref": "@F1@", "husband": None, "wife": "@VOID@", "children": ["@I1@"],
        "events": [{"tag": "MARR", "label": "Marriage", "date": None, "dateDisplay": None, "year": None,
                    "sortKey": None, "place": None, "age": None, "cause": None, "attribute": False,
                    "value": None, "citations": [], "path": [5]}],
    }]


def test_record_dictionary_exactly():
    g = gedcom("0 HEAD", "0 @N1@ NOTE first", "1 CONT second", "1 _X @P1@", "2 CONC z", "2 DATE 1900", "0 TRLR")
    assert g.record("@N1@") == {
        "xref": "@N1@", "tag": "NOTE", "label": "Note", "title": "first second",
        "structures": [{
            "path": [1], "level": 1, "tag": "_X", "label": "_X", "kind": "unknown", "value": "@P1@z",
            "pointer": "@P1@", "extension": True,
            "children": [{"path": [1, 1], "level": 2, "tag": "DATE", "label": "Date", "kind": "structure",
                          "value": "1900", "pointer": None, "extension": False, "children": []}],
        }],
        "raw": "0 @N1@ NOTE first\n1 CONT second\n1 _X @P1@\n2 CONC z\n2 DATE 1900\n",
    }


def test_keys_keep_their_order():
    g = gedcom(*SMALL)
    for r in g.records():
        check_record(r)
    for d in g.individuals():
        check_individual(d)
    for d in g.families():
        check_family(d)


# ---- selection of records ----

def test_new_document_views():
    g = pellorine.Gedcom.new_v7()
    records = g.records()
    assert [r["tag"] for r in records] == ["HEAD", "TRLR"]
    assert records[0]["raw"] == "0 HEAD\n1 GEDC\n2 VERS 7.0\n"
    assert g.individuals() == [] and g.families() == []


def test_tags_are_matched_exactly():
    g = gedcom("0 @A@ indi", "1 NAME a", "0 @B@ Fam", "0 @C@ INDI", "0 @D@ FAM", "0 @E@ FAMI")
    assert [r["tag"] for r in g.records()] == ["indi", "Fam", "INDI", "FAM", "FAMI"]
    assert [d["xref"] for d in g.individuals()] == ["@C@"]
    assert [d["xref"] for d in g.families()] == ["@D@"]


@pytest.mark.parametrize("asked", ["@i1@", "@I1@"])
def test_record_ignores_ascii_case_and_takes_the_first(asked):
    g = gedcom("0 @I1@ INDI", "1 NAME First", "0 @i1@ INDI", "1 NAME Second")
    assert g.record(asked)["title"] == "First"
    assert g.record(xref=asked)["title"] == "First"


@pytest.mark.parametrize("asked", ["@i2@", "I1", "HEAD", "", "@I1@ ", "@\u01301@"])
def test_record_missing_raises_key_error_with_the_text_as_passed(asked):
    g = gedcom("0 HEAD", "0 @I1@ INDI", "0 TRLR")
    with pytest.raises(KeyError) as info:
        g.record(asked)
    assert info.value.args == (asked,)


class Text(str):
    pass


def test_record_argument_types():
    g = gedcom("0 @I1@ INDI")
    assert g.record(Text("@I1@"))["xref"] == "@I1@"
    with pytest.raises(TypeError, match="xref"):
        g.record(b"@I1@")
    with pytest.raises(TypeError, match="xref"):
        g.record(None)
    with pytest.raises(TypeError):
        g.record()
    with pytest.raises(TypeError):
        g.record("@I1@", "x")
    with pytest.raises(TypeError):
        g.records(1)


def test_signatures_and_docstrings():
    G = pellorine.Gedcom
    assert G.records.__text_signature__ == "($self)"
    assert G.record.__text_signature__ == "($self, xref)"
    assert G.individuals.__text_signature__ == "($self)"
    assert G.families.__text_signature__ == "($self)"
    assert G.records.__doc__ == "Every record as a view dict, nothing omitted \u2014 unknown tags included."
    assert G.record.__doc__ == "One record's view dict, by cross-reference identifier."
    assert G.individuals.__doc__ == "Every individual, read for display: names, events, families, IDs."
    assert G.families.__doc__ == "Every family record's view."


def test_each_call_builds_new_objects():
    g = gedcom(*SMALL)
    a, b = g.records(), g.records()
    assert a == b and a is not b and a[1] is not b[1]
    a[1]["structures"].clear()
    a.pop()
    assert g.records() == b
    i = g.individuals()
    i[0]["names"][0]["display"] = "changed"
    assert g.individuals()[0]["names"][0]["display"] == "John Smith"


# ---- hostile and odd input ----

def test_control_and_non_bmp_characters_survive():
    controls = "".join(chr(c) for c in range(0x20) if c not in (0x0A, 0x0D)) + "\x7f"
    text = "a" + controls + "\"\\/\U0001F600\U00010000\U0010FFFF\u2028\u2029\ufeff\ufffd\u00e9z"
    g = pellorine.Gedcom.parse(("0 HEAD\n0 @N1@ NOTE " + text + "\n1 _X " + text + "\n"
                                "0 @I1@ INDI\n1 NAME " + text + "\n1 BIRT " + text + "\n2 PLAC " + text
                                + "\n2 DATE " + text + "\n").encode("utf-8"))
    note = g.record("@N1@")
    assert note["title"] == text and note["structures"][0]["value"] == text
    person = g.individuals()[0]
    assert person["names"][0]["original"] == text
    event = person["events"][0]
    assert event["value"] == event["place"] == event["date"] == text
    for d in g.records() + g.individuals():
        assert json.loads(json.dumps(d, separators=(",", ":"), ensure_ascii=False)) == d
    assert "".join(r["raw"] for r in g.records()) == g.to_text()


@pytest.mark.parametrize("lines", [
    ["0 @I1@ INDI", "1 NAME", "1 SEX", "1 BIRT", "1 FAMC", "1 FAMS", "1 SOUR", "1 OBJE", "1 RIN"],
    ["0 @N1@ NOTE", "1 CONT", "1 CONT", "1 CONC"],
    ["0 @I1@ INDI", "1 FAMC @F404@", "1 FAMS @VOID@", "1 SOUR @S404@", "0 @F1@ FAM", "1 CHIL @F1@",
     "1 HUSB @F1@", "1 WIFE @I1@"],
    ["0 @I1@ INDI", "1 FAMS @F1@", "0 @F1@ FAM", "1 HUSB @I1@", "1 CHIL @I1@", "1 WIFE @I1@"],
    ["0 @i1@ indi", "1 name x", "1 birt", "2 date 1900", "1 Sex m", "0 @f1@ fam"],
    ["0 @X@ _CUSTOM", "1 _Y", "2 _Z @X@", "0 _ANON payload"],
    ["0 INDI", "0 FAM", "0 @I1@ INDI @I1@"],
])
def test_odd_records_give_views(lines):
    g = gedcom(*lines)
    records = g.records()
    assert len(records) == sum(1 for l in lines if l.startswith("0 "))
    for r in records:
        check_record(r)
    for d in g.individuals():
        check_individual(d)
    for d in g.families():
        check_family(d)


def test_deep_nesting():
    lines = ["0 @N1@ NOTE"] + [f"{level} _D {level}" for level in range(1, 65)]
    g = gedcom(*lines)
    r = g.records()[0]
    check_record(r)
    s, depth = r["structures"][0], 1
    while s["children"]:
        s, depth = s["children"][0], depth + 1
    assert depth == 64 and s["value"] == "64" and s["path"] == [0] * 64


def test_many_children_under_one_record():
    lines = ["0 @I1@ INDI"] + ["1 FAMC @F1@"] * 50000 + ["1 BIRT"] * 50000
    g = gedcom(*lines)
    (d,) = g.individuals()
    assert len(d["childIn"]) == 50000 and len(d["events"]) == 50000
    assert d["events"][-1]["path"] == [99999]
    (r,) = g.records()
    assert len(r["structures"]) == 100000


def test_long_titles_are_cut_by_characters():
    g = gedcom("0 @N1@ NOTE " + "\u00e9" * 90, "0 @N2@ NOTE " + "\U0001F600" * 91)
    a, b = g.records()
    assert a["title"] == "\u00e9" * 90
    assert b["title"] == "\U0001F600" * 87 + "\u2026"


# ---- every published test file ----

def published_files():
    if not TESTDATA.is_dir():
        return []
    return sorted(p for p in TESTDATA.rglob("*") if p.is_file() and p.suffix.lower() in (".ged", ".txt"))


def level_zero_lines(text):
    count = 0
    for line in text.split("\n"):
        head = line.split(" ", 1)[0]
        if head.lstrip("+").isdigit() and int(head) == 0:
            count += 1
    return count


@pytest.mark.parametrize("path", published_files(), ids=lambda p: str(p.relative_to(TESTDATA)))
def test_views_of_every_published_file(path):
    try:
        g = pellorine.Gedcom.parse(path.read_bytes())
    except ValueError:
        pytest.skip("the file does not parse")
    records = g.records()
    text = g.to_text()
    assert len(records) == level_zero_lines(text)
    assert "".join(r["raw"] for r in records) == text
    for r in records:
        check_record(r)
        if r["xref"] is not None:
            first = next(x for x in records if x["xref"] is not None and x["xref"].upper() == r["xref"].upper())
            assert g.record(r["xref"]) == first
    individuals = g.individuals()
    assert [d["xref"] for d in individuals] == [r["xref"] or "" for r in records if r["tag"] == "INDI"]
    for d in individuals:
        check_individual(d)
    families = g.families()
    assert [d["xref"] for d in families] == [r["xref"] or "" for r in records if r["tag"] == "FAM"]
    for d in families:
        check_family(d)
