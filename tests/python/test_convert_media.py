"""Gedcom.to_version7: media objects and extension declarations as the caller sees them."""

from __future__ import annotations

from pellorine import Gedcom

UNDOCUMENTED = "https://pellorine.invalid/undocumented"
SOURCE = (
    b"0 HEAD\n1 GEDC\n2 VERS 5.5.1\n0 @O1@ OBJE\n1 FORM jpg\n2 TYPE photo\n1 FILE photos/Smith #3.jpg\n"
    b"0 @I1@ INDI\n1 _PRIM Y\n1 OBJE\n2 FORM jpg\n2 FORM png\n2 FILE a.jpg\n2 FILE b.png\n1 _A x\n0 TRLR\n"
)


def test_media_and_declarations():
    source = Gedcom.parse(SOURCE)
    before = source.to_text()
    converted, notes = source.to_version7([("_PRIM", "https://example.com/gedcom/PRIM"), ("_PRIM", "later")])
    assert converted.to_text() == (
        "0 HEAD\n1 GEDC\n2 VERS 7.0\n1 SCHMA\n2 TAG _A " + UNDOCUMENTED + "\n"
        "2 TAG _PRIM https://example.com/gedcom/PRIM\n"
        "0 @O1@ OBJE\n1 FILE photos/Smith%20%233.jpg\n2 FORM image/jpeg\n3 MEDI PHOTO\n"
        "0 @I1@ INDI\n1 _PRIM Y\n1 OBJE\n2 FORM jpg\n2 FORM png\n2 FILE a.jpg\n2 FILE b.png\n1 _A x\n0 TRLR\n"
    )
    assert [tuple(n.values()) for n in notes] == [
        ("@O1@", "OBJE.FORM", "Converted", "version 7 records a file's format on the file, not on the object"),
        ("@O1@", "FILE", "Converted", "\"photos/Smith #3.jpg\" is not a URI reference, which version 7 requires "
         "of a file path; characters a URI cannot hold were percent-encoded"),
        ("@O1@", "FILE.FORM", "Converted", "the file extension \"jpg\" became the media type \"image/jpeg\""),
        ("@O1@", "FORM.MEDI", "Converted", "5.5.1's source medium under FORM is TYPE; version 7 calls it MEDI"),
        ("@O1@", "FORM.MEDI", "Converted", "the source medium \"photo\" became the enumerated value PHOTO"),
        ("@I1@", "OBJE.FORM", "Kept", "this object names more than one format and not which file each belongs "
         "to, so its FORM lines are kept as written"),
        (None, "_A", "Kept", "another application's extension, declared as undocumented rather than dropped"),
        (None, "_PRIM", "Converted", "declared in the header, which version 7 requires of every extension"),
    ]
    assert source.to_text() == before
    again, second = converted.to_version7()
    assert again.to_text() == converted.to_text()
    assert [n["tag"] for n in second] == ["OBJE.FORM"]
