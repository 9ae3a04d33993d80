#!/usr/bin/env python3
"""Prepares a benchmark corpus as a token file that every driver reads.

  prepare_corpus.py gcide OUTDIR [--dictd DIR]
  prepare_corpus.py synthetic OUTDIR [--records N] [--seed S]
  prepare_corpus.py small OUTDIR

The token file OUTDIR/tokens.txt holds one record per line, record r on line r
(from 1), its tokens separated by single spaces. There is one tokeniser for
every corpus: runs of ASCII letters and digits, folded to lower case; every
other byte separates tokens, and a token longer than MAX_TOKEN bytes is
dropped (no engine then has to split or refuse one). OUTDIR/corpus.json
records what was made.
"""
import argparse
import bisect
import gzip
import json
import os
import random
import re
import sys

MAX_TOKEN = 64
TOKEN = re.compile(rb"[a-z0-9]+")
DICTD_DIGITS = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"


def tokenise(text):
    """The tokens of a byte string: lower-case ASCII alphanumeric runs."""
    return [t for t in TOKEN.findall(text.lower()) if len(t) <= MAX_TOKEN]


def dictd_number(text):
    """A dictd index number: base 64, most significant digit first."""
    value = 0
    for ch in text:
        digit = DICTD_DIGITS.find(ch)
        if digit < 0:
            raise ValueError("bad dictd number %r" % text)
        value = value * 64 + digit
    return value


def gcide_records(dictd):
    """One record per entry of gcide.index: the entry's text in gcide.dict.dz."""
    with gzip.open(os.path.join(dictd, "gcide.dict.dz")) as f:
        data = f.read()
    with open(os.path.join(dictd, "gcide.index"), "rb") as f:
        for line in f:
            fields = line.rstrip(b"\n").split(b"\t")
            if len(fields) < 3:
                continue
            offset = dictd_number(fields[1].decode("ascii"))
            length = dictd_number(fields[2].decode("ascii"))
            yield data[offset:offset + length]


def zipf_records(records, vocabulary, seed, mean_length):
    """Records of words drawn from a Zipf law (exponent 1) over a seeded
    vocabulary of made-up words, ranked at random. Record lengths are
    exponentially distributed."""
    rng = random.Random(seed)
    letters = "abcdefghijklmnopqrstuvwxyz"
    words = set()
    while len(words) < vocabulary:
        length = min(2 + int(rng.expovariate(1 / 4.5)), 16)
        words.add("".join(rng.choice(letters) for _ in range(length)))
    words = sorted(words)
    rng.shuffle(words)
    cumulative = []
    total = 0.0
    for rank in range(1, vocabulary + 1):
        total += 1.0 / rank
        cumulative.append(total)
    batch = 10000
    for start in range(0, records, batch):
        lengths = [1 + min(int(rng.expovariate(1 / (mean_length - 1))), 400)
                   for _ in range(min(batch, records - start))]
        picks = [words[bisect.bisect(cumulative, rng.random() * total)]
                 for _ in range(sum(lengths))]
        at = 0
        for length in lengths:
            yield " ".join(picks[at:at + length])
            at += length


def write_tokens(outdir, lines, description):
    os.makedirs(outdir, exist_ok=True)
    path = os.path.join(outdir, "tokens.txt")
    records = tokens = 0
    terms = set()
    with open(path + ".part", "w", encoding="ascii") as out:
        for line in lines:
            out.write(line)
            out.write("\n")
            words = line.split()
            records += 1
            tokens += len(words)
            terms.update(words)
    os.replace(path + ".part", path)
    info = dict(description, records=records, tokens=tokens, terms=len(terms),
                bytes=os.path.getsize(path))
    with open(os.path.join(outdir, "corpus.json"), "w") as out:
        json.dump(info, out, indent=1)
    return info


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("corpus", choices=["gcide", "synthetic", "small"])
    parser.add_argument("outdir")
    parser.add_argument("--dictd", default="/usr/share/dictd")
    parser.add_argument("--records", type=int, default=1000000)
    parser.add_argument("--seed", type=int, default=15)
    args = parser.parse_args()

    if args.corpus == "gcide":
        lines = (" ".join(t.decode("ascii") for t in tokenise(text))
                 for text in gcide_records(args.dictd))
        description = {"name": "gcide", "source": "dict-gcide, one record per index entry"}
    else:
        records, vocabulary = ((20000, 30000) if args.corpus == "small"
                               else (args.records, 500000))
        lines = zipf_records(records, vocabulary, args.seed, 20)
        description = {"name": args.corpus,
                       "source": "Zipf synthetic, %d-word vocabulary, seed %d"
                                 % (vocabulary, args.seed)}
    info = write_tokens(args.outdir, lines, description)
    print("%s: %d records, %d tokens, %d terms" %
          (info["name"], info["records"], info["tokens"], info["terms"]), file=sys.stderr)


if __name__ == "__main__":
    main()
