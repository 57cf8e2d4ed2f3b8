"""Readers we did not write, on what the conversions write: the strict GEDCOM 7
reader `gedcom7` loads the 7.0 conversion of every published 5.5.x file,
`python-gedcom` in strict mode reads the 5.5.1 conversion of every published
7.x file, whose changed lines fit 5.5.1's line limit, and converting any
published file's conversion again changes nothing.
"""

from __future__ import annotations

import io
from collections import Counter

import gedcom7
import pytest
from gedcom.parser import Parser

from pellorine import Gedcom
from conftest import data_id, data_params, gedcom_bytes, need_testdata, version_params

# Sources whose 7.0 conversion no reader of 7.0 can load, by no fault of the conversion.
SKIPPED = {
    "charsets/gedcom4j/willis-ansel.ged": "its own text holds U+0014, a control character version 7 forbids",
    "charsets/mdf/utf8_specified_malformed.ged": "its own text holds U+0000, a control character version 7 forbids",
    "realworld/gedcom4j/5.5.1_sample_1.ged": "its own text holds U+000B, a control character version 7 forbids",
    "charsets/mdf/ansel_specified_malformed_atend.ged": "the file is malformed: it has no trailer",
    "charsets/mdf/ansel_specified_malformed_stacked.ged": "the file is malformed: it has no trailer",
    "charsets/mdf/utf8_bom_malformed.ged": "the file is malformed: it has no trailer",
}

# gedcom7's findings about structures the conversion leaves as written, by
# design, are warnings: 5.5 structures where 7.0 defines none, payloads 7.0
# reads otherwise, records without identifiers. Any other finding is an error,
# and so is one of those about a structure the conversion writes itself (by
# the tags ending its path).
WARNINGS = {"unknown-substructure", "misplaced-payload", "malformed-payload", "document-shape"}
WRITTEN = {
    "unknown-substructure": [["PHRASE"], ["SCHMA"], ["SCHMA", "TAG"], ["FORM", "MEDI"]],
    "malformed-payload": [["DATE"], ["ROLE"], ["PHRASE"], ["SCHMA", "TAG"], ["FILE", "FORM", "MEDI"]],
}


def is_error(finding) -> bool:
    tags = finding.path.split(" > ")
    return finding.category not in WARNINGS or any(tags[-len(s):] == s for s in WRITTEN.get(finding.category, []))


@pytest.mark.parametrize("path", version_params("5.5"), ids=data_id)
def test_gedcom7_loads_the_7_0_conversion(path):
    need_testdata()
    if data_id(path) in SKIPPED:
        pytest.skip(SKIPPED[data_id(path)])
    source = Gedcom.parse(gedcom_bytes(path))
    records = gedcom7.loads(source.to_version7()[0].to_bytes().decode())
    findings = gedcom7.validate(records)
    # A pointer to no record is the source's own, unless there are more of them.
    dangling = [f for f in findings if f.category == "dangling-pointer"]
    errors = [f for f in findings if is_error(f) and f.category != "dangling-pointer"]
    if len(dangling) > len(source.unresolved_pointers()):
        errors += dangling
    assert [f"{f.category} at {f.path}: {f.message}" for f in errors] == []


@pytest.mark.parametrize("path", version_params("7"), ids=data_id)
def test_python_gedcom_reads_the_5_5_1_conversion(path):
    need_testdata()
    source = Gedcom.parse(gedcom_bytes(path))
    data = source.to_version551()[0].to_bytes()
    parser = Parser()
    parser.parse(io.BytesIO(data), strict=True)
    assert len(parser.get_root_child_elements()) == data.count(b"\n0 ") + 1
    # The reader takes longer lines too: every line the conversion changed must fit 5.5.1's 255 bytes.
    changed = Counter(data.decode().split("\n")[:-1]) - Counter(source.to_text().split("\n"))
    assert [line for line in changed if len(line.encode()) > 253] == []


@pytest.mark.parametrize("direction", ["to_version7", "to_version551"])
@pytest.mark.parametrize("path", data_params((".ged", ".gdz")), ids=data_id)
def test_converting_the_result_again_changes_nothing(path, direction):
    need_testdata()
    try:
        once, _ = getattr(Gedcom.parse(gedcom_bytes(path)), direction)()
    except ValueError:
        return  # a file the module refuses, counted in test_roundtrip
    again, notes = getattr(once, direction)()
    assert again.to_bytes() == once.to_bytes()
    assert [n for n in notes if n["kind"] != "Kept"] == []
