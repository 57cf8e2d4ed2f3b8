"""Family queries, plausibility findings, the cached family graph and borrows."""

from __future__ import annotations

import sys
import types

import pytest

from pellorine import Gedcom


def gedcom(*lines: str) -> Gedcom:
    return Gedcom.parse(("\n".join(["0 HEAD", *lines, "0 TRLR"]) + "\n").encode())


ONE_SIDED = gedcom(
    "0 @H@ INDI", "1 FAMS @F1@", "0 @W@ INDI", "1 FAMS @f1@",
    "0 @C1@ INDI", "1 FAMC @F1@", "0 @c2@ INDI", "1 FAMC @F1@")
FAMILY_SIDE = gedcom("0 @F1@ FAM", "1 WIFE @W@", "1 HUSB @H@", "1 CHIL @C1@", "1 CHIL @c2@")


@pytest.mark.parametrize("g", [ONE_SIDED, FAMILY_SIDE], ids=["individuals-only", "families-only"])
@pytest.mark.parametrize("method, xref, expected", [
    ("parents_of", "@C1@", ["@H@", "@W@"]),
    ("children_of", "@w@", ["@C1@", "@c2@"]),
    ("partners_of", "@H@", ["@W@"]),
    ("parents_of", "@nobody@", []),     # no KeyError from the family queries
])
def test_queries_answer_from_either_side(g, method, xref, expected):
    assert getattr(g, method)(xref) == expected
    assert getattr(g, method)(xref=xref) == expected


@pytest.mark.parametrize("method", ["parents_of", "children_of", "partners_of"])
@pytest.mark.parametrize("args, kwargs", [((b"@I1@",), {}), ((), {}), (("@I1@", "@I2@"), {}),
                                          ((), {"person": "@I1@"})])
def test_query_argument_errors(method, args, kwargs):
    with pytest.raises(TypeError, match="xref|argument"):
        getattr(gedcom(), method)(*args, **kwargs)


def test_validate_findings_as_dictionaries():
    g = gedcom("0 @I1@ INDI", "1 BIRT", "2 DATE 1900", "1 DEAT", "2 DATE 1890", "1 SOUR @S1@",
               "0 INDI", "1 NAME Nobody", "0 FAM")
    assert g.validate() == [
        {"record": "@I1@", "check": "died-before-born", "severity": "Contradiction",
         "message": "born 1900 and died 1890"},
        {"record": "INDI", "check": "no-source", "severity": "Missing",
         "message": "nothing on this record cites a source"},
        {"record": "FAM", "check": "empty-family", "severity": "Question",
         "message": "this family records nobody at all"},
    ]
    assert all(list(f) == ["record", "check", "severity", "message"] for f in g.validate())
    assert g.validate() is not g.validate()
    with pytest.raises(TypeError):
        g.validate(1)
    assert Gedcom.new_v7().validate() == Gedcom.new_v551("x").validate() == []


def test_answers_are_the_callers():
    g = gedcom("0 @F1@ FAM", "1 HUSB @H@", "1 CHIL @C@", "0 @C@ INDI", "1 FAMC @F2@", "0 @F2@ FAM", "1 WIFE @W@")
    g.parents_of("@C@").append("@Z@")
    assert (g.parents_of("@C@"), g.children_of("@H@"), g.partners_of("@H@")) == (["@H@", "@W@"], ["@C@"], [])


class ReenteringJson(types.ModuleType):
    """A stand-in for the json module, installed until monkeypatch.undo(),
    whose `loads` (or `dumps`) first calls back into an instance and notes
    how that call ended."""

    def __init__(self, monkeypatch, call, hooked="loads"):
        super().__init__("json")
        self.real, self.call, self.hooked, self.seen = sys.modules["json"], call, hooked, []
        self.dumps, self.loads = self.real.dumps, self.real.loads
        setattr(self, hooked, self.reenter)
        monkeypatch.setitem(sys.modules, "json", self)

    def reenter(self, arg):
        try:
            self.call()
            self.seen.append(None)
        except RuntimeError as e:
            self.seen.append(str(e))
        return getattr(self.real, self.hooked)(arg)


@pytest.mark.parametrize("reading", ["records", "individuals", "validate"])
def test_family_queries_need_the_instance_to_themselves(monkeypatch, reading):
    g = gedcom("0 @I1@ INDI", "1 FAMC @F1@")
    fake = ReenteringJson(monkeypatch, lambda: g.parents_of("@I1@"))
    getattr(g, reading)()
    monkeypatch.undo()
    assert fake.seen and set(fake.seen) == {"Already borrowed"}
    assert g.parents_of("@I1@") == []  # the refused query left nothing behind


def test_validate_shares_the_instance_with_other_readers(monkeypatch):
    g = gedcom("0 @I1@ INDI")
    fake = ReenteringJson(monkeypatch, lambda: g.record("@I1@"))
    findings = g.validate()
    monkeypatch.undo()
    assert [f["check"] for f in findings] == ["no-source"]
    assert fake.seen and not any("borrowed" in (s or "") for s in fake.seen)  # the record call was let in


def v551(*lines: str) -> Gedcom:
    return gedcom("1 GEDC", "2 VERS 5.5.1", *lines)


# HUSB payloads that are no pointers until a 32-byte limit cuts them right
# after their second at-sign (wrapping fills a line one byte further than fitting).
UNWRAPPED_HUSB, UNFITTED_HUSB = "@" + "x" * 22 + "@yyyyyyyy", "@" + "x" * 21 + "@yyyyyyyy"
WRAPPED_HUSB, FITTED_HUSB = "@" + "x" * 22 + "@", "@" + "x" * 21 + "@"


def test_every_changing_edit_drops_the_graph():
    g = v551("0 @I1@ INDI", "1 NAME A")
    assert g.parents_of("@I1@") == []
    g.append_records([{"tag": "FAM", "xref": "@F1@", "children": [{"tag": "HUSB", "value": "@H@"},
                                                                   {"tag": "CHIL", "value": "@I1@"}]}])
    assert g.parents_of("@I1@") == ["@H@"]
    g.append_structures("@F1@", [], [{"tag": "WIFE", "value": "@W@"}])
    assert g.parents_of("@i1@") == ["@H@", "@W@"]
    g.set_logical_value("@F1@", [0], "@K@")
    assert g.parents_of("@I1@") == ["@K@", "@W@"]
    assert g.children_of("@H@") == []
    # Wrapping and fitting rewrite a payload that the graph reads.
    g.set_logical_value("@F1@", [0], UNFITTED_HUSB)
    assert g.parents_of("@I1@") == ["@W@"]
    assert g.fit_line_limit("@F1@", 32) is True
    assert g.parents_of("@I1@") == [FITTED_HUSB, "@W@"]
    h = v551("0 @F1@ FAM", "1 HUSB " + UNWRAPPED_HUSB, "1 CHIL @C@")
    assert h.parents_of("@C@") == []
    assert h.wrap_long_lines(32) == [{"record": "@F1@", "path": [0], "tag": "HUSB"}]
    assert h.parents_of("@C@") == [WRAPPED_HUSB]


@pytest.mark.parametrize("call, refusal", [
    (lambda g: g.validate(), "Already mutably borrowed"),
    (lambda g: g.parents_of("@C@"), "Already borrowed"),
])
def test_calls_during_an_edit_are_refused(monkeypatch, call, refusal):
    g = gedcom("0 @F1@ FAM", "1 HUSB @H@", "1 CHIL @C@")
    fake = ReenteringJson(monkeypatch, lambda: call(g), "dumps")
    g.append_records([])
    monkeypatch.undo()
    assert fake.seen == [refusal]
