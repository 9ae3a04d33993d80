#!/usr/bin/env python3
"""Draws the fixed query set of a corpus from its token file.

  make_queries.py CORPUSDIR [--per-class N] [--seed S]

Writes two query sets of the same classes: CORPUSDIR/queries.txt, the rare
set, and CORPUSDIR/queries-frequent.txt, the frequency-drawn set. One query
per line, its class, a tab, then its terms separated by spaces. Classes: and,
or, andnot (two terms each), phrase (a pair of adjacent tokens taken from a
real record), near (two tokens 2 to 5 positions apart in a real record),
prefix (the first 3 or 4 letters of a term of 5 letters or more) and ranked
(2 or 3 terms of one record).

Rare set: terms of middle document frequency so that results are neither
empty nor the whole collection; pairs that must co-occur are taken from one
record so that their results are not empty either.

Frequency-drawn set: terms as people type them, each drawn with a
probability that follows its number of occurrences in the corpus: a query
starts at a token drawn uniformly from every token of the corpus, and its
other terms are tokens of the same record (another position of it drawn
uniformly; for phrase and near the token 1 or 2 to 5 positions on). OR takes
two tokens drawn independently from the whole corpus, prefix the first
letters of a drawn token of 5 letters or more.

The same seed gives the same queries.
"""
import argparse
import bisect
import collections
import itertools
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
    rng = random.Random(args.seed)
    write(args.corpusdir, "queries.txt", rare_set(lines, args.per_class, rng))
    rng = random.Random(args.seed)
    write(args.corpusdir, "queries-frequent.txt", frequent_set(lines, args.per_class, rng))


def write(corpusdir, name, queries):
    with open(os.path.join(corpusdir, name), "w", encoding="ascii") as out:
        for kind in CLASSES:
            for terms in queries[kind]:
                out.write("%s\t%s\n" % (kind, " ".join(terms)))


class QuerySet:
    """Up to per_class distinct queries of each class."""

    def __init__(self, per_class):
        self.per_class = per_class
        self.queries = {c: [] for c in CLASSES}
        self.seen = set()

    def add(self, kind, terms):
        key = (kind, tuple(terms))
        if key not in self.seen and len(self.queries[kind]) < self.per_class:
            self.seen.add(key)
            self.queries[kind].append(terms)

    def full(self):
        return all(len(q) >= self.per_class for q in self.queries.values())

    def check(self, name):
        missing = [c for c in CLASSES if len(self.queries[c]) < self.per_class]
        if missing:
            raise SystemExit("could not draw enough %s queries for: %s"
                             % (name, ", ".join(missing)))
        return self.queries


def frequent_set(lines, per_class, rng):
    records = [line.split() for line in lines]
    ends = list(itertools.accumulate(len(words) for words in records))
    if not ends or ends[-1] < 2:
        raise SystemExit("corpus too small for a query set")
    out = QuerySet(per_class)

    def token():
        """A record and a position in it, drawn uniformly over every token."""
        at = rng.randrange(ends[-1])
        r = bisect.bisect_right(ends, at)
        return records[r], at - (ends[r - 1] if r else 0)

    for _ in range(1000 * per_class):
        if out.full():
            break
        words, i = token()
        a = words[i]
        others = [t for t in set(words) if t != a]
        if others:
            # Another position of the record, drawn uniformly, for each term.
            def other():
                while True:
                    t = words[rng.randrange(len(words))]
                    if t != a:
                        return t
            out.add("and", [a, other()])
            out.add("andnot", [a, other()])
            terms = [a, other()]
            if len(others) >= 2 and rng.random() < 0.5:
                third = other()
                if third not in terms:
                    terms.append(third)
            out.add("ranked", terms)
        if i + 1 < len(words) and words[i + 1] != a:
            out.add("phrase", [a, words[i + 1]])
        gap = rng.randint(2, 5)
        if i + gap < len(words) and words[i + gap] != a:
            b = words[i + gap]
            out.add("near", [a, b] if rng.random() < 0.5 else [b, a])
        b = token()
        b = b[0][b[1]]
        if b != a:
            out.add("or", [a, b])
        if len(a) >= 5:
            out.add("prefix", [a[:rng.choice([3, 4])]])
    return out.check("frequency-drawn")


def rare_set(lines, per_class, rng):
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
    out = QuerySet(per_class)
    add = out.add

    def record_terms():
        return lines[rng.randrange(n)].split()

    for _ in range(1000 * per_class):
        if out.full():
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
    return out.check("rare")


if __name__ == "__main__":
    main()
