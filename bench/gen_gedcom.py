"""Writes a large, realistic UTF-8 GEDCOM 5.5.1 file for benchmarks.

Individuals with names, sex, birth, death and family links, families with
partners, children and a marriage, now and then a note or a source citation;
lines average about 19 bytes, as real files do.

    python3 bench/gen_gedcom.py OUT.ged [MEGABYTES]
"""

from __future__ import annotations

import random
import sys

GIVEN = ["John", "Mary", "Anna", "Wilhelm", "Margarethe", "José", "Søren", "Élise", "Jan", "Ida",
         "Thomas", "Karin", "Pieter", "Zoë", "Ludwig", "Agnes", "Olav", "Maria", "Hans", "Ruth"]
SURNAMES = ["Smith", "Köhler", "Brandt", "García", "Jensen", "de Vries", "Müller", "Nowak", "Lee",
            "O'Brien", "Larsen", "Rossi", "Dubois", "Andersson", "Weiß", "Novák"]
PLACES = ["Boston, Suffolk, Massachusetts, USA", "Lübeck, Schleswig-Holstein, Germany", "Hamburg, Germany",
          "Oslo, Norway", "Kraków, Małopolskie, Poland", "Lyon, Rhône, France", "Cork, County Cork, Ireland",
          "Århus, Denmark", "Sevilla, Andalucía, Spain", "Bergen, Hordaland, Norway"]
OCCUPATIONS = ["Farmer", "Carpenter and joiner", "Schoolteacher", "Merchant in cloth", "Fisherman",
               "Blacksmith", "Seamstress", "Clerk at the county court"]
MONTHS = ["JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"]


def date(rng: random.Random, year: int) -> str:
    r = rng.random()
    if r < 0.5:
        return f"{rng.randint(1, 28)} {rng.choice(MONTHS)} {year}"
    if r < 0.7:
        return f"ABT {year}"
    if r < 0.8:
        return f"BET {year} AND {year + rng.randint(1, 4)}"
    return str(year)


def individual(rng: random.Random, n: int, families: int) -> list[str]:
    given, surname = rng.choice(GIVEN), rng.choice(SURNAMES)
    born = rng.randint(1650, 1990)
    given = f"{given} {rng.choice(GIVEN)}" if rng.random() < 0.4 else given
    lines = [f"0 @I{n}@ INDI", f"1 NAME {given} /{surname}/"]
    if rng.random() < 0.3:
        lines += [f"2 GIVN {given}", f"2 SURN {surname}"]
    lines += [f"1 SEX {rng.choice('MF')}", "1 BIRT", f"2 DATE {date(rng, born)}", f"2 PLAC {rng.choice(PLACES)}"]
    if rng.random() < 0.6:
        lines += ["1 DEAT", f"2 DATE {date(rng, born + rng.randint(1, 90))}", f"2 PLAC {rng.choice(PLACES)}"]
    if rng.random() < 0.4:
        lines.append(f"1 OCCU {rng.choice(OCCUPATIONS)}")
    if rng.random() < 0.3:
        lines += ["1 CHR", f"2 DATE {date(rng, born)}"]
    if rng.random() < 0.15:
        lines += [f"1 NOTE Lived in {rng.choice(PLACES)} for most of the years recorded here,",
                  "2 CONT and worked as a farmer and carpenter, as the parish books say."]
    if rng.random() < 0.35:
        lines += [f"1 SOUR @S{rng.randint(1, 50)}@", f"2 PAGE Register of baptisms, folio {rng.randint(1, 400)}"]
    lines.append(f"1 FAMC @F{rng.randint(1, families)}@")
    if rng.random() < 0.5:
        lines.append(f"1 FAMS @F{rng.randint(1, families)}@")
    if rng.random() < 0.3:
        lines += ["1 CHAN", f"2 DATE {date(rng, 2020)}"]
    return lines


def family(rng: random.Random, n: int, people: int) -> list[str]:
    lines = [f"0 @F{n}@ FAM", f"1 HUSB @I{rng.randint(1, people)}@", f"1 WIFE @I{rng.randint(1, people)}@"]
    lines += [f"1 CHIL @I{rng.randint(1, people)}@" for _ in range(rng.randint(0, 4))]
    lines += ["1 MARR", f"2 DATE {date(rng, rng.randint(1670, 2000))}", f"2 PLAC {rng.choice(PLACES)}"]
    return lines


def generate(path: str, megabytes: float = 100.0, seed: int = 1871, newline: str = "\n",
             charset: str = "UTF-8") -> tuple[int, int]:
    """Writes the file; returns (bytes, lines). `newline` ends every line; `charset` is
    "UTF-8" or "ANSI" (Windows-1252, characters it lacks written as "?")."""
    codec = {"UTF-8": "utf-8", "ANSI": "cp1252"}[charset]
    rng = random.Random(seed)
    target = int(megabytes * 1_000_000)
    people = max(10, target // 300)
    families = max(3, people // 3)
    head = ["0 HEAD", "1 SOUR pellorine-bench", "1 GEDC", "2 VERS 5.5.1", "2 FORM LINEAGE-LINKED",
            f"1 CHAR {charset}"]
    size = lines = 0
    with open(path, "wb") as out:
        def emit(block: list[str]) -> None:
            nonlocal size, lines
            data = (newline.join(block) + newline).encode(codec, "replace")
            out.write(data)
            size += len(data)
            lines += len(block)

        emit(head)
        emit([line for n in range(1, 51) for line in (f"0 @S{n}@ SOUR", f"1 TITL Parish register {n}")])
        i = f = 0
        while size < target - 64:
            if rng.random() < 0.75:
                i += 1
                emit(individual(rng, i, families))
            else:
                f += 1
                emit(family(rng, f, people))
        emit(["0 TRLR"])
    return size, lines


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    mb = float(sys.argv[2]) if len(sys.argv) > 2 else 100.0
    size, lines = generate(sys.argv[1], mb)
    print(f"wrote {sys.argv[1]}: {size} bytes, {lines} lines, {size / lines:.1f} bytes a line")
