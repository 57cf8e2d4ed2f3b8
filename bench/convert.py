"""Conversion benchmark: Gedcom.to_version7() plus to_text() of the result,
against Gedcom.parse of the same bytes; then to_version551() plus to_text()
(the call alone, without output) on the 7.0 conversion of the large file,
against Gedcom.parse of those bytes.

Three generated 5.5.1 files:
- a large one (100 MB by default) of individuals and families with long notes
  split over CONC lines, dual and foreign-language dates, event roles,
  association relations and media objects;
- 100,000 note records, each pointed to once;
- 100,000 distinct extension tags.

For each it reports the time of Gedcom.parse, the time of to_version7() plus
to_text(), their ratio, the time per line of each, and the peak memory of each
step beyond what the process held before it (VmHWM, each step in its own
subprocess so the peaks stay apart).

A first table times to_version7() and to_version551() (of the 7.0 result),
which build a list of notes, on files of the large file's kind with --sizes
people, with the cyclic collector on and with it turned off by the caller
around the call: µs per person of each and their ratio.

    cmake -S . -B build -G Ninja -DPELLORINE_TESTS=OFF -DPython_EXECUTABLE=$(command -v python3)
    cmake --build build
    PYTHONPATH=build python3 bench/convert.py [--generated-mb 100] [--count 100000] [--repeat 3]
                                                 [--sizes N ...] [--collector-only] [--against DIR]

Without PYTHONPATH the installed pellorine is measured; the first lines say
which module file each measurement imports. With --against, the collector
table also measures the module built in DIR, on a row of its own.

Targets: conversion plus output within 2x the parse time and within 2x its
peak memory on the large file; the note-record and extension files convert in
about the same time per line as the large one; the conversion back toward
5.5.1 within 2x the parse time of the 7.0 bytes it starts from; with the
collector on, each conversion at most 1.2x its time with the collector off
from 120,000 people up, and a time per person that stays flat from 2,000 up.
"""

from __future__ import annotations

import argparse
import json
import random
import tempfile
from pathlib import Path

from gen_gedcom import family, individual
from measure import best_and_peak, collector_paused, compared, repeats, run_worker

SIZES = [2_000, 20_000, 120_000, 200_000]

MB = 1_000_000

HEAD = ["0 HEAD", "1 SOUR pellorine-bench", "1 GEDC", "2 VERS 5.5.1", "2 FORM LINEAGE-LINKED", "1 CHAR UTF-8"]
WORDS = ("the parish register records that the family moved to the town after the harvest failed and "
         "the eldest son took over the farm while his brothers went to sea").split()
FOREIGN = ["12 JANVIER 1850", "um 1790", "vor 1700", "3 MAI 1888", "ca. 1801", "apr\u00e8s 1820", "14 mars 1832"]
ROLES = ["witness", "Godfather", "(friend of the family)", "WITN", "Pastor", "neighbour"]
MEDIA = [("photos/{}.jpg", "jpg", "photo"), ("scans/{} page.tif", "tif", "document"), ("audio/{}.mp3", "mp3", "")]


def long_note(rng: random.Random, level: int) -> list[str]:
    """A note of about 1 KB over one line and CONC lines of 80 bytes or so."""
    text = " ".join(rng.choice(WORDS) for _ in range(170))
    pieces = [text[i:i + 80] for i in range(0, len(text), 80)]
    return [f"{level} NOTE {pieces[0]}"] + [f"{level + 1} CONC {p}" for p in pieces[1:]]


def extras(rng: random.Random, n: int) -> list[str]:
    """What the plain generator lacks: the structures the conversion rewrites."""
    out = []
    r = rng.random()
    if r < 0.2:
        out += long_note(rng, 1)
    if rng.random() < 0.25:
        year = rng.randint(1600, 1750)
        out += ["1 BAPM", f"2 DATE {rng.randint(1, 28)} FEB {year}/{(year + 1) % 100:02d}"]
    if rng.random() < 0.25:
        out += ["1 RESI", f"2 DATE {rng.choice(FOREIGN)}"]
    if rng.random() < 0.15:
        out += ["1 EVEN", "2 TYPE Census", f"2 SOUR @S{rng.randint(1, 50)}@", "3 EVEN CENS", f"4 ROLE {rng.choice(ROLES)}"]
    if rng.random() < 0.1:
        out += [f"1 ASSO @I{max(1, n - 1)}@", f"2 RELA {rng.choice(ROLES)}"]
    if rng.random() < 0.15:
        path, form, medium = rng.choice(MEDIA)
        out += ["1 OBJE", f"2 FILE {path.format(n)}", f"3 FORM {form}"] + ([f"4 TYPE {medium}"] if medium else [])
    if rng.random() < 0.3:
        out.append(f"1 _UID {rng.getrandbits(64):016X}")
    return out


