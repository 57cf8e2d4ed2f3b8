"""A short tour of pellorine: read the sample file, look at what was read,
ask family questions and check plausibility, read some dates, edit the
document, convert it to 7.0 and back, and pack it into a GEDZIP archive."""

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

    # Family questions are answered from both directions of the links, so a
    # file that states them on one side only still answers.
    print("\nfamily queries on a file that states its links on one side only:")
    one_sided = Gedcom.parse(
        b"0 HEAD\n1 GEDC\n2 VERS 5.5.1\n1 CHAR UTF-8\n"
        b"0 @I1@ INDI\n1 NAME Ada /Lovelace/\n1 BIRT\n2 DATE 10 DEC 1815\n1 FAMS @F1@\n"
        b"0 @I2@ INDI\n1 NAME William /King/\n1 BIRT\n2 DATE 21 FEB 1805\n1 FAMS @F1@\n"
        b"0 @I3@ INDI\n1 NAME Byron /King/\n1 BIRT\n2 DATE 12 MAY 1836\n1 DEAT\n2 DATE 1832\n"
        b"1 SOUR @S1@\n1 FAMC @f1@\n0 TRLR\n")  # no FAM record: FAMC and FAMS are the only links
    show("    parents of @I3@", sorted(one_sided.parents_of("@I3@")))
    show("    children of @i1@", one_sided.children_of("@i1@"))
    show("    partners of @I2@", one_sided.partners_of("@I2@"))
    show("    parents of @I9@", one_sided.parents_of("@I9@"))
    print("\nplausibility findings:")
    for finding in one_sided.validate():
        print(f"    {finding['severity']:<13} {finding['record']:<5} {finding['check']}: {finding['message']}")

    print("\ndates, read as any DATE payload is read:")
    for text in ["BET 1865 AND 1868", "ABT JULIAN 1700", "12 mars 1871", "INT 1900 (about nineteen hundred)"]:
        reading = parse_date(text)
        print(f"    {text!r:38} -> {reading['kind']:12} {reading['display']!r:28} "
              f"7.0: {reading['gedcom7']!r}")

    # Edits, all or none: every line they do not touch still writes back byte for byte.
    doc.append_records([{"tag": "NOTE", "xref": "@N9@", "value": "Added from Python.\nA newline becomes CONT."}])
    show("\nunresolved pointers after adding @N9@", doc.unresolved_pointers())
    doc.set_logical_value("@N9@", [], "A long note. " * 25)  # one line of 325 bytes
    show("fitted within 255 bytes a line", doc.fit_line_limit("@N9@"))
    long_lines = Gedcom.parse(b"0 HEAD\n1 GEDC\n2 VERS 5.5.1\n0 @N1@ NOTE " + b"word " * 60 + b"\n0 TRLR\n")
    show("wrapped", long_lines.wrap_long_lines())
    print(long_lines.to_text(), end="")

    # Conversion to 7.0: a new document beside a note for every structure
    # converted, dropped or kept; the source document is not changed.
    converted, notes = doc.to_version7(owned=[("_PRIM", "https://example.com/gedcom/PRIM")])
    show("\nconverted to 7.0", repr(converted))
    for note in notes:
        print(f"    {note['record'] or '-':6} {note['tag']:10} {note['kind']:9} {note['detail']}")
    back, notes = converted.to_version551()
    show("and back to 5.5.1", f"{back.version}, {len(notes)} notes")
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "family-7.ged")
        with open(path, "wb") as out:
            out.write(converted.to_bytes())
        show("written", f"{os.path.getsize(path)} bytes, version {Gedcom.parse(Path(path).read_bytes()).version}")

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
