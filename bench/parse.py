"""Parsing benchmark: Gedcom.parse, to_text() and record lookups.

For the largest shared test files that parse, and for three generated files of
the same size (100 MB by default: UTF-8 with line feeds, the same with carriage
return + line feed, and Windows-1252), it reports the time and MB/s of
Gedcom.parse and of to_text(), the ratio of the parse time to the baseline
`data.decode("utf-8").split("\\n")` measured in the same run, and the peak
memory of each step beyond the input itself (VmHWM, each step in its own
subprocess so that the peaks stay apart). A second table times record(xref) on a
generated UTF-8 file of about 100,000 records: the first and the last
identifier, a sample of records each looked up on its own, and every record
looked up once in turn, per lookup; the ratio compares the last two.

    PYTHONPATH=build python3 bench/parse.py [--generated-mb 100] [--files 3] [--repeat 3]
                                               [--before DIR]

With --before, every step also runs against the module built in DIR (for
example a build of the previous commit), and its figures print on a row of
their own under each file's.

Targets: parse within 3x the baseline's time; parse peak memory at most 2.5x
the input for UTF-8 with line feeds, 3.5x for the other two generated files;
looking up every record costs about as much per lookup as one lookup.
"""

from __future__ import annotations

import argparse
import json
import sys
import tempfile
import time
from pathlib import Path

from measure import best_and_peak, run_worker

HERE = Path(__file__).resolve().parent
REPO = HERE.parent
TESTDATA = REPO.parent / "shared" / "testdata"
MB = 1_000_000


def worker(mode: str, path: str, repeat: int) -> dict:
    """Runs one step in this process; the caller runs each step in a fresh one."""
    data = Path(path).read_bytes()
    if mode == "lookup":
        return lookups(data, repeat)
    if mode == "to_text":
        import pellorine

        doc = pellorine.Gedcom.parse(data)
        step = doc.to_text
    elif mode == "parse":
        import pellorine

        def step():
            return pellorine.Gedcom.parse(data)
    else:

        def step():
            return data.decode("utf-8", "replace").split("\n")

    return {**best_and_peak(step, repeat), "size": len(data)}


