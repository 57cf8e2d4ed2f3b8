"""pellorine beside the GEDCOM libraries on PyPI: parse a file, then list
every person with name and birth date, in one run.

Each peer library lives in its own virtual environment under bench/.peers/
(made and filled with pip on first use, reused afterwards; the folder is not
committed). Every library is used only through its documented interface, as a
black box. Each measurement runs in a fresh process: the time covers reading
the file, parsing it and listing the people; the peak is the process's
resident memory at the end. The best of --repeat runs counts.

Usage: [PYTHONPATH=<build dir>] python3 bench/peers.py [--sizes 2000 20000 200000] [--repeat 3]

Never run by CI: it installs packages from PyPI.
"""

from __future__ import annotations

import argparse
import datetime
import json
import os
import platform
import subprocess
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
PEERS = HERE / ".peers"
TIMEOUT = 1800  # seconds for one run

# Each runner gets the file's path as argv[1] and prints one JSON line (its
# imports, above the "---", are not timed):
# {"seconds", "people", "first", "peak_kib"}. "first" is the first person's
# (name, birth date), so the table can show that every library read the same.
PRELUDE = """
import json, resource, sys, time
path = sys.argv[1]
"""
START = """
start = time.perf_counter()
"""
POSTLUDE = """
seconds = time.perf_counter() - start
print(json.dumps({"seconds": seconds, "people": len(rows), "first": [str(x) for x in rows[0]] if rows else None,
                  "peak_kib": resource.getrusage(resource.RUSAGE_SELF).ru_maxrss}))
"""

RUNNERS = {
    "pellorine": """
import pellorine
---
g = pellorine.Gedcom.parse(open(path, "rb").read())
rows = []
for p in g.individuals():
    name = p["names"][0]["display"] if p["names"] else ""
    birth = next((e["date"] for e in p["events"] if e["tag"] == "BIRT"), None) or ""
    rows.append((name, birth))
""",
    "python-gedcom": """
from gedcom.parser import Parser
from gedcom.element.individual import IndividualElement
---
parser = Parser()
parser.parse_file(path)
rows = []
for element in parser.get_root_child_elements():
    if isinstance(element, IndividualElement):
        given, surname = element.get_name()
        rows.append((f"{given} {surname}", element.get_birth_data()[0]))
""",
    "ged4py": """
from ged4py.parser import GedcomReader
---
rows = []
with GedcomReader(path) as reader:
    for indi in reader.records0("INDI"):
        birth = indi.sub_tag_value("BIRT/DATE")
        rows.append((indi.name.format(), "" if birth is None else str(birth)))
""",
    "gedcom-lite": """
from gedcom_lite import GedcomDocument
---
doc = GedcomDocument.parse(path)
rows = []
for indi in doc.find_records("INDI"):
    name = indi.find("NAME")
    birth = indi.find("BIRT")
    date = birth.find("DATE") if birth else None
    rows.append((name.text() if name else "", date.text() if date else ""))
""",
    "fastgedcom": """
from fastgedcom.parser import strict_parse
---
document = strict_parse(path)
rows = [(indi >= "NAME", (indi > "BIRT") >= "DATE") for indi in document.get_records("INDI")]
""",
}
# The PyPI distribution behind each peer (the key), for pip and its version.
PEER_NAMES = ["python-gedcom", "ged4py", "gedcom-lite", "fastgedcom"]


def venv_python(name: str) -> Path:
    return PEERS / name / "bin" / "python"


def install(name: str) -> str | None:
    """Makes the peer's environment when missing; returns why it failed, or None."""
    python = venv_python(name)
    marker = PEERS / name / ".installed"
    if marker.exists():
        return None
    PEERS.mkdir(exist_ok=True)
    steps = [[sys.executable, "-m", "venv", str(PEERS / name)],
             [str(python), "-m", "pip", "install", "--quiet", name]]
    for cmd in steps:
        done = subprocess.run(cmd, capture_output=True, text=True)
        if done.returncode != 0:
            lines = (done.stderr or done.stdout).strip().splitlines()
            return lines[-1] if lines else f"exit status {done.returncode}"
    marker.write_text("ok\n")
    return None


