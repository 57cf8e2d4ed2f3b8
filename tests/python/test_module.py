"""The module's contract: import, docstrings and signatures, class properties
and argument errors (the JSON bridge: test_bridge)."""

import gc
import inspect
import shutil
import subprocess
import sys
import types
import weakref
from pathlib import Path

import pytest

import pellorine
from pellorine import Gedcom

def test_version_is_the_project_version():
    pyproject = (Path(__file__).resolve().parents[2] / "pyproject.toml").read_text()
    assert f'\nversion = "{pellorine.__version__}"\n' in pyproject


def test_the_module_exports_its_initialisation_function_alone():
    if shutil.which("nm") is None:
        pytest.skip("nm (binutils) is not installed")
    table = subprocess.run(["nm", "-D", "--defined-only", pellorine.__file__], capture_output=True, text=True,
                           check=True)
    extra = [line.split()[-1] for line in table.stdout.splitlines() if not line.endswith(" T PyInit_pellorine")]
    assert table.stdout and not extra, f"{pellorine.__file__} exports {len(extra)} more: " + " ".join(extra)


PUBLIC = [getattr(Gedcom, n) for n in vars(Gedcom) if not n.startswith("_") and callable(getattr(Gedcom, n))] + [
    getattr(pellorine, n) for n in vars(pellorine) if not n.startswith("_") and callable(getattr(pellorine, n))]


@pytest.mark.parametrize("callable_", PUBLIC, ids=lambda c: c.__qualname__)
def test_every_callable_has_a_signature_and_a_docstring(callable_):
    # A malformed text signature would leave inspect and help() without one.
    assert callable_.__doc__ and not callable_.__doc__.startswith(callable_.__name__ + "(")
    inspect.signature(callable_)


@pytest.mark.parametrize("name", ["encoding", "version", "content_records"])
def test_properties_are_documented_and_read_only(name):
    assert vars(Gedcom)[name].__doc__
    with pytest.raises(AttributeError):
        setattr(Gedcom.new_v7(), name, "x")


@pytest.mark.parametrize("name", ["Gedcom", "ArchiveWriter", "ArchiveFileWriter"])
def test_class_shape(name):
    cls = getattr(pellorine, name)
    assert (cls.__module__, cls.__name__, repr(cls)) == ("builtins", name, f"<class 'builtins.{name}'>")
    with pytest.raises(TypeError):
        types.new_class("Derived", (cls,))
    if name != "ArchiveFileWriter":
        with pytest.raises(TypeError) as info:
            cls()
        assert str(info.value) == f"cannot create 'builtins.{name}' instances"


def test_gedcom_instances():
    g = Gedcom.new_v7()
    assert not hasattr(g, "__dict__") and gc.is_tracked(g)
    with pytest.raises(TypeError):
        weakref.ref(g)
    gc.collect()
    before = sys.getrefcount(Gedcom)
    docs = [Gedcom.parse(b"0 HEAD\n0 @I1@ INDI\n") for _ in range(100)]
    assert sys.getrefcount(Gedcom) >= before + 100
    del docs
    gc.collect()
    assert sys.getrefcount(Gedcom) == before


# ---- argument matching and conversion

@pytest.mark.parametrize("call, message", [
    (lambda: Gedcom.parse(), "parse() missing 1 required positional argument: 'data'"),
    (lambda: Gedcom.parse(b"", b""), "parse() takes 1 positional argument but 2 were given"),
    (lambda: Gedcom.parse(b"", data=b""), "parse() got multiple values for argument 'data'"),
    (lambda: Gedcom.parse(datum=b""), "parse() got an unexpected keyword argument 'datum'"),
    (lambda: Gedcom.parse(bytearray()), "parse() argument 'data' must be bytes, not bytearray"),
    (lambda: Gedcom.new_v7().record(b"@I1@"), "record() argument 'xref' must be str, not bytes"),
    (lambda: Gedcom.new_v7().unresolved_pointers(x=1), "Gedcom.unresolved_pointers() takes no keyword arguments"),
], ids=lambda v: None)
def test_argument_errors(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message
