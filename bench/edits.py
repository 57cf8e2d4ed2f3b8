"""Edits benchmark: three ratios, each against a baseline measured in the same run.

1. append_records of many small records in one call, against json.dumps of the
   same list (the JSON bridge's floor). Target: within 3x.
2. wrap_long_lines(255) on a generated 5.5.1 file in which one record in ten
   has a 1,000-byte note, against Gedcom.parse of the same bytes. Target: no
   slower (ratio at most 1). Also shown: json.loads of the reports alone,
   the part of the call that the one-decode-per-report bridge fixes.
3. set_logical_value then fit_line_limit on one record of that large document,
   against the same on a small document. Target: within 1.5x. Measured on the
   last record (the whole call, lookup included) and on the first record (the
   edit alone, whatever the lookup costs).

    PYTHONPATH=build python3 bench/edits.py [--mb 100] [--small-mb 1] [--records 100000] [--repeat 3]

Each figure is the best of --repeat runs; the per-record edits are averaged
over --rounds calls within each run.
"""

from __future__ import annotations

import argparse
import json
import time

import pellorine

NOTE = ("The family lived on the farm until the war, when the sons left for the city and the daughters "
        "married into the neighbouring parishes; the records of the church were kept by the eldest. ") * 6


def generate(megabytes: float) -> bytes:
    """A 5.5.1 file of individuals; every tenth carries a 1,000-byte note on one line."""
    head = "0 HEAD\n1 SOUR bench\n1 GEDC\n2 VERS 5.5.1\n2 FORM LINEAGE-LINKED\n1 CHAR UTF-8\n"
    note = NOTE[:1000]
    parts, size, n = [head], len(head), 0
    target = int(megabytes * 1_000_000)
    while size < target:
        n += 1
        record = (f"0 @I{n}@ INDI\n1 NAME Person{n} /Family{n % 977}/\n1 SEX {'MF'[n % 2]}\n"
                  f"1 BIRT\n2 DATE {1 + n % 28} JAN {1700 + n % 300}\n2 PLAC Parish {n % 131}\n"
                  f"1 FAMC @F{n // 3}@\n")
        if n % 10 == 0:
            record += f"1 NOTE {note}\n"
        parts.append(record)
        size += len(record)
    parts.append("0 TRLR\n")
    return "".join(parts).encode()


def best_of(repeat: int, run) -> float:
    """The shortest of `repeat` timings; `run` returns the seconds it measured."""
    return min(run() for _ in range(repeat))


def timed(fn) -> float:
    start = time.perf_counter()
    fn()
    return time.perf_counter() - start


def append_ratio(records: int, repeat: int) -> dict:
    specs = [{"tag": "INDI", "xref": f"@I{i}@", "children": [{"tag": "NAME", "value": f"Person{i} /Family/"},
                                                             {"tag": "SEX", "value": "F"}]} for i in range(records)]
    dumps = best_of(repeat, lambda: timed(lambda: json.dumps(specs)))

    def append_once() -> float:
        doc = pellorine.Gedcom.new_v551("bench")
        return timed(lambda: doc.append_records(specs))

    append = best_of(repeat, append_once)
    return {"records": records, "json_dumps_s": dumps, "append_records_s": append, "ratio": append / dumps}


def wrap_ratio(data: bytes, repeat: int) -> dict:
    """Each run times the parse that makes a fresh document, then the wrap of
    that document, so that both see the same load on the machine."""
    parses, wraps, loads, reports = [], [], [], []
    for _ in range(repeat):
        start = time.perf_counter()
        doc = pellorine.Gedcom.parse(data)
        parses.append(time.perf_counter() - start)
        start = time.perf_counter()
        reports = doc.wrap_long_lines(255)
        wraps.append(time.perf_counter() - start)
        del doc
        # The floor of the bridge: one json.loads per report, as every dict result crosses.
        texts = [json.dumps(r, separators=(",", ":")) for r in reports]
        start = time.perf_counter()
        for text in texts:
            json.loads(text)
        loads.append(time.perf_counter() - start)
    return {"mb": len(data) / 1_000_000, "parse_s": min(parses), "wrap_s": min(wraps), "loads_s": min(loads),
            "rewritten": len(reports), "ratio": min(wraps) / min(parses)}


def edit_seconds(doc: pellorine.Gedcom, xref: str, rounds: int) -> float:
    """Mean seconds of one set_logical_value (a 1,000-byte note) and fit_line_limit."""
    values = [NOTE[:1000], NOTE[1:1001]]  # alternate, so that every fit has work to do
    start = time.perf_counter()
    for i in range(rounds):
        doc.set_logical_value(xref, [], values[i % 2])
        if not doc.fit_line_limit(xref):
            raise AssertionError("fit_line_limit changed nothing")
    return (time.perf_counter() - start) / rounds


def edit_ratio(large: bytes, small: bytes, repeat: int, rounds: int) -> dict:
    out = {}
    for label, data in (("large", large), ("small", small)):
        doc = pellorine.Gedcom.parse(data)
        last = f"@I{len(doc)}@"
        out[label] = {"mb": len(data) / 1_000_000,
                      "first_record_s": best_of(repeat, lambda: edit_seconds(doc, "@I1@", rounds)),
                      "last_record_s": best_of(repeat, lambda: edit_seconds(doc, last, rounds))}
        del doc
    out["ratio_first_record"] = out["large"]["first_record_s"] / out["small"]["first_record_s"]
    out["ratio_last_record"] = out["large"]["last_record_s"] / out["small"]["last_record_s"]
    return out


def main() -> None:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--mb", type=float, default=100.0)
    ap.add_argument("--small-mb", type=float, default=1.0)
    ap.add_argument("--records", type=int, default=100_000)
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--rounds", type=int, default=200)
    args = ap.parse_args()
    print(f"measuring {pellorine.__file__}")

    append = append_ratio(args.records, args.repeat)
    print(f"append_records, {append['records']} records: {append['append_records_s']:.3f} s; "
          f"json.dumps {append['json_dumps_s']:.3f} s; ratio {append['ratio']:.2f} (target <= 3)")

    large = generate(args.mb)
    wrap = wrap_ratio(large, args.repeat)
    print(f"wrap_long_lines(255), {wrap['mb']:.1f} MB, {wrap['rewritten']} rewritten: {wrap['wrap_s']:.3f} s; "
          f"Gedcom.parse {wrap['parse_s']:.3f} s; ratio {wrap['ratio']:.2f} (target <= 1); "
          f"json.loads of the reports alone {wrap['loads_s']:.3f} s")

    edit = edit_ratio(large, generate(args.small_mb), args.repeat, args.rounds)
    for where in ("first", "last"):
        print(f"set_logical_value + fit_line_limit, {where} record: "
              f"{edit['large'][where + '_record_s'] * 1e6:.1f} us at {edit['large']['mb']:.0f} MB, "
              f"{edit['small'][where + '_record_s'] * 1e6:.1f} us at {edit['small']['mb']:.0f} MB; "
              f"ratio {edit['ratio_' + where + '_record']:.2f} (target <= 1.5)")


if __name__ == "__main__":
    main()
