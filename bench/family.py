"""Family queries and validate() against Gedcom.parse of the same bytes.

On a generated file of --people individuals (1,000,000 by default) in a third
as many families, each link written on both sides, it measures in one run:
- the first family query of a fresh instance (the graph build included),
  against Gedcom.parse; target: at most 0.5x;
- --queries further queries (100,000 by default) over random identifiers, per
  query, beside a baseline that only copies the same answers out of a dict
  (the list a query returns); target: under 2 us each beyond the baseline;
- validate(), against Gedcom.parse; target: at most 3x.
Then it times the hostile shapes: one family of 1,000,000 children and one
person in 100,000 families, first query against parse.

Usage: PYTHONPATH=<build dir> python3 bench/family.py [--people N] [--queries N] [--repeat N]
"""

import argparse
import random
import sys
import time

import pellorine
from pellorine import Gedcom
from views import best_of

MONTHS = ["JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"]
GIVEN = ["John", "Mary", "Anna", "Hans", "Ida", "Jan", "Ruth", "Olav", "Karin", "Zo\u00eb"]
SURNAMES = ["Smith", "K\u00f6hler", "Brandt", "Jensen", "Lee", "Rossi", "Nowak", "Dubois"]


def generate(people, seed=1871):
    """Generations of families: two unmarried people of the pool marry some
    twenty years after their births and have three children, who join the
    pool. Dates are plausible, so findings are the few a real file has. Every
    third family has no family record: only its members' FAMC and FAMS tell it."""
    rnd = random.Random(seed)
    founders = max(4, people - (people // 3) * 3 + people // 100)
    born = [0] + [rnd.randint(1600, 1640) for _ in range(founders)]  # people are 1-based
    child_in, partner_in, fams = [0] * (founders + 1), [0] * (founders + 1), []
    pool = list(range(1, founders + 1))
    head = 0
    while len(born) - 1 + 3 <= people and head + 1 < len(pool):
        a, b = pool[head], pool[head + 1]
        head += 2
        married = max(born[a], born[b]) + rnd.randint(18, 30)
        f = len(fams) + 1
        partner_in[a] = partner_in[b] = f
        kids = []
        for _ in range(3):
            born.append(married + rnd.randint(1, 15))
            child_in.append(f)
            partner_in.append(0)
            kids.append(len(born) - 1)
        pool += kids
        fams.append((a, b, kids, married))
    out = ["0 HEAD", "1 SOUR bench", "1 GEDC", "2 VERS 5.5.1", "2 FORM LINEAGE-LINKED", "1 CHAR UTF-8"]
    for p in range(1, len(born)):
        date = f"{rnd.randint(1, 28)} {rnd.choice(MONTHS)} {born[p]}" if rnd.random() < 0.5 else f"ABT {born[p]}"
        out += [f"0 @I{p}@ INDI", f"1 NAME {rnd.choice(GIVEN)} /{rnd.choice(SURNAMES)}/", "1 BIRT", f"2 DATE {date}"]
        if rnd.random() < 0.2:
            out += ["1 DEAT", f"2 DATE {born[p] + rnd.randint(40, 90)}"]
        if rnd.random() < 0.8:
            out.append("1 SOUR @S1@")
        if child_in[p]:
            out.append(f"1 FAMC @F{child_in[p]}@")
        if partner_in[p]:
            out.append(f"1 FAMS @F{partner_in[p]}@")
    for f, (a, b, kids, married) in enumerate(fams, 1):
        if f % 3 == 0:
            continue
        out += [f"0 @F{f}@ FAM", f"1 HUSB @I{a}@", f"1 WIFE @I{b}@", *(f"1 CHIL @I{k}@" for k in kids),
                "1 MARR", f"2 DATE {married}"]
    out += ["0 @S1@ SOUR", "1 TITL Parish register", "0 TRLR"]
    return ("\n".join(out) + "\n").encode("utf-8")


def first_query(data, repeat):
    """Best time of parse, and of the first query on a freshly parsed instance."""
    t_parse = best_of(repeat, lambda: Gedcom.parse(data))
    best = float("inf")
    for _ in range(repeat):
        g = Gedcom.parse(data)
        start = time.perf_counter()
        g.parents_of("@I1@")
        best = min(best, time.perf_counter() - start)
    return t_parse, best


def verdict(ok):
    return "ok" if ok else "OVER"


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--people", type=int, default=1_000_000)
    ap.add_argument("--queries", type=int, default=100_000)
    ap.add_argument("--repeat", type=int, default=3)
    args = ap.parse_args()
    print(f"measuring {pellorine.__file__}")

    data = generate(args.people)
    g = Gedcom.parse(data)
    people, families = len(g.individuals()), len(g.families())
    print(f"generated: {people} individuals, {families * 3 // 2} families of which {families} have a record, "
          f"{len(data) / 1e6:.1f} MB")

    t_parse, t_first = first_query(data, args.repeat)
    print(f"  parse              {t_parse * 1e3:9.1f} ms")
    print(f"  first query        {t_first * 1e3:9.1f} ms  ratio {t_first / t_parse:4.2f}  "
          f"(target 0.5)  {verdict(t_first <= 0.5 * t_parse)}")

    rnd = random.Random(7)
    xrefs = [f"@I{rnd.randint(1, args.people)}@" for _ in range(args.queries)]
    methods = [g.parents_of, g.children_of, g.partners_of]
    g.parents_of("@I1@")
    answers = {x: [m(x) for m in methods] for x in xrefs}
    returned = sum(len(a) for lists in answers.values() for a in lists) / (3 * len(xrefs))

    def queries():
        for m in methods:
            for x in xrefs:
                m(x)

    def baseline():
        for i in range(3):
            for x in xrefs:
                list(answers[x][i])

    t_queries = best_of(args.repeat, queries) / (3 * len(xrefs))
    t_base = best_of(args.repeat, baseline) / (3 * len(xrefs))
    print(f"  further queries    {t_queries * 1e6:9.2f} us each, {returned:.1f} names returned on average; "
          f"copying the answers alone {t_base * 1e6:.2f} us; beyond it {(t_queries - t_base) * 1e6:.2f} us "
          f"(target 2)  {verdict(t_queries - t_base < 2e-6)}")

    t_validate = best_of(args.repeat, g.validate)
    print(f"  validate()         {t_validate * 1e3:9.1f} ms  ratio {t_validate / t_parse:4.2f}  "
          f"(target 3)  {verdict(t_validate <= 3 * t_parse)}, {len(g.validate())} findings")

    hostile = {
        "one family of 1,000,000 children": "\n".join(
            ["0 HEAD", "0 @F1@ FAM", "1 HUSB @H@", "1 WIFE @W@"]
            + [f"1 CHIL @C{i}@" for i in range(1_000_000)] + ["0 TRLR", ""]).encode(),
        "one person in 100,000 families": "\n".join(
            ["0 HEAD", "0 @P@ INDI"] + [f"1 FAMS @F{i}@" for i in range(100_000)]
            + [line for i in range(100_000) for line in (f"0 @F{i}@ FAM", f"1 WIFE @W{i}@", f"1 CHIL @C{i}@")]
            + ["0 TRLR", ""]).encode(),
    }
    for name, shape in hostile.items():
        t_parse, t_first = first_query(shape, args.repeat)
        h = Gedcom.parse(shape)
        t_validate = best_of(args.repeat, h.validate)
        print(f"  {name}: parse {t_parse * 1e3:.1f} ms, first query {t_first * 1e3:.1f} ms "
              f"(ratio {t_first / t_parse:.2f}), validate() {t_validate * 1e3:.1f} ms "
              f"(ratio {t_validate / t_parse:.2f})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
