"""A short tour of pellorine: read the sample file, look at what was read,
read some dates, and pack the document into a GEDZIP archive."""

import os
import tempfile
from pathlib import Path

import pellorine
from pellorine import ArchiveFileWriter, ArchiveWriter, Gedcom, archive_total_size, parse_date

HERE = Path(__file__).resolve().parent


def show(title, value):
    print(f"{title}: {value}")


def main():
    data = (HERE / "family.ged").read_bytes()
    doc = Gedcom.parse(data)

    print(f"pellorine {pellorine.__version__}")
    show("repr", repr(doc))
    show("encoding", doc.encoding)
    show("version", doc.version)
    show("records besides header and trailer", doc.content_records)
    show("written back byte for byte", doc.to_bytes() == data)

    print("\nunresolved pointers:")
    for pointer in doc.unresolved_pointers():
        print("   ", pointer)

    print("\nrecords:")
    for record in doc.records():
        print(f"    {record['xref'] or '-':6} {record['label']:12} {record['title']}")

    print("\nindividuals:")
    for person in doc.individuals():
        events = ", ".join(f"{e['label']} {e['dateDisplay'] or '?'}" for e in person["events"])
        print(f"    {person['xref']} {person['names'][0]['display']}: {events}")

    print("\nfamilies:")
    for family in doc.families():
        print(f"    {family['xref']}: {family['husband']} + {family['wife']}, children {family['children']}")

    show("\none record by identifier (any case)", doc.record("@i3@")["title"])

    print("\ndates, read as any DATE payload is read:")
    for text in ["BET 1865 AND 1868", "ABT JULIAN 1700", "12 mars 1871", "INT 1900 (about nineteen hundred)"]:
        reading = parse_date(text)
        print(f"    {text!r:38} -> {reading['kind']:12} {reading['display']!r:28} "
              f"7.0: {reading['gedcom7']!r}")

    # A file in a legacy character set is decoded and reported; to_bytes()
    # writes UTF-8 and says so in the header.
    legacy = Gedcom.parse(b"0 HEAD\n1 CHAR ANSEL\n0 @I1@ INDI\n1 NAME K\xe8ohler\n0 TRLR\n")
    print()
    show("legacy encoding", legacy.encoding)
    show("legacy as UTF-8", legacy.to_bytes())

    # GEDZIP: in memory, or streamed to a file.
    writer = ArchiveWriter.new()
    writer.add("gedcom.ged", doc.to_bytes())
    archive = writer.finish()
    show("\nGEDZIP in memory", f"{len(archive)} bytes, entries total {archive_total_size(archive)} bytes")
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "family.gdz")
        file_writer = ArchiveFileWriter(path)
        file_writer.add_file("gedcom.ged", str(HERE / "family.ged"))
        file_writer.finish()
        show("GEDZIP on disk", f"{os.path.getsize(path)} bytes")

    empty = Gedcom.new_v7()
    show("\na new 7.0 document", repr(empty))
    print(empty.to_text(), end="")


if __name__ == "__main__":
    main()
