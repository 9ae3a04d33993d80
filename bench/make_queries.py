#!/usr/bin/env python3
"""Draws the fixed query set of a corpus from its token file.

  make_queries.py CORPUSDIR [--per-class N] [--seed S]

Writes CORPUSDIR/queries.txt: one query per line, its class, a tab, then its
terms separated by spaces. Classes: and, or, andnot (two terms each), phrase
(a pair of adjacent tokens taken from a real record), near (two tokens 2 to 5
positions apart in a real record), prefix (the first 3 or 4 letters of a
term of 5 letters or more) and ranked (2 or 3 terms of one record). Terms are
of middle document frequency so that results are neither empty nor the whole
collection; pairs that must co-occur are taken from one record so that their
results are not empty either. The same seed gives the same queries.
"""
import argparse
import collections
import os
import random

CLASSES = ["and", "or", "andnot", "phrase", "near", "prefix", "ranked"]


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("corpusdir")
    parser.add_argument("--per-class", type=int, default=200)
    parser.add_argument("--seed", type=int, default=15)
    args = parser.parse_args()

    with open(os.path.join(args.corpusdir, "tokens.txt"), encoding="ascii") as f:
        lines = f.read().split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    df = collections.Counter()
    for line in lines:
        df.update(set(line.split()))
    n = len(lines)
    low = max(3, n // 5000)
    high = max(4 * low, n // 50)
    common = n // 10  # a term in more records than this is too common to pair

    def mid(term):
        return low <= df[term] <= high

    def usable(term):
        return low <= df[term] <= common

    mids = sorted(t for t in df if mid(t))
    # Prefixes come from the longer terms that are not rare.
    stems = sorted(t for t in df if df[t] >= low and len(t) >= 5)
    if len(mids) < 10 or len(stems) < 10:
        raise SystemExit("corpus too small for a query set")
    rng = random.Random(args.seed)
    queries = {c: [] for c in CLASSES}
    seen = set()

    def add(kind, terms):
        key = (kind, tuple(terms))
        if key not in seen and len(queries[kind]) < args.per_class:
            seen.add(key)
            queries[kind].append(terms)

    def record_terms():
        return lines[rng.randrange(n)].split()

    def full():
        return all(len(q) >= args.per_class for q in queries.values())

    for _ in range(1000 * args.per_class):
        if full():
            break
        words = record_terms()
        distinct = sorted(set(t for t in words if mid(t)))
        if len(distinct) >= 2:
            a, b = rng.sample(distinct, 2)
            add("and", [a, b])
            c, d = rng.sample(distinct, 2)
            add("andnot", [c, d])
            add("ranked", rng.sample(distinct, min(len(distinct), rng.choice([2, 3]))))
        if len(words) >= 2:
            i = rng.randrange(len(words) - 1)
            a, b = words[i], words[i + 1]
            if a != b and usable(a) and usable(b) and min(df[a], df[b]) <= high:
                add("phrase", [a, b])
            gap = rng.randint(2, 5)
            if i + gap < len(words):
                a, b = words[i], words[i + gap]
                if a != b and usable(a) and usable(b) and min(df[a], df[b]) <= high:
                    add("near", [a, b] if rng.random() < 0.5 else [b, a])
        add("or", rng.sample(mids, 2))
        add("prefix", [rng.choice(stems)[:rng.choice([3, 4])]])
    missing = [c for c in CLASSES if len(queries[c]) < args.per_class]
    if missing:
        raise SystemExit("could not draw enough queries for: " + ", ".join(missing))
    with open(os.path.join(args.corpusdir, "queries.txt"), "w", encoding="ascii") as out:
        for kind in CLASSES:
            for terms in queries[kind]:
                out.write("%s\t%s\n" % (kind, " ".join(terms)))


if __name__ == "__main__":
    main()