def version(name: str) -> str:
    if name == "pellorine":
        import pellorine
        return pellorine.__version__
    done = subprocess.run([str(venv_python(name)), "-m", "pip", "show", name], capture_output=True, text=True)
    for line in done.stdout.splitlines():
        if line.startswith("Version:"):
            return line.split(":", 1)[1].strip()
    return "?"


def run_once(name: str, path: Path) -> dict:
    python = sys.executable if name == "pellorine" else str(venv_python(name))
    imports, work = RUNNERS[name].split("---\n")
    code = PRELUDE + imports + START + work + POSTLUDE
    try:
        done = subprocess.run([python, "-c", code, str(path)], capture_output=True, text=True, timeout=TIMEOUT)
    except subprocess.TimeoutExpired:
        return {"error": f"did not finish within {TIMEOUT} s"}
    if done.returncode != 0:
        lines = done.stderr.strip().splitlines()
        return {"error": lines[-1] if lines else f"exit status {done.returncode}"}
    return json.loads(done.stdout.strip().splitlines()[-1])


def measure(name: str, path: Path, people: int, repeat: int) -> dict:
    best = None
    for _ in range(repeat):
        result = run_once(name, path)
        if "error" in result:
            return result
        if result["people"] != people:
            return {"error": f"listed {result['people']} of {people} people"}
        if best is None or result["seconds"] < best["seconds"]:
            best = result
    return best


def machine() -> str:
    model = platform.processor() or "unknown processor"
    try:
        for line in Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    return (f"{model}, {os.cpu_count()} logical CPUs, {platform.system()} {platform.release()}, "
            f"Python {platform.python_version()}")


def cell(result: dict, base: dict | None) -> str:
    if "error" in result:
        return f"failed: {result['error']}"
    text = f"{result['seconds']:.2f} s, {result['peak_kib'] / 1024:.0f} MB"
    if base and "error" not in base and base is not result:
        text += f" ({result['seconds'] / base['seconds']:.1f}x)"
    return text


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--sizes", type=int, nargs="+", default=[2_000, 20_000, 200_000])
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--only", nargs="*", default=None, help="peer libraries to run (default: all)")
    args = ap.parse_args()
    import pellorine
    print(f"measuring {pellorine.__file__}", file=sys.stderr)

    sys.path.insert(0, str(HERE))
    from views import generate  # the generated files of the view benchmark

    names = ["pellorine"] + [n for n in PEER_NAMES if args.only is None or n in args.only]
    failures = {n: install(n) for n in names if n != "pellorine"}
    results: dict[str, dict[int, dict]] = {n: {} for n in names}
    with tempfile.TemporaryDirectory() as tmp:
        for people in args.sizes:
            path = Path(tmp) / f"people-{people}.ged"
            path.write_bytes(generate(people))
            size_mb = path.stat().st_size / 1e6
            print(f"{people} people ({size_mb:.1f} MB):", file=sys.stderr)
            for name in names:
                if failures.get(name):
                    results[name][people] = {"error": f"could not be installed: {failures[name]}"}
                else:
                    results[name][people] = measure(name, path, people, args.repeat)
                result = results[name][people]
                print(f"  {name}: {cell(result, None)}; first person {result.get('first')}", file=sys.stderr)

    command = "python3 bench/peers.py " + " ".join(sys.argv[1:])
    print(f"Parse a generated file, then list every person with name and birth date, in one process; "
          f"best of {args.repeat} runs; time and peak resident memory, ratio to pellorine.\n")
    print(f"Measured {datetime.date.today().isoformat()} on {machine()}, with `{command.strip()}`.\n")
    print("| library | " + " | ".join(f"{n:,} people" for n in args.sizes) + " |")
    print("|---|" + "---|" * len(args.sizes))
    for name in names:
        label = name if failures.get(name) else f"{name} {version(name)}"
        row = [cell(results[name][n], results["pellorine"][n]) for n in args.sizes]
        print(f"| {label} | " + " | ".join(row) + " |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
