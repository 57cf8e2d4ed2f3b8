"""Record, individual and family views as Python dictionaries (over the
published files: test_roundtrip)."""

import json

import pellorine


def same(actual, expected):
    """Equal values, and the keys in the same order at every depth."""
    assert json.dumps(actual) == json.dumps(expected)


def gedcom(*lines):
    return pellorine.Gedcom.parse(("\n".join(lines) + "\n").encode("utf-8"))


SMALL = ["0 HEAD", "1 GEDC", "2 VERS 5.5.1",
         "0 @I1@ INDI", "1 NAME John /Smith/", "2 TYPE birth", "2 SOUR @S1@", "1 SEX M", "1 CONC x",
         "1 BIRT", "2 DATE 5 JAN 1882", "2 PLAC Here", "2 AGE 0y", "2 CAUS  ", "2 SOUR @S1@", "1 OCCU Baker",
         "1 FAMC @F1@", "2 PEDI ADOPTED", "1 FAMS @F1@", "1 SOUR @S1@", "1 OBJE @O1@", "1 _UID 123", "2 TYPE uuid",
         "1 _FSFTID K", "2 TYPE x",
         "0 @F1@ FAM", "1 HUSB text", "1 HUSB @I9@", "1 WIFE @VOID@", "1 CHIL @I1@", "1 NCHI 1", "1 MARR Y",
         "0 INDI", "0 TRLR"]
NO_DATE = {"date": None, "dateDisplay": None, "year": None, "sortKey": None}
NO_EXTRAS = {"place": None, "age": None, "cause": None}


def test_individual_and_family_dictionaries_exactly():
    g = gedcom(*SMALL)
    same(g.individuals(), [{
        "xref": "@I1@", "names": [{"display": "John Smith", "sort": "Smith, John", "original": "John /Smith/",
                                   "kind": "birth", "citations": ["@S1@"]}],
        "sex": "Male", "events": [
            {"tag": "BIRT", "label": "Birth", "date": "5 JAN 1882", "dateDisplay": "5 January 1882",
             "year": 1882, "sortKey": 18820105, "place": "Here", "age": "0y", "cause": None, "attribute": False,
             "value": None, "citations": ["@S1@"], "path": [3]},
            {"tag": "OCCU", "label": "Occupation", **NO_DATE, **NO_EXTRAS, "attribute": True, "value": "Baker",
             "citations": [], "path": [4]}],
        "childIn": [{"family": "@F1@", "pedigree": "Adopted"}], "partnerIn": [{"family": "@F1@", "pedigree": None}],
        "citations": ["@S1@"], "media": ["@O1@"],
        "identifiers": [{"tag": "_UID", "label": "Unique identifier", "value": "123", "kind": "uuid"},
                        {"tag": "_FSFTID", "label": "_FSFTID", "value": "K", "kind": None}],
    }, {"xref": "", "names": [], "sex": None, "events": [], "childIn": [], "partnerIn": [], "citations": [],
        "media": [], "identifiers": []}])
    same(g.families(), [{
        "xref": "@F1@", "husband": None, "wife": "@VOID@", "children": ["@I1@"],
        "events": [{"tag": "MARR", "label": "Marriage", **NO_DATE, **NO_EXTRAS, "attribute": False, "value": None,
                    "citations": [], "path": [5]}]}])


def test_record_dictionary_exactly():
    g = gedcom("0 HEAD", "0 @N1@ NOTE first", "1 CONT second", "1 _X @P1@", "2 CONC z", "2 DATE 1900", "0 TRLR")
    same(g.record("@N1@"), {
        "xref": "@N1@", "tag": "NOTE", "label": "Note", "title": "first second", "structures": [{
            "path": [1], "level": 1, "tag": "_X", "label": "_X", "kind": "unknown", "value": "@P1@z",
            "pointer": "@P1@", "extension": True,
            "children": [{"path": [1, 1], "level": 2, "tag": "DATE", "label": "Date", "kind": "structure",
                          "value": "1900", "pointer": None, "extension": False, "children": []}]}],
        "raw": "0 @N1@ NOTE first\n1 CONT second\n1 _X @P1@\n2 CONC z\n2 DATE 1900\n"})
    same(g.records()[0], {"xref": None, "tag": "HEAD", "label": "Header", "title": "Header", "structures": [],
                          "raw": "0 HEAD\n"})


def test_selection_by_exact_tag():
    g = pellorine.Gedcom.new_v7()
    assert [r["tag"] for r in g.records()] == ["HEAD", "TRLR"] and g.individuals() == g.families() == []
    g = gedcom("0 @A@ indi", "1 NAME a", "0 @B@ Fam", "0 @C@ INDI", "0 @D@ FAM", "0 @E@ FAMI")
    assert [r["tag"] for r in g.records()] == ["indi", "Fam", "INDI", "FAM", "FAMI"]
    assert ([d["xref"] for d in g.individuals()], [d["xref"] for d in g.families()]) == (["@C@"], ["@D@"])


def test_each_call_builds_new_objects():
    g = gedcom(*SMALL)
    a, b = g.records(), g.records()
    a[1]["structures"].clear()
    assert a is not b and g.records() == b != a


def test_control_and_non_bmp_characters_survive():
    text = ("a" + "".join(chr(c) for c in range(0x20) if c not in (0x0A, 0x0D)) + "\x7f\"\\/"
            + "\U0001F600\U00010000\U0010FFFF\u2028\u2029\ufeff\ufffdz")
    g = gedcom("0 HEAD", "0 @N1@ NOTE " + text, "1 _X " + text, "0 @I1@ INDI", "1 NAME " + text,
               "1 BIRT " + text, "2 PLAC " + text, "2 DATE " + text)
    records, (person,) = g.records(), g.individuals()
    assert records[1]["title"] == records[1]["structures"][0]["value"] == person["names"][0]["original"] == text
    event = person["events"][0]
    assert event["value"] == event["place"] == event["date"] == text
    assert "".join(r["raw"] for r in records) == g.to_text()


def test_deep_nesting_and_many_children():
    s = gedcom("0 @N1@ NOTE", *(f"{level} _D {level}" for level in range(1, 65))).records()[0]["structures"][0]
    while s["children"]:
        s = s["children"][0]
    assert s["level"] == 64 and s["value"] == "64" and s["path"] == [0] * 64
    # Paths past 65535: an index is not held in the 16 bits a level fits in.
    g = gedcom("0 @I1@ INDI", *["1 FAMC @F1@"] * 50000, *["1 BIRT"] * 50000)
    (r,), (d,) = g.records(), g.individuals()
    assert len(r["structures"]) == 100000 and len(d["childIn"]) == len(d["events"]) == 50000
    assert d["events"][-1]["path"] == [99999]
