"""Parsing benchmark: Gedcom.parse and to_text() against a plain-Python baseline.

For the largest shared test files that parse, and for a generated 100 MB UTF-8
file, it reports the time and MB/s of Gedcom.parse and of to_text(), the ratio
of the parse time to the baseline `data.decode("utf-8").split("\\n")` measured
in the same run, and the peak memory of each step beyond the input itself
(ru_maxrss, each step in its own subprocess so that the peaks stay apart).

    PYTHONPATH=build python3 bench/parse.py [--generated-mb 100] [--files 3] [--repeat 3]

Targets: parse within 3x the baseline's time; parse peak memory at most 6x the
input size.
"""

from __future__ import annotations

import argparse
import json
import os
import resource
import subprocess
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
REPO = HERE.parent
TESTDATA = REPO.parent / "shared" / "testdata"
MB = 1_000_000


def peak_kib() -> int:
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss  # KiB on Linux


def current_kib() -> int:
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * (os.sysconf("SC_PAGE_SIZE") // 1024)


def reset_peak() -> int:
    """Starts the peak afresh where Linux allows it; returns the resident size now."""
    try:
        with open("/proc/self/clear_refs", "w") as f:
            f.write("5")
    except OSError:
        pass
    return max(current_kib(), 0)


def worker(mode: str, path: str, repeat: int) -> dict:
    """Runs one step in this process; the caller runs each step in a fresh one."""
    data = Path(path).read_bytes()
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

    before = reset_peak()
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter()
        result = step()
        best = min(best, time.perf_counter() - start)
        del result
    return {"seconds": best, "peak_bytes": max(peak_kib() - before, 0) * 1024, "size": len(data)}


def run(mode: str, path: Path, repeat: int) -> dict:
    out = subprocess.run(
        [sys.executable, __file__, "--worker", mode, str(path), "--repeat", str(repeat)],
        check=True, capture_output=True, text=True, env=os.environ,
    )
    return json.loads(out.stdout)


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


def main() -> None:
    ap = argparse.ArgumentParser()
    ap.add_argument("--worker", nargs=2, metavar=("MODE", "PATH"))
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--files", type=int, default=3)
    ap.add_argument("--generated-mb", type=float, default=100.0)
    ap.add_argument("--generated", help="reuse this generated file instead of writing a new one")
    args = ap.parse_args()
    if args.worker:
        print(json.dumps(worker(args.worker[0], args.worker[1], args.repeat)))
        return

    sys.path.insert(0, str(HERE))
    from gen_gedcom import generate

    targets = largest_parsing_files(args.files) if TESTDATA.is_dir() else []
    tmp = None
    if args.generated:
        generated = Path(args.generated)
    else:
        tmp = tempfile.NamedTemporaryFile(suffix=".ged", delete=False)
        tmp.close()
        generated = Path(tmp.name)
        size, lines = generate(str(generated), args.generated_mb)
        print(f"generated {size / MB:.1f} MB, {lines} lines, {size / lines:.1f} bytes a line")
    targets.append(generated)

    header = (f"{'file':<34} {'MB':>7} {'parse s':>8} {'MB/s':>7} {'base s':>8} {'ratio':>6} "
              f"{'peak/in':>8} {'to_text s':>9} {'MB/s':>7} {'text peak/in':>12}")
    print(header)
    print("-" * len(header))
    try:
        for path in targets:
            repeat = args.repeat if path.stat().st_size < 20 * MB else max(1, min(args.repeat, 2))
            base = run("baseline", path, repeat)
            parse = run("parse", path, repeat)
            text = run("to_text", path, repeat)
            size = parse["size"]
            name = "generated" if path == generated else str(path.relative_to(TESTDATA))
            print(
                f"{name[-34:]:<34} {size / MB:7.2f} {parse['seconds']:8.3f} {size / MB / parse['seconds']:7.1f} "
                f"{base['seconds']:8.3f} {parse['seconds'] / base['seconds']:6.2f} "
                f"{parse['peak_bytes'] / size:8.2f} {text['seconds']:9.3f} {size / MB / text['seconds']:7.1f} "
                f"{text['peak_bytes'] / size:12.2f}"
            )
    finally:
        if tmp is not None:
            os.unlink(generated)
    print("\ntargets: parse ratio to the baseline <= 3; parse peak memory <= 6x the input")


if __name__ == "__main__":
    main()
