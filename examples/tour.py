"""A short tour of pellorine: read the sample file, look at what was read,
and write it back."""

from pathlib import Path

import pellorine
from pellorine import Gedcom

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

    text = doc.to_text()
    print("\nthe document written back (first lines):")
    for line in text.splitlines()[:8]:
        print("   ", line)
    show("\nwritten back byte for byte", doc.to_bytes() == data)

    print("\nunresolved pointers:")
    for pointer in doc.unresolved_pointers():
        print("   ", pointer)

    # Views arrive as plain dictionaries where the module offers them.
    if hasattr(doc, "individuals"):
        print("\nindividuals:")
        for person in doc.individuals():
            names = person.get("names") or [{}]
            events = [(e.get("label"), e.get("dateDisplay")) for e in person.get("events", [])]
            print("   ", person.get("xref"), names[0].get("display"), events)

    if hasattr(pellorine, "parse_date"):
        print("\na date read as a GEDCOM DATE payload:")
        print("   ", pellorine.parse_date("BET 1865 AND 1868"))

    # A file in a legacy character set is decoded and reported; to_bytes()
    # writes UTF-8 and says so in the header.
    legacy = Gedcom.parse(b"0 HEAD\n1 CHAR ANSEL\n0 @I1@ INDI\n1 NAME K\xe8ohler\n0 TRLR\n")
    print()
    show("legacy encoding", legacy.encoding)
    show("legacy as UTF-8", legacy.to_bytes())

    empty = Gedcom.new_v7()
    show("\na new 7.0 document", repr(empty))
    print(empty.to_text(), end="")


if __name__ == "__main__":
    main()
