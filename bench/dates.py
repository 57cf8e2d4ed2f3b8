#!/usr/bin/env python3
"""Date reading benchmark.

Reads every DATE payload of the test files that parse and of a generated
~100 MB GEDCOM file, then reports:

* the core's readings per second (GedcomDate::parse alone, and with the
  display and both GEDCOM forms), from a small C++ program linked to the
  built static libraries;
* the cost of pellorine.parse_date per call, next to json.loads of a dict of
  the same shape, measured in the same run.

Usage: python3 bench/dates.py [--build DIR] [--size-mb 100] [--calls N]
DIR is a build directory configured with -DPELLORINE_PYTHON=ON and built
(it holds pellorine.abi3.so and the libpellorine_*.a libraries).
"""

import argparse
import json
import os
import random
import re
import struct
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
TESTDATA = ROOT.parent / "shared" / "testdata"
DATE_LINE = re.compile(r"^\s*\d+\s+(?:@[^@]+@\s+)?DATE(?: (.*))?$")
MONTHS = ["JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"]


def date_payloads(text):
    out = []
    for line in text.splitlines():
        m = DATE_LINE.match(line)
        if m:
            out.append(m.group(1) or "")
    return out


def testdata_payloads(pellorine):
    payloads, files = [], 0
    for path in sorted(TESTDATA.rglob("*")):
        if not path.is_file() or path.suffix.lower() not in (".ged", ".gedcom", ".txt"):
            continue
        try:
            g = pellorine.Gedcom.parse(path.read_bytes())
        except (ValueError, MemoryError):
            continue
        files += 1
        payloads.extend(date_payloads(g.to_text()))
    return payloads, files


def random_date(rng):
    y = rng.randint(1500, 2020)
    m = rng.choice(MONTHS)
    d = rng.randint(1, 28)
    r = rng.random()
    if r < 0.40:
        return f"{d} {m} {y}"
    if r < 0.50:
        return f"{m} {y}"
    if r < 0.62:
        return str(y)
    if r < 0.70:
        return f"ABT {y}"
    if r < 0.75:
        return f"BEF {d} {m} {y}"
    if r < 0.79:
        return f"AFT {y}"
    if r < 0.83:
        return f"BET {y} AND {y + rng.randint(1, 10)}"
    if r < 0.86:
        return f"FROM {m} {y} TO {y + rng.randint(1, 30)}"
    if r < 0.88:
        return f"@#DJULIAN@ {d} {m} {y}"
    if r < 0.90:
        return f"{y}/{(y + 1) % 100:02d}"
    if r < 0.92:
        return f"INT {y} (from a census)"
    if r < 0.94:
        return f"circa {y}"
    if r < 0.96:
        return f"{d:02d}.{MONTHS.index(m) + 1:02d}.{y}"
    if r < 0.98:
        return f"{d} janvier {y}"
    return "(unknown)"


def generated_text(size_mb, seed=1):
    """A lineage-linked file of about size_mb megabytes."""
    rng = random.Random(seed)
    parts = ["0 HEAD\n1 SOUR bench\n1 GEDC\n2 VERS 5.5.1\n2 FORM LINEAGE-LINKED\n1 CHAR UTF-8\n"]
    size, target, i = len(parts[0]), size_mb * 1_000_000, 0
    while size < target:
        i += 1
        rec = (f"0 @I{i}@ INDI\n1 NAME Given{i} /Surname{i % 997}/\n1 SEX {'MF'[i % 2]}\n"
               f"1 BIRT\n2 DATE {random_date(rng)}\n2 PLAC Town {i % 313}, County, Country\n"
               f"1 DEAT\n2 DATE {random_date(rng)}\n1 CHAN\n2 DATE {random_date(rng)}\n3 TIME 12:00:00\n")
        parts.append(rec)
        size += len(rec)
    parts.append("0 TRLR\n")
    return "".join(parts)