def write_lines(path: Path, blocks) -> tuple[int, int]:
    size = lines = 0
    with open(path, "w", encoding="utf-8", newline="\n") as out:
        for block in blocks:
            text = "\n".join(block) + "\n"
            out.write(text)
            size += len(text.encode("utf-8"))
            lines += len(block)
    return size, lines


def generate_large(path: Path, megabytes: float, seed: int = 1871) -> tuple[int, int]:
    rng = random.Random(seed)
    target = int(megabytes * MB)
    people = max(10, target // 450)
    families = max(3, people // 3)

    def blocks():
        written = 0
        yield HEAD
        yield [line for n in range(1, 51) for line in (f"0 @S{n}@ SOUR", f"1 TITL Parish register {n}")]
        i = f = 0
        while written < target - 64:
            if rng.random() < 0.75:
                i += 1
                block = individual(rng, i, families) + extras(rng, i)
            else:
                f += 1
                block = family(rng, f, people)
            written += sum(len(line.encode("utf-8")) + 1 for line in block)
            yield block
        yield ["0 TRLR"]

    return write_lines(path, blocks())


def generate_people(path: Path, people: int, seed: int = 1871) -> tuple[int, int]:
    """A file of the large file's kind with exactly `people` individuals, one family to three."""
    rng = random.Random(seed)

    def blocks():
        yield HEAD
        yield [line for n in range(1, 51) for line in (f"0 @S{n}@ SOUR", f"1 TITL Parish register {n}")]
        for i in range(1, people + 1):
            yield individual(rng, i, max(3, people // 3)) + extras(rng, i)
            if i % 3 == 0:
                yield family(rng, i // 3, people)
        yield ["0 TRLR"]

    return write_lines(path, blocks())


def generate_notes(path: Path, count: int) -> tuple[int, int]:
    def blocks():
        yield HEAD
        for n in range(1, count + 1):
            yield [f"0 @I{n}@ INDI", f"1 NAME Person /{n}/", f"1 NOTE @N{n}@"]
        for n in range(1, count + 1):
            yield [f"0 @N{n}@ NOTE Note number {n}, pointed to by one individual"]
        yield ["0 TRLR"]

    return write_lines(path, blocks())


def generate_extensions(path: Path, count: int) -> tuple[int, int]:
    def blocks():
        yield HEAD
        for n in range(1, count + 1):
            yield [f"0 @I{n}@ INDI", f"1 NAME Person /{n}/", f"1 _EXT{n} value {n}"]
        yield ["0 TRLR"]

    return write_lines(path, blocks())


# ---------------------------------------------------------------- measuring


def worker(mode: str, path: str, repeat: int) -> dict:
    """Runs one step in this process; the caller runs each step in a fresh one."""
    import pellorine

    data = Path(path).read_bytes()
    if mode == "collector":
        return collector(pellorine.Gedcom.parse(data), repeat)
    if mode == "write7":
        converted, _ = pellorine.Gedcom.parse(data).to_version7()
        out = converted.to_bytes()
        Path(path).with_suffix(".v7.ged").write_bytes(out)
        return {"size": len(out), "lines": out.count(b"\n")}
    if mode == "parse":
        def step():
            return pellorine.Gedcom.parse(data)
    else:
        doc = pellorine.Gedcom.parse(data)
        if mode == "convert551":
            step = doc.to_version551
        else:
            def step():
                converted, notes = doc.to_version7()
                return converted.to_text(), len(notes)
    return {**best_and_peak(step, repeat), "size": len(data)}


def collector(doc, repeat: int) -> dict:
    """Each conversion's notes, and its time with the collector on and turned off by the caller."""
    out = {}
    for name, source in (("to_version7", doc), ("to_version551", doc.to_version7()[0])):
        call = getattr(source, name)
        out[name] = {"notes": len(call()[1]), "on": best_and_peak(call, repeat)["seconds"],
                     "off": best_and_peak(collector_paused(call), repeat)["seconds"]}
    return out


def collector_table(args, tmp: str) -> None:
    if not args.sizes:
        return
    modules = compared(args.against)
    print("conversions with the collector on / turned off by the caller, µs per person")
    for people in args.sizes:
        path = Path(tmp) / f"people_{people}.ged"
        generate_people(path, people)
        for label, module_dir in modules:
            r = run_worker(__file__, "collector", path, repeats(args.repeat, people), module_dir)
            cells = [f"{name} ({m['notes'] / people:.1f} notes/person) on {m['on'] / people * 1e6:6.2f} "
                     f"off {m['off'] / people * 1e6:6.2f} ratio {m['on'] / m['off']:4.2f}" for name, m in r.items()]
            print(f"  {people:7d} people  {label:6s}  " + "   ".join(cells), flush=True)


def run(mode: str, path: Path, repeat: int) -> dict:
    return run_worker(__file__, mode, path, repeat)


def main() -> None:
    ap = argparse.ArgumentParser()
    ap.add_argument("--worker", nargs=2, metavar=("MODE", "PATH"))
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--generated-mb", type=float, default=100.0)
    ap.add_argument("--count", type=int, default=100_000)
    ap.add_argument("--sizes", type=int, nargs="*", default=SIZES, help="people in the collector table's files")
    ap.add_argument("--collector-only", action="store_true", help="only the collector table")
    ap.add_argument("--against", help="a build dir whose pellorine module the collector table measures too")
    args = ap.parse_args()
    if args.worker:
        print(json.dumps(worker(args.worker[0], args.worker[1], args.repeat)))
        return

    with tempfile.TemporaryDirectory() as tmp:
        collector_table(args, tmp)
        if args.collector_only:
            return
        files = []
        for name, make in (("large", lambda p: generate_large(p, args.generated_mb)),
                           ("note records", lambda p: generate_notes(p, args.count)),
                           ("extension tags", lambda p: generate_extensions(p, args.count))):
            path = Path(tmp) / (name.replace(" ", "_") + ".ged")
            size, lines = make(path)
            files.append((name, path, lines))
            print(f"generated {name}: {size / MB:.1f} MB, {lines} lines")

        large = files[0][1]
        v7 = run("write7", large, 1)
        files.append(("7.0 -> 5.5.1", large.with_suffix(".v7.ged"), v7["lines"]))
        print(f"converted large to 7.0: {v7['size'] / MB:.1f} MB, {v7['lines']} lines")
        header = (f"{'file':<15} {'MB':>7} {'parse s':>8} {'conv s':>8} {'ratio':>6} "
                  f"{'parse ns/ln':>11} {'conv ns/ln':>10} {'parse peak MB':>13} {'conv peak MB':>12} {'ratio':>6}")
        print(header)
        print("-" * len(header))
        for name, path, lines in files:
            repeat = args.repeat if path.stat().st_size < 20 * MB else max(1, min(args.repeat, 2))
            parse = run("parse", path, repeat)
            conv = run("convert551" if path.name.endswith(".v7.ged") else "convert", path, repeat)
            print(
                f"{name:<15} {parse['size'] / MB:7.2f} {parse['seconds']:8.3f} {conv['seconds']:8.3f} "
                f"{conv['seconds'] / parse['seconds']:6.2f} {parse['seconds'] / lines * 1e9:11.0f} "
                f"{conv['seconds'] / lines * 1e9:10.0f} {parse['peak_bytes'] / MB:13.1f} "
                f"{conv['peak_bytes'] / MB:12.1f} {conv['peak_bytes'] / max(parse['peak_bytes'], 1):6.2f}"
            )
    print("\ntargets: conversion plus to_text() within 2x the parse time and peak memory on the large file;"
          "\nthe note-record and extension files in about the same time per line;"
          "\nto_version551() on the large file's 7.0 conversion within 2x the parse time of its bytes")


if __name__ == "__main__":
    main()
