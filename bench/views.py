"""Time of Gedcom.individuals(), families() and records() against json.loads.

For each method the baseline, measured in the same run, is json.loads of the
same dictionaries serialised compactly, one call per element: the part of the
work that crosses into Python and that no implementation can avoid. The
target is each method at most twice its baseline. The C++ side (views, JSON
writing, the bridge around json.loads) is timed as the same call with
json.loads replaced by a function that returns None; its share of the
method's time is shown too, with the target of at most 10%.

A second table times individuals() on generated files of --sizes people,
each in a fresh process, with the cyclic collector on and with it turned off
by the caller around the call: the µs per person of each and their ratio. The
target is at most 1.2x from 120,000 people up, and a time per person that
stays flat from 2,000 people up.

Usage:
    cmake -S . -B build -G Ninja -DPELLORINE_TESTS=OFF -DPython_EXECUTABLE=$(command -v python3)
    cmake --build build
    PYTHONPATH=build python3 bench/views.py [--repeat N] [--people N] [--sizes N ...]
                                               [--collector-only] [--against DIR] [FILE ...]
Without PYTHONPATH the installed pellorine is measured; the first lines say
which module file each measurement imports. Without files it uses the largest
published files that parse and a generated file of --people individuals
(200,000 by default). With --against, the same measurements run first with
the pellorine module built in DIR (an older build, say), and each line shows
both.
"""

import argparse
import json
import random
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import pellorine
from measure import collector_paused, compared, repeats, run_worker, worker_env

SIZES = [2_000, 20_000, 120_000, 200_000]

TESTDATA = Path(__file__).resolve().parents[1] / ".." / "shared" / "testdata"
MONTHS = ["JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"]
GIVEN = ["John", "Mary", "William", "Elizabeth", "Thomas", "Anne", "James", "Sarah", "Jos\u00e9", "Zo\u00eb"]
SURNAMES = ["Smith", "Jones", "Brown", "Taylor", "Wilson", "Davies", "Evans", "M\u00fcller", "Dubois", "Nakamura"]
PLACES = ["London, England", "Paris, France", "Berlin, Germany", "Boston, Massachusetts, USA", "Oslo, Norway"]


def generate(people, seed=1):
    """A 5.5.1 file of `people` individuals in families of two partners and two children."""
    rnd = random.Random(seed)
    out = ["0 HEAD", "1 SOUR bench", "1 GEDC", "2 VERS 5.5.1", "2 FORM LINEAGE-LINKED", "1 CHAR UTF-8"]
    families = people // 4
    for i in range(1, people + 1):
        given, surname = rnd.choice(GIVEN), rnd.choice(SURNAMES)
        born = rnd.randint(1600, 1950)
        out += [f"0 @I{i}@ INDI", f"1 NAME {given} /{surname}/", f"2 GIVN {given}", f"2 SURN {surname}",
                f"1 SEX {'MF'[i % 2]}", "1 BIRT",
                f"2 DATE {rnd.choice(['', 'ABT ', 'BEF '])}{rnd.randint(1, 28)} {rnd.choice(MONTHS)} {born}",
                f"2 PLAC {rnd.choice(PLACES)}", "2 SOUR @S1@"]
        if rnd.random() < 0.6:
            out += ["1 DEAT", f"2 DATE {born + rnd.randint(1, 90)}", f"2 PLAC {rnd.choice(PLACES)}"]
        if rnd.random() < 0.3:
            out += ["1 OCCU Farmer", f"2 DATE BET {born + 20} AND {born + 40}"]
        fam = (i - 1) // 4 + 1
        if fam <= families:
            out.append(f"1 {'FAMS' if (i - 1) % 4 < 2 else 'FAMC'} @F{fam}@")
            if (i - 1) % 4 >= 2:
                out.append("2 PEDI birth")
        out += ["1 RIN " + str(i), "1 CHAN", "2 DATE 1 JAN 2020"]
    for f in range(1, families + 1):
        base = (f - 1) * 4
        out += [f"0 @F{f}@ FAM", f"1 HUSB @I{base + 1}@", f"1 WIFE @I{base + 2}@",
                f"1 CHIL @I{base + 3}@", f"1 CHIL @I{base + 4}@", "1 MARR",
                f"2 DATE {rnd.randint(1, 28)} {rnd.choice(MONTHS)} {rnd.randint(1620, 1970)}",
                f"2 PLAC {rnd.choice(PLACES)}"]
    out += ["0 @S1@ SOUR", "1 TITL Parish register", "0 TRLR"]
    return ("\n".join(out) + "\n").encode("utf-8")


