"""The module's contract: import, docstrings and signatures, class properties,
argument errors, and the JSON bridge through the interpreter's json module."""

from __future__ import annotations

import gc
import inspect
import json
import sys
import types
import weakref

import pytest

import pellorine
from pellorine import Gedcom

FILL_ORDER = ["Gedcom", "ArchiveWriter", "ArchiveFileWriter", "archive_total_size", "parse_date", "__version__"]
CLASSES = [name for name in ("Gedcom", "ArchiveWriter", "ArchiveFileWriter") if hasattr(pellorine, name)]
NOT_CONSTRUCTIBLE = [name for name in ("Gedcom", "ArchiveWriter") if hasattr(pellorine, name)]

POINTERS = b"0 HEAD\n1 SUBM @U1@\n0 @I1@ INDI\n1 FAMC @F1@\n1 FAMS @F2@\n0 TRLR\n"


def test_version():
    assert pellorine.__version__ == "0.1.16"


def test_names_are_added_in_the_fill_order_with_the_version_last():
    added = [name for name in vars(pellorine) if name in FILL_ORDER]
    assert added == [name for name in FILL_ORDER if name in added]
    assert added[0] == "Gedcom"
    assert added[-1] == "__version__"


def test_module_docstring():
    doc = pellorine.__doc__
    first, second = doc.split("\n\n")
    assert first == (
        "An archival-grade GEDCOM library: byte-preserving round-trip, encoding\n"
        "detection and reporting, GEDCOM 5.5 through 7.x."
    )
    assert "pellorine" in second


def test_reimport_gives_the_same_module():
    import importlib

    assert importlib.import_module("pellorine") is pellorine


@pytest.mark.parametrize(
    "callable_, signature, doc",
    [
        (
            Gedcom.parse,
            "(data)",
            "Reads a document from a file's bytes: encoding sniffed and reported,\n"
            "then parsed. Raises `ValueError` for input the bounds refuse.",
        ),
        (
            Gedcom.new_v551,
            "(source_system)",
            "An empty GEDCOM 5.5.1 document \u2014 header and trailer \u2014 naming the\n"
            "producing system, which 5.5.1 requires, and declaring UTF-8.",
        ),
        (Gedcom.new_v7, "()", "An empty GEDCOM 7.0 document: header and trailer."),
        (
            Gedcom.unresolved_pointers,
            "($self)",
            "Pointers with no record behind them, addressed precisely enough to\nrepair.",
        ),
        (Gedcom.to_text, "($self)", "The document as text, untouched lines byte for byte."),
        (
            Gedcom.to_bytes,
            "($self)",
            "The document as UTF-8 bytes with a `CHAR` declaration that tells the\n"
            "truth about them \u2014 what should be written to disk.",
        ),
    ],
    ids=lambda v: getattr(v, "__name__", None) if callable(v) else None,
)
def test_docstrings_and_text_signatures(callable_, signature, doc):
    assert callable_.__doc__ == doc
    assert callable_.__text_signature__ == signature


@pytest.mark.parametrize(
    "name, doc",
    [
        ("encoding", "What decoding decided, one line \u2014 show it before accepting an import."),
        ("version", "The GEDCOM version the header declares, as written."),
        ("content_records", "Records other than the header and trailer."),
    ],
)
def test_property_docstrings_and_read_only(name, doc):
    prop = vars(Gedcom)[name]
    assert prop.__doc__ == doc
    g = Gedcom.new_v7()
    with pytest.raises(AttributeError):
        setattr(g, name, "x")


def test_signature_of_instance_methods_is_usable_by_inspect():
    assert str(inspect.signature(Gedcom.to_text)) == "(self, /)"
    assert str(inspect.signature(Gedcom.parse)) == "(data)"


def test_class_docstring():
    assert Gedcom.__doc__ == "A parsed GEDCOM document and the report of how its bytes were read."


@pytest.mark.parametrize("name", CLASSES)
def test_class_shape(name):
    cls = getattr(pellorine, name)
    assert cls.__module__ == "builtins"
    assert cls.__name__ == name
    assert repr(cls) == f"<class 'builtins.{name}'>"
    with pytest.raises(TypeError):
        types.new_class("Derived", (cls,))


@pytest.mark.parametrize("name", NOT_CONSTRUCTIBLE)
def test_classes_without_constructor(name):
    cls = getattr(pellorine, name)
    with pytest.raises(TypeError) as info:
        cls()
    assert str(info.value) == f"cannot create 'builtins.{name}' instances"


def test_class_statement_deriving_from_gedcom_is_refused():
    with pytest.raises(TypeError):

        class Derived(Gedcom):  # noqa: F841
            pass


def test_instances_have_no_dict_nor_weak_references_and_are_collected():
    g = Gedcom.new_v7()
    assert not hasattr(g, "__dict__")
    with pytest.raises(AttributeError):
        g.anything = 1
    with pytest.raises(TypeError):
        weakref.ref(g)
    assert gc.is_tracked(g)


def test_instances_are_released():
    gc.collect()
    before = sys.getrefcount(Gedcom)
    docs = [Gedcom.new_v7() for _ in range(100)]
    assert sys.getrefcount(Gedcom) >= before + 100
    del docs
    gc.collect()
    assert sys.getrefcount(Gedcom) == before