def generated_payloads(pellorine, size_mb):
    text, source = None, "built-in generator"
    gen = ROOT / "bench" / "gen_gedcom.py"
    if gen.exists():
        # The shared generator of large files, when it is there.
        sys.path.insert(0, str(gen.parent))
        try:
            import gen_gedcom

            with tempfile.TemporaryDirectory() as tmp:
                out = Path(tmp) / "gen.ged"
                gen_gedcom.generate(str(out), float(size_mb))
                text = out.read_bytes().decode("utf-8")
                source = "bench/gen_gedcom.py"
        except (ImportError, AttributeError, TypeError, OSError, UnicodeDecodeError):
            text = None
        finally:
            sys.path.pop(0)
    if text is None:
        text = generated_text(size_mb)
    t0 = time.perf_counter()
    pellorine.Gedcom.parse(text.encode("utf-8"))  # the file must parse
    parse_s = time.perf_counter() - t0
    return date_payloads(text), len(text.encode("utf-8")), source, parse_s


def build_core(build, tmp):
    libs = [build / f"libpellorine_{m}.a" for m in ("dates", "document", "json", "text")]
    missing = [str(p) for p in libs if not p.exists()]
    if missing:
        sys.exit(f"missing libraries (build the project first): {missing}")
    icu = subprocess.run(["pkg-config", "--libs", "icu-uc"], capture_output=True, text=True, check=True)
    exe = tmp / "dates_core"
    cmd = ["g++", "-std=c++23", "-O2", "-DNDEBUG", f"-I{ROOT / 'src'}", str(ROOT / "bench" / "dates_core.cpp"),
           *map(str, libs), *icu.stdout.split(), "-o", str(exe)]
    subprocess.run(cmd, check=True)
    return exe


def time_calls(fn, items, rounds=3):
    best = float("inf")
    for _ in range(rounds):
        t0 = time.perf_counter()
        for x in items:
            fn(x)
        best = min(best, time.perf_counter() - t0)
    return best


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", default=str(ROOT / "build"), help="build directory with the module and libraries")
    ap.add_argument("--size-mb", type=int, default=100)
    ap.add_argument("--calls", type=int, default=300_000, help="payloads timed through parse_date")
    args = ap.parse_args()
    build = Path(args.build).resolve()
    sys.path.insert(0, str(build))
    import pellorine
    print(f"measuring {pellorine.__file__}")

    t0 = time.perf_counter()
    real, files = testdata_payloads(pellorine)
    gen, gen_bytes, source, gen_parse_s = generated_payloads(pellorine, args.size_mb)
    print(f"payloads: {len(real):,} from {files} test files, {len(gen):,} from a generated "
          f"{gen_bytes / 1e6:.0f} MB file ({source}; Gedcom.parse {gen_parse_s:.2f} s); "
          f"collected in {time.perf_counter() - t0:.1f} s")

    with tempfile.TemporaryDirectory() as tmpdir:
        tmp = Path(tmpdir)
        exe = build_core(build, tmp)
        for label, payloads in (("test files", real), ("generated", gen), ("all", real + gen)):
            blob = tmp / "payloads.bin"
            with open(blob, "wb") as f:
                for p in payloads:
                    b = p.encode("utf-8", "surrogatepass")
                    f.write(struct.pack("<I", len(b)))
                    f.write(b)
            res = json.loads(subprocess.run([str(exe), str(blob)], capture_output=True, text=True,
                                            check=True).stdout)
            n = res["payloads"]
            print(f"core [{label}]: {n:,} payloads ({res['readable'] / max(n, 1):.1%} readable), "
                  f"parse {n / res['parse_seconds']:,.0f}/s, "
                  f"parse+display+5.5.1+7.0 {n / res['forms_seconds']:,.0f}/s")

    # parse_date per call against json.loads of a dict of the same shape.
    rng = random.Random(7)
    pool = real + gen
    sample = [rng.choice(pool) for _ in range(min(args.calls, len(pool) * 4))]
    dumped = [json.dumps(pellorine.parse_date(s), ensure_ascii=False, separators=(",", ":")) for s in sample]
    parse_date = pellorine.parse_date
    loads = json.loads
    t_pd = time_calls(parse_date, sample)
    t_js = time_calls(loads, dumped)
    n = len(sample)
    print(f"parse_date: {t_pd / n * 1e6:.2f} us/call; json.loads of the same dict: {t_js / n * 1e6:.2f} us/call; "
          f"ratio {t_pd / t_js:.2f}x (target <= 3x) over {n:,} calls")


if __name__ == "__main__":
    main()
