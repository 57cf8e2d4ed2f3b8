"""The JSON bridge: every structured result crosses through json.loads, one
call per element, with the json module looked up by name."""

import json

import pytest

import pellorine

REAL_LOADS = json.loads

SAMPLE = (
    b"0 HEAD\n1 GEDC\n2 VERS 5.5.1\n1 CHAR UTF-8\n"
    b"0 @I1@ INDI\n1 NAME Ann /Lee/\n1 BIRT\n2 DATE 5 JAN 1882\n1 FAMC @F9@\n"
    b"0 @I2@ INDI\n1 NAME Bo /Lee/\n1 FAMS @F1@\n"
    b"0 @F1@ FAM\n1 HUSB @I2@\n1 CHIL @I1@\n1 CHIL @X1@\n"
    b"0 TRLR\n"
)


@pytest.fixture
def counted_loads(monkeypatch):
    calls = []

    def loads(text):
        assert type(text) is str
        calls.append(text)
        return REAL_LOADS(text)

    monkeypatch.setattr(json, "loads", loads)
    return calls


@pytest.mark.parametrize("method, count", [
    ("records", 5), ("individuals", 2), ("families", 1), ("unresolved_pointers", 2),
])
def test_one_loads_call_per_element(counted_loads, method, count):
    g = pellorine.Gedcom.parse(SAMPLE)
    result = getattr(g, method)()
    assert len(result) == count
    assert len(counted_loads) == count
    assert [REAL_LOADS(t) for t in counted_loads] == result


def test_single_results_cross_once(counted_loads):
    g = pellorine.Gedcom.parse(SAMPLE)
    assert g.record("@i1@")["xref"] == "@I1@"
    assert pellorine.parse_date("ABT 1900")["kind"] == "About"
    assert len(counted_loads) == 2


def test_empty_list_never_looks_up_json(monkeypatch):
    g = pellorine.Gedcom.parse(b"0 HEAD\n0 TRLR\n")
    monkeypatch.setattr(json, "loads", None)
    assert g.individuals() == []
    assert g.families() == []


def test_replaced_loads_is_used_by_the_next_call(monkeypatch):
    g = pellorine.Gedcom.parse(SAMPLE)
    monkeypatch.setattr(json, "loads", lambda text: text)
    assert g.families() == ['{"xref":"@F1@","husband":"@I2@","wife":null,"children":["@I1@","@X1@"],"events":[]}']