# ---- argument matching and conversion

@pytest.mark.parametrize(
    "call, exception, message",
    [
        (lambda: Gedcom.parse(), TypeError, "parse() missing 1 required positional argument: 'data'"),
        (lambda: Gedcom.parse(b"", b""), TypeError, "parse() takes 1 positional argument but 2 were given"),
        (lambda: Gedcom.parse(b"", data=b""), TypeError, "parse() got multiple values for argument 'data'"),
        (lambda: Gedcom.parse(datum=b""), TypeError, "parse() got an unexpected keyword argument 'datum'"),
        (lambda: Gedcom.parse("0 HEAD"), TypeError, "parse() argument 'data' must be bytes, not str"),
        (lambda: Gedcom.parse(bytearray(b"0 HEAD")), TypeError, "parse() argument 'data' must be bytes, not bytearray"),
        (lambda: Gedcom.parse(memoryview(b"0 HEAD")), TypeError,
         "parse() argument 'data' must be bytes, not memoryview"),
        (lambda: Gedcom.parse(None), TypeError, "parse() argument 'data' must be bytes, not NoneType"),
        (lambda: Gedcom.new_v551(), TypeError, "new_v551() missing 1 required positional argument: 'source_system'"),
        (lambda: Gedcom.new_v551(b"x"), TypeError, "new_v551() argument 'source_system' must be str, not bytes"),
        (lambda: Gedcom.new_v551(7), TypeError, "new_v551() argument 'source_system' must be str, not int"),
        (lambda: Gedcom.new_v7(1), TypeError, None),
        (lambda: Gedcom.new_v7().to_text(1), TypeError, None),
        (lambda: Gedcom.new_v7().unresolved_pointers(x=1), TypeError, None),
    ],
    ids=lambda v: None,
)
def test_argument_errors(call, exception, message):
    with pytest.raises(exception) as info:
        call()
    if message is not None:
        assert str(info.value) == message


@pytest.mark.parametrize(
    "call",
    [
        lambda: Gedcom.parse(data=b"0 HEAD\n"),
        lambda: Gedcom.new_v551(source_system="me"),
        lambda: Gedcom.new_v551(type("S", (str,), {})("a str subclass")),
        lambda: Gedcom.parse(type("B", (bytes,), {})(b"0 HEAD\n")),
    ],
)
def test_arguments_accepted_by_keyword_and_subclass(call):
    assert isinstance(call(), Gedcom)


def test_a_surrogate_in_text_is_refused_without_a_crash():
    with pytest.raises(UnicodeEncodeError):
        Gedcom.new_v551("a\ud800b")


# ---- the JSON bridge

class FakeJson(types.ModuleType):
    def __init__(self, loads):
        super().__init__("json")
        self.loads = loads
        self.dumps = json.dumps


def test_bridge_imports_json_by_name_on_every_call(monkeypatch):
    doc = Gedcom.parse(POINTERS)
    seen = []

    def loads(text):
        seen.append(text)
        return ("loaded", text)

    monkeypatch.setitem(sys.modules, "json", FakeJson(loads))
    result = doc.unresolved_pointers()
    assert seen == [
        '{"record":"HEAD","path":[0],"tag":"SUBM","pointer":"@U1@"}',
        '{"record":"@I1@","path":[0],"tag":"FAMC","pointer":"@F1@"}',
        '{"record":"@I1@","path":[1],"tag":"FAMS","pointer":"@F2@"}',
    ]
    assert result == [("loaded", text) for text in seen]
    assert all(type(text) is str for text in seen)


@pytest.mark.parametrize("error", [ValueError("bad"), KeyError("k"), RuntimeError("boom")])
def test_what_loads_raises_passes_through_unchanged(monkeypatch, error):
    doc = Gedcom.parse(POINTERS)

    def loads(text):
        raise error

    monkeypatch.setitem(sys.modules, "json", FakeJson(loads))
    with pytest.raises(type(error)) as info:
        doc.unresolved_pointers()
    assert info.value is error
    monkeypatch.undo()
    assert len(doc.unresolved_pointers()) == 3


def test_a_failed_json_import_raises_the_interpreters_exception(monkeypatch):
    doc = Gedcom.parse(POINTERS)
    monkeypatch.setitem(sys.modules, "json", None)
    with pytest.raises(ImportError):
        doc.unresolved_pointers()


def test_no_json_call_for_an_empty_result(monkeypatch):
    doc = Gedcom.new_v7()
    monkeypatch.setitem(sys.modules, "json", None)
    assert doc.unresolved_pointers() == []


def test_a_reentrant_reading_call_during_the_bridge_is_allowed(monkeypatch):
    doc = Gedcom.parse(POINTERS)
    texts = []

    def loads(text):
        texts.append(doc.to_text())  # a shared borrow inside a shared borrow
        return json.loads(text)

    monkeypatch.setitem(sys.modules, "json", FakeJson(loads))
    assert len(doc.unresolved_pointers()) == 3
    assert texts == [POINTERS.decode()] * 3
