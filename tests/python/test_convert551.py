"""Gedcom.to_version551: the method's contract; every published 7.0 file
converted to 5.5.1; every published 5.5.x file converted to 7.0 and back to 5.5.1."""

from __future__ import annotations

from collections import Counter

import pytest

from pellorine import Gedcom
from conftest import FIXED_SUMMARY, TESTDATA, data_id, fields, gedcom_bytes, need_testdata, version_params, versions
from test_convert import records, structures

V7 = "0 HEAD\n1 GEDC\n2 VERS 7.0\n0 @I1@ INDI\n1 UID u1\n0 TRLR\n"
V551 = "0 HEAD\n1 GEDC\n2 VERS 5.5.1\n2 FORM LINEAGE-LINKED\n1 CHAR UTF-8\n0 @I1@ INDI\n1 _UID u1\n0 TRLR\n"
NOTES = [
    (None, "CHAR", "Converted", "5.5.1 requires a character set, and the file is written as UTF-8"),
    ("@I1@", "UID", "Converted", "5.5.1 has no UID, and every producer writes _UID instead"),
]


def test_converts_into_a_new_document_beside_its_notes():
    source = Gedcom.parse(V7.encode())
    converted, notes = result = source.to_version551()
    assert (type(result), len(result), type(converted), type(notes)) == (tuple, 2, Gedcom, list)
    assert (converted.to_text(), converted.to_bytes()) == (V551, V551.encode())
    assert [tuple(n.values()) for n in notes] == NOTES
    assert all(list(n) == ["record", "tag", "kind", "detail"] for n in notes)
    assert (converted.version, converted.encoding, len(converted)) == ("5.5.1", FIXED_SUMMARY, 1)
    assert (source.to_text(), source.version) == (V7, "7.0")
    # Each call makes a new document.
    again, _ = source.to_version551()
    assert again is not converted and again.to_text() == V551
    with pytest.raises(TypeError):
        source.to_version551(None)


def test_conversion_is_refused_while_an_edit_holds_the_document():
    doc = Gedcom.new_v7()
    seen = []

    class Peeking(dict):
        def items(self):
            try:
                doc.to_version551()
            except RuntimeError as e:
                seen.append(str(e))
            return super().items()

    doc.append_records([Peeking(tag="NOTE")])
    assert seen == ["Already mutably borrowed"]
    assert doc.to_version551()[0].to_text().count("0 NOTE\n") == 1


# ---------------------------------------------------------------- published files

@pytest.mark.parametrize("path", version_params("7"), ids=data_id)
def test_every_7_0_file_converts_to_5_5_1(path):
    """That the result reads back is the fuzz harness's check, and that it is
    stable test_readers'; here, what neither checks."""
    need_testdata()
    source = Gedcom.parse(gedcom_bytes(path))
    converted, _ = source.to_version551()
    text = converted.to_text()
    assert converted.version == "5.5.1"
    changed = Counter(text.split("\n")[:-1]) - Counter(source.to_text().split("\n"))
    assert all(len(line.encode()) <= 253 for line in changed), "a changed line does not fit 255 bytes"


# ---------------------------------------------------------------- the round trip

# The header's GEDCOM declaration changes without a note: the version, and the
# form 5.5.1 requires when the source had none.
SILENT = {(("HEAD", "GEDC", "FORM"), "LINEAGE-LINKED")}


def named(path, tags):
    """Whether a note tag names the structure at `path` or one it stands under:
    its dotted parts appear in the path in order, the last one as a tag on it."""
    for tag in tags:
        parts = tag.split(".")
        for end in range(len(path)):
            if path[end] == parts[-1] and all(p in path[:end] for p in parts[:-1]):
                return True
    return False


def test_the_7_0_and_5_5_x_files_are_there():
    need_testdata()
    found = versions().values()
    v7, v55 = sum(v.startswith("7") for v in found), sum(v.startswith("5.5") for v in found)
    assert v7 >= 25 and v55 >= 100, f"expected the shared test data at {TESTDATA}"


@pytest.mark.parametrize("path", version_params("5.5"), ids=data_id)
def test_round_trip_keeps_every_payload_or_names_the_change(path):
    need_testdata()
    source = Gedcom.parse(path.read_bytes())
    v7, notes7 = source.to_version7()
    # What the fuzz harness does not check: no CONC is left.
    assert "CONC" not in (fields(line)[2] for line in v7.to_text().split("\n")[:-1])
    back, notes551 = v7.to_version551()
    before, after = records(source.to_text()), records(back.to_text())
    # Identifiers 7.0 cannot hold are renamed, noted on their records, and the
    # pointers to them follow: the source is compared under the new names.
    renamed = {old[1].upper(): new[1] for old, new in zip(before, after) if old[1] != new[1]}
    assert [[r[0], renamed.get((r[1] or "").upper(), r[1])] for r in before] == [r[:2] for r in after]
    tags_by_record = {}
    for n in notes7 + notes551:
        tags_by_record.setdefault(n["record"], set()).add(n["tag"])
    for old, new in zip(before, after):
        tags = tags_by_record.get(old[1], set())
        assert old[1] == new[1] or old[0] in tags, f"{old[1]} renamed without a note"
        a = Counter((s, renamed.get(payload.upper(), payload)) for s, payload in structures(old))
        b = Counter(structures(new))
        for structure, payload in (a - b) + (b - a):
            if structure == ("HEAD", "GEDC", "VERS") or (structure, payload) in SILENT:
                continue
            assert named(structure, tags), (".".join(structure), sorted(tags))