def best_of(repeat, fn):
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter()
        fn()
        best = min(best, time.perf_counter() - start)
    return best


def core_only(call):
    """The call with json.loads answering None: what the call spends outside json.loads."""
    loads = json.loads
    json.loads = lambda text: None
    try:
        call()
    finally:
        json.loads = loads


def measure(g, repeat):
    """{method: (views, seconds, baseline seconds, C++ side seconds)} for one document."""
    out = {}
    for method in ("individuals", "families", "records"):
        call = getattr(g, method)
        result = call()
        texts = [json.dumps(d, separators=(",", ":"), ensure_ascii=False) for d in result]
        del result
        loads = json.loads
        t_method = best_of(repeat, call)
        t_base = best_of(repeat, lambda: [loads(t) for t in texts])
        t_core = best_of(repeat, lambda: core_only(call))
        out[method] = (len(texts), t_method, t_base, t_core)
    return out


def describe(views, t_method, t_base, t_core):
    ratio = t_method / t_base if t_base else float("nan")
    per = t_method / views * 1e6 if views else 0.0
    return (f"{t_method * 1e3:9.1f} ms ({per:6.2f} us/view)  baseline {t_base * 1e3:9.1f} ms  "
            f"ratio {ratio:4.2f}  C++ side {t_core * 1e3:8.1f} ms = {t_core / t_method:5.1%}")


def collector_worker(path, repeat):
    """individuals() with the collector on, and with it turned off by the caller."""
    g = pellorine.Gedcom.parse(Path(path).read_bytes())
    return {"people": len(g.individuals()), "on": best_of(repeat, g.individuals),
            "off": best_of(repeat, collector_paused(g.individuals))}


def collector_table(args):
    if not args.sizes:
        return
    modules = compared(args.against)
    print("individuals() with the collector on / turned off by the caller, µs per person")
    with tempfile.TemporaryDirectory() as tmp:
        for people in args.sizes:
            path = Path(tmp) / f"{people}.ged"
            path.write_bytes(generate(people))
            for label, module_dir in modules:
                r = run_worker(__file__, "collector", path, repeats(args.repeat, people), module_dir)
                on, off = r["on"] / r["people"] * 1e6, r["off"] / r["people"] * 1e6
                print(f"  {people:8d} people  {label:6s}  on {on:7.2f}  off {off:7.2f}  ratio {on / off:5.2f}",
                      flush=True)


def load_inputs(args):
    inputs = []
    files = args.files or sorted((TESTDATA / "large").glob("*.ged"))
    for path in files:
        try:
            inputs.append((path.name, pellorine.Gedcom.parse(path.read_bytes())))
        except ValueError as e:
            print(f"{path.name}: skipped, does not parse ({e})", file=sys.stderr)
    if not args.files:
        inputs.append((f"generated {args.people} individuals", pellorine.Gedcom.parse(generate(args.people))))
    return inputs


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("files", nargs="*", type=Path)
    ap.add_argument("--repeat", type=int, default=5)
    ap.add_argument("--people", type=int, default=200_000)
    ap.add_argument("--sizes", type=int, nargs="*", default=SIZES, help="people in the collector table's files")
    ap.add_argument("--collector-only", action="store_true", help="only the collector table")
    ap.add_argument("--against", type=str, help="a build dir whose pellorine module is measured first")
    ap.add_argument("--json", action="store_true", help=argparse.SUPPRESS)
    ap.add_argument("--worker", nargs=2, metavar=("MODE", "PATH"), help=argparse.SUPPRESS)
    args = ap.parse_args()
    if args.worker:
        print(json.dumps(collector_worker(args.worker[1], args.repeat)))
        return 0
    if not args.json:
        collector_table(args)
    if args.collector_only:
        return 0

    old = {}
    if args.against:
        cmd = [sys.executable, __file__, "--json", "--repeat", str(args.repeat), "--people", str(args.people)]
        done = subprocess.run(cmd + [str(f) for f in args.files], env=worker_env(args.against), capture_output=True,
                              text=True, check=True)
        old = json.loads(done.stdout)
    results = {name: measure(g, args.repeat) for name, g in load_inputs(args)}
    if args.json:
        print(json.dumps(results))
        return 0
    for name, methods in results.items():
        print(name)
        for method, (views, t_method, t_base, t_core) in methods.items():
            print(f"  {method:12s} {views:8d} views")
            if name in old:
                print(f"    before  {describe(*old[name][method])}")
            print(f"    {'after ' if old else 'this  '}  {describe(views, t_method, t_base, t_core)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