def lookups(data: bytes, repeat: int) -> dict:
    """Seconds per record(xref) for the first identifier, the last, and all of them in turn."""
    import pellorine

    doc = pellorine.Gedcom.parse(data)
    xrefs = [line.split(b" ", 2)[1].decode() for line in data.split(b"\n") if line.startswith(b"0 @")]

    def per_call(ids: list[str]) -> float:
        best = float("inf")
        for _ in range(repeat):
            start = time.perf_counter()
            for x in ids:
                doc.record(x)
            best = min(best, (time.perf_counter() - start) / len(ids))
        return best

    first, last = per_call(xrefs[:1] * 20), per_call(xrefs[-1:] * 20)
    # The records differ in size (the first is a short source), so the fair
    # comparison for "all" is the same records each looked up on its own.
    sample = xrefs[:: max(1, len(xrefs) // 500)]
    alone = sum(per_call([x] * 5) for x in sample) / len(sample)
    repeat = 1  # every record once is long enough, and quadratic without an index
    return {"first": first, "last": last, "alone": alone, "all": per_call(xrefs), "count": len(xrefs)}


def run(mode: str, path: Path, repeat: int, module_dir: str | None = None) -> dict:
    return run_worker(__file__, mode, path, repeat, module_dir)


def largest_parsing_files(count: int) -> list[Path]:
    import pellorine

    files = sorted((p for p in TESTDATA.rglob("*.ged") if p.is_file()), key=lambda p: p.stat().st_size, reverse=True)
    chosen = []
    for p in files:
        try:
            pellorine.Gedcom.parse(p.read_bytes())
        except ValueError:
            continue
        chosen.append(p)
        if len(chosen) == count:
            break
    return chosen


def parse_row(name: str, path: Path, repeat: int, module_dir: str | None) -> str:
    base = run("baseline", path, repeat, module_dir)
    parse = run("parse", path, repeat, module_dir)
    text = run("to_text", path, repeat, module_dir)
    size = parse["size"]
    return (
        f"{name[-34:]:<34} {size / MB:7.2f} {parse['seconds']:8.3f} {size / MB / parse['seconds']:7.1f} "
        f"{base['seconds']:8.3f} {parse['seconds'] / base['seconds']:6.2f} "
        f"{parse['peak_bytes'] / size:8.2f} {text['seconds']:9.3f} {size / MB / text['seconds']:7.1f} "
        f"{text['peak_bytes'] / size:12.2f}"
    )


def lookup_row(name: str, path: Path, repeat: int, module_dir: str | None) -> str:
    r = run("lookup", path, repeat, module_dir)
    us = 1e6
    return (f"{name:<34} {r['count']:>8} {r['first'] * us:10.2f} {r['last'] * us:10.2f} {r['alone'] * us:10.2f} "
            f"{r['all'] * us:10.2f} {r['all'] / r['alone']:6.2f} {r['all'] * r['count']:9.3f}")


def main() -> None:
    ap = argparse.ArgumentParser()
    ap.add_argument("--worker", nargs=2, metavar=("MODE", "PATH"))
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--files", type=int, default=3)
    ap.add_argument("--generated-mb", type=float, default=100.0)
    ap.add_argument("--lookup-mb", type=float, default=20.6, help="size of the lookup file (about 100,000 records)")
    ap.add_argument("--before", metavar="DIR", help="also measure the module built in DIR")
    args = ap.parse_args()
    if args.worker:
        print(json.dumps(worker(args.worker[0], args.worker[1], args.repeat)))
        return

    sys.path.insert(0, str(HERE))
    from gen_gedcom import generate

    targets = [(str(p.relative_to(TESTDATA)), p) for p in largest_parsing_files(args.files)] if TESTDATA.is_dir() else []
    tmpdir = tempfile.TemporaryDirectory()
    variants = [("generated UTF-8 LF", "\n", "UTF-8"), ("generated UTF-8 CRLF", "\r\n", "UTF-8"),
                ("generated Windows-1252 LF", "\n", "ANSI")]
    for name, newline, charset in variants:
        path = Path(tmpdir.name) / (name.replace(" ", "_") + ".ged")
        size, lines = generate(str(path), args.generated_mb, newline=newline, charset=charset)
        print(f"{name}: {size / MB:.1f} MB, {lines} lines, {size / lines:.1f} bytes a line")
        targets.append((name, path))
    lookup_file = Path(tmpdir.name) / "lookups.ged"
    generate(str(lookup_file), args.lookup_mb)
    modules = [("", None)] + ([(" (before)", args.before)] if args.before else [])

    header = (f"{'file':<34} {'MB':>7} {'parse s':>8} {'MB/s':>7} {'base s':>8} {'ratio':>6} "
              f"{'peak/in':>8} {'to_text s':>9} {'MB/s':>7} {'text peak/in':>12}")
    print(header)
    print("-" * len(header))
    try:
        for name, path in targets:
            repeat = args.repeat if path.stat().st_size < 20 * MB else max(1, min(args.repeat, 2))
            for suffix, module_dir in modules:
                print(parse_row(name + suffix, path, repeat, module_dir), flush=True)

        header = (f"\n{'record(xref), µs a call':<34} {'records':>8} {'first':>10} {'last':>10} {'each alone':>10} "
                  f"{'each of all':>10} {'ratio':>6} {'all s':>9}")
        print(header)
        print("-" * (len(header) - 1))
        for suffix, module_dir in modules:
            print(lookup_row(f"generated {args.lookup_mb:g} MB" + suffix, lookup_file, args.repeat, module_dir),
                  flush=True)
    finally:
        tmpdir.cleanup()
    print("\ntargets: parse ratio to the baseline <= 3; parse peak memory <= 2.5x the input (UTF-8, line feeds),"
          " <= 3.5x (CRLF, Windows-1252); a lookup among all costs about one lookup")


if __name__ == "__main__":
    main()
