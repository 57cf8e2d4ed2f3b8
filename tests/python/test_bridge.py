"""The JSON bridge: every structured result crosses through json.loads, one
call per element, with the json module looked up by name on every call."""

import contextlib
import gc
import json
import sys
import types

import pytest

import pellorine

SAMPLE = (b"0 HEAD\n1 GEDC\n2 VERS 5.5.1\n1 CHAR UTF-8\n1 SUBM @U1@\n"
          b"0 @I1@ INDI\n1 NAME Ann /Lee/\n1 BIRT\n2 DATE 5 JAN 1882\n1 FAMC @F9@\n0 @I2@ INDI\n1 NAME Bo /Lee/\n"
          b"1 _X y\n1 FAMS @F1@\n0 @F1@ FAM\n1 HUSB @I2@\n1 CHIL @I1@\n1 CHIL @X1@\n0 TRLR\n")


def fake_json(monkeypatch, loads):
    """Puts a module named json with this loads where the bridge looks it up."""
    module = types.ModuleType("json")
    module.loads = loads
    monkeypatch.setitem(sys.modules, "json", module)


def test_texts_and_single_results(monkeypatch):
    g = pellorine.Gedcom.parse(SAMPLE)
    calls = []
    fake_json(monkeypatch, lambda text: calls.append(text) or ("loaded", text))
    g.unresolved_pointers()
    assert calls == [
        '{"record":"HEAD","path":[2],"tag":"SUBM","pointer":"@U1@"}',
        '{"record":"@I1@","path":[2],"tag":"FAMC","pointer":"@F9@"}',
        '{"record":"@F1@","path":[2],"tag":"CHIL","pointer":"@X1@"}',
    ]
    assert g.record("@i1@") == ("loaded", calls[3]) and json.loads(calls[3])["xref"] == "@I1@"
    assert pellorine.parse_date("ABT 1900") == ("loaded", calls[4]) and json.loads(calls[4])["kind"] == "About"
    # What loads raises passes through unchanged; so does a failed import, and an empty list needs neither.
    error = KeyError("k")

    def loads(text):
        raise error

    fake_json(monkeypatch, loads)
    with pytest.raises(KeyError) as info:
        g.unresolved_pointers()
    assert info.value is error
    monkeypatch.setitem(sys.modules, "json", None)
    with pytest.raises(ImportError):
        g.unresolved_pointers()
    assert pellorine.Gedcom.new_v7().individuals() == []
    monkeypatch.undo()
    assert len(g.unresolved_pointers()) == 3  # no failure kept the instance borrowed


@pytest.mark.parametrize("enabled, fails", [(True, False), (False, False), (True, True), (False, True)])
@pytest.mark.parametrize("method, count", [("records", 5), ("individuals", 2), ("families", 1), ("validate", 2),
                                           ("unresolved_pointers", 3), ("to_version7", 2), ("to_version551", 2)])
def test_one_loads_call_per_element_with_the_collector_paused(monkeypatch, method, count, enabled, fails):
    g = pellorine.Gedcom.parse(SAMPLE)
    if method == "to_version551":
        g = g.to_version7()[0]
    calls = []

    def loads(text):
        calls.append((text, gc.isenabled()))
        if fails and len(calls) == count:
            raise ValueError("the last one")
        return ("loaded", text)

    fake_json(monkeypatch, loads)
    (gc.enable if enabled else gc.disable)()
    try:
        with pytest.raises(ValueError) if fails else contextlib.nullcontext():
            result = getattr(g, method)()
        after = gc.isenabled()
    finally:
        gc.enable()
    # The collector's state is restored, also after a failure, and was off during every conversion.
    assert after is enabled and len(calls) == count and not any(on for _, on in calls)
    if not fails:
        assert (result[1] if method.startswith("to_") else result) == [("loaded", text) for text, _ in calls]
