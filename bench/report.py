"""Writes the benchmark report, RESULTS.md, and the table behind it,
results.csv, from the per-corpus summaries of harness.py."""
import collections
import csv
import os

CLASSES = ["and", "or", "andnot", "phrase", "near", "prefix", "ranked"]
# The query sets (harness.py's keys) and their headings.
QUERY_SETS = [("", "rare terms (middle document frequency)"),
              ("frequent", "terms drawn by their frequency in the corpus")]
BOOLEAN_CLASSES = CLASSES[:-1]
INDEX_METRICS = [  # key, heading, compared with the peers of the same kind only
    ("index_wall_s", "index wall s", True),
    ("index_cpu_s", "index CPU s", True),
    ("peak_rss_mib", "peak RSS MiB", False),
    ("net_rss_mib", "net RSS MiB", False),
    ("index_mib", "index MiB", True),
    ("temp_mib", "temp MiB", True),
]
EXAMPLES = 5


def ok_rows(summary):
    return [r for r in summary["rows"] if r.get("status") == "ok" or "classes" in r]


def best_peer(rows, key, kind=None):
    values = [r[key] for r in rows
              if r["role"] == "peer" and key in r and (kind is None or r["kind"] == kind)]
    return min(values) if values else None


def class_ms(row, name):
    entry = row.get("classes", {}).get(name)
    return entry["ms"] if entry else None


def ratio(value, base):
    if value is None or not base:
        return "–"
    return "%.2f" % (value / base)


def number(value):
    """Three significant figures or so, whatever the magnitude."""
    if value >= 100:
        return "%.0f" % value
    return ("%.1f" if value >= 10 else "%.2f") % value


def cell(value, peer, lower):
    if value is None:
        return "n/a"
    return "%s (%s / %s)" % (number(value), ratio(value, peer), ratio(value, lower))


def agreement(summary):
    """Compares the records every engine returned for each Boolean query.
    The reference is the lower bound when it ran, else the answer most
    engines gave. Returns per engine and class the number of queries that
    differ, and some examples."""
    rows = [r for r in ok_rows(summary) if "queries" in r]
    lower = next((r for r in rows if r["role"] == "lower bound"), None)
    differ = {r["engine"]: collections.Counter() for r in rows}
    compared = collections.Counter()
    examples = []
    for index, (kind, terms) in enumerate(summary["queries"]):
        if kind not in BOOLEAN_CLASSES:
            continue
        answers = {}
        for r in rows:
            q = r["queries"].get(str(index)) or r["queries"].get(index)
            if q is not None:
                answers[r["engine"]] = (q["count"], q["hash"])
        if len(answers) < 2:
            continue
        compared[kind] += 1
        if lower is not None and lower["engine"] in answers:
            reference = answers[lower["engine"]]
        else:
            reference = collections.Counter(answers.values()).most_common(1)[0][0]
        wrong = [e for e, a in answers.items() if a != reference]
        for engine in wrong:
            differ[engine][kind] += 1
        if wrong and len(examples) < EXAMPLES:
            counts = ", ".join("%s %s" % (e, a[0]) for e, a in answers.items())
            examples.append("%s `%s`: %s" % (kind, terms, counts))
    return differ, compared, examples


def corpus_section(summary):
    info = summary["corpus"]
    rows = summary["rows"]
    done = ok_rows(summary)
    lower = next((r for r in done if r["role"] == "lower bound"), None)
    out = []
    out.append("## %s" % info["name"])
    out.append("")
    out.append("%s: %s records, %s tokens, %s distinct terms, token file %.1f MiB. "
               "Run %s on %s; load average before each engine: %s."
               % (info["source"], format(info["records"], ","), format(info["tokens"], ","),
                  format(info["terms"], ","), info["bytes"] / 1048576.0, summary["date"],
                  summary["machine"],
                  ", ".join("%s %.1f" % (r["engine"], r["load_before"]) for r in rows)))
    rerun = {}
    for r in rows:
        if r.get("date", summary["date"]) != summary["date"]:
            rerun.setdefault(r["date"], []).append(r["engine"])
    for date, engines in sorted(rerun.items()):
        out[-1] += " Measured again on %s: %s." % (date, ", ".join(engines))
    out.append("")
    out.append("Indexing. Each cell: the figure (its ratio to the best peer / to the lower "
               "bound). Wall, CPU and size are compared with the peers of the same kind, "
               "memory with every peer. Net RSS: the peak less the %s MiB the driver "
               "itself takes (its peak on an empty token file)."
               % (number(summary["driver_rss_mib"]) if "driver_rss_mib" in summary else "?"))
    out.append("")
    out.append("| engine | kind | " + " | ".join(m[1] for m in INDEX_METRICS) + " |")
    out.append("|---|---|" + "---|" * len(INDEX_METRICS))
    for r in rows:
        if "index_wall_s" not in r:
            out.append("| %s | %s | %s |" % (r["engine"], r["kind"], r.get("status", "?")) +
                       " |" * (len(INDEX_METRICS) - 1))
            continue
        cells = []
        for key, _, same_kind in INDEX_METRICS:
            peer = best_peer(done, key, r["kind"] if same_kind else None)
            cells.append(cell(r.get(key), peer, lower.get(key) if lower else None))
        out.append("| %s | %s | %s |" % (r["engine"], r["kind"], " | ".join(cells)))
    failed = [r for r in rows if r.get("status") not in (None, "ok")]
    if failed:
        out.append("")
        for r in failed:
            out.append("- %s: %s" % (r["engine"], r["status"]))
    out.append("")
    for key, title in QUERY_SETS:
        view = query_view(summary, key)
        if any("classes" in r for r in ok_rows(view)):
            # The index targets go with the first set's table.
            out.extend(query_part(view, title, with_index=not key))
    out.extend(budget_targets(done))
    return out


def query_view(summary, key):
    """The summary as it reads for one query set: its queries, and rows whose
    classes and queries are that set's (the rare set's are the top ones)."""
    if not key:
        return summary
    rows = []
    for r in summary["rows"]:
        view = {k: v for k, v in r.items() if k not in ("classes", "queries", key)}
        view.update(r.get(key, {}))
        rows.append(view)
    return dict(summary, rows=rows, queries=summary.get("queries_" + key, []))


def mean_matches(rows, lower):
    """Mean matching records per query and class, from the lower bound, or
    when it did not run from the first engine that answered every query."""
    source = lower if lower is not None and "queries" in lower else next(
        (r for r in rows if "queries" in r and all(q["count"] != "error"
                                                   for q in r["queries"].values())), None)
    if source is None:
        return []
    means = []
    for name in CLASSES:
        counts = [int(q["count"]) for q in source["queries"].values()
                  if q["class"] == name and q["count"] != "error"]
        if counts:
            means.append("%s %.0f" % (name, sum(counts) / len(counts)))
    return ["Mean matching records per query (%s): %s." % (
        "lower bound" if source is lower else source["engine"], ", ".join(means)), ""]


def query_part(summary, title, with_index):
    """The query table of one query set, its mean matching records, the
    agreement of the engines and the targets (the index targets too when
    with_index)."""
    done = ok_rows(summary)
    lower = next((r for r in done if r["role"] == "lower bound"), None)
    out = ["### Queries: %s" % title, ""]
    out.append("Total ms per class over 200 queries, the least of three timed passes "
               "after a warm-up pass (its ratio "
               "to the fastest peer that answers the class / to the lower bound).")
    out.append("")
    out.append("| engine | " + " | ".join(CLASSES) + " |")
    out.append("|---|" + "---|" * len(CLASSES))
    for r in done:
        if "classes" not in r:
            continue
        cells = []
        for name in CLASSES:
            peers = [class_ms(p, name) for p in done if p["role"] == "peer"]
            peers = [v for v in peers if v is not None]
            cells.append(cell(class_ms(r, name), min(peers) if peers else None,
                              class_ms(lower, name) if lower else None))
        out.append("| %s | %s |" % (r["engine"], " | ".join(cells)))
    out.append("")
    out.extend(mean_matches(done, lower))
    differ, compared, examples = agreement(summary)
    if not compared:
        out.append("Agreement: fewer than two engines answered; nothing to compare.")
    else:
        out.append("Agreement on the Boolean classes (%s queries compared):"
                   % ", ".join("%s %d" % (k, compared[k]) for k in BOOLEAN_CLASSES
                               if compared[k]))
        out.append("")
        for engine, counter in differ.items():
            if counter:
                out.append("- %s differs on %s." % (engine, ", ".join(
                    "%d %s" % (counter[k], k) for k in BOOLEAN_CLASSES if counter[k])))
        if not any(differ.values()):
            out.append("- every engine returned the same records for every query.")
        for example in examples:
            out.append("- example: %s" % example)
    out.append("")
    out.extend(targets(done, differ, with_index))
    return out


def budget_targets(rows):
    """The goals of the working-memory budget, as ratios in this run: word
    mode with 64 MiB at most 0.6 of FTS5 detail=full's wall time, record mode
    with 64 MiB at most 0.6 of detail=none's, and at 64 MiB no more bytes
    written beyond the index than the index holds."""
    by_name = {r["engine"]: r for r in rows}
    out = ["Working memory (`tvSetIndexingMemory`): Tarvis with the default (260,536 "
           "bytes) and with 16, 64 and 256 MiB. Temp MiB: bytes handed to write calls "
           "beyond the final index (temporary files and rewrites). Targets at 64 MiB, "
           "each a ratio that meets the target at or below its limit (marked *).", ""]
    out.append("| engine | index wall s | index CPU s | peak RSS MiB | temp MiB | index MiB |")
    out.append("|---|---|---|---|---|---|")
    shown = False
    for mode in ("word", "record", "idf"):
        for suffix in ("", "-m16", "-m64", "-m256"):
            r = by_name.get("tarvis-%s%s" % (mode, suffix))
            if r is None or "index_wall_s" not in r:
                continue
            shown = True
            out.append("| %s | %s | %s | %s | %s | %s |" % (
                r["engine"], number(r["index_wall_s"]), number(r["index_cpu_s"]),
                number(r["peak_rss_mib"]),
                number(r["temp_mib"]) if "temp_mib" in r else "n/a", number(r["index_mib"])))
    if not shown:
        return []
    out.append("")
    checks = []
    for engine, peer, limit in (("tarvis-word-m64", "fts5-full", 0.6),
                                ("tarvis-record-m64", "fts5-none", 0.6)):
        mine, base = by_name.get(engine), by_name.get(peer)
        if mine and base and "index_wall_s" in mine and "index_wall_s" in base:
            value = mine["index_wall_s"] / base["index_wall_s"]
            checks.append("- %s wall / %s wall: %.2f%s (limit %.1f; CPU %.2f)" % (
                engine, peer, value, "*" if value <= limit else "", limit,
                mine["index_cpu_s"] / base["index_cpu_s"]))
    for engine in ("tarvis-word-m64", "tarvis-record-m64", "tarvis-idf-m64"):
        mine = by_name.get(engine)
        if mine and "temp_mib" in mine and mine.get("index_mib"):
            value = mine["temp_mib"] / mine["index_mib"]
            checks.append("- %s temp / index size: %.2f%s (limit 1.0)" % (
                engine, value, "*" if value <= 1.0 else ""))
    out.extend(checks)
    out.append("")
    return out


def limits(rows, r, with_index):
    """The limits the targets set for a Tarvis row: (label, figure, limit, what
    the limit is) for each target a peer of this corpus gives a limit for;
    the query classes only unless with_index."""
    out = []
    for label, key, same_kind, factor, unit in (
            ("index wall", "index_wall_s", True, 0.5, "s"),
            ("peak RSS", "peak_rss_mib", False, 0.5, "MiB"),
            ("peak RSS net", "net_rss_mib", False, 0.5, "MiB"),
            ("index size", "index_mib", True, 0.9, "MiB")) if with_index else ():
        peers = [p for p in rows if p["role"] == "peer" and key in p and
                 (not same_kind or p["kind"] == r["kind"])]
        if key not in r or not peers:
            continue
        best = min(peers, key=lambda p: p[key])
        out.append((label, r[key], factor * best[key],
                    "%.1f x %s %s %s" % (factor, best["engine"], number(best[key]), unit)))
    for name in CLASSES:
        peers = [p for p in rows if p["role"] == "peer" and class_ms(p, name) is not None]
        mine = class_ms(r, name)
        if mine is None or not peers:
            continue
        best = min(peers, key=lambda p: class_ms(p, name))
        out.append((name, mine, class_ms(best, name),
                    "%s %s ms" % (best["engine"], number(class_ms(best, name)))))
    return out


def targets(rows, differ, with_index):
    """The goals set for Tarvis, checked against the peers of this corpus:
    each figure divided by its limit, so that 1.00 or less meets the target."""
    tarvis = [r for r in rows if r["role"] == "tarvis" and "index_wall_s" in r]
    out = ["Targets for Tarvis: %sper query class no slower than the fastest peer. "
           "Each cell: the figure divided by its limit (1.00 or less meets the target, "
           "marked *), then the limit." % (
               "indexing wall time at most half the fastest peer's of the "
               "same kind; peak memory at most half the smallest peer's (also shown net of the "
               "driver's own memory, see the method); index size at most 0.9 of the smallest "
               "peer index of the same kind; " if with_index else ""), ""]
    if not tarvis or not any(limits(rows, r, with_index) for r in tarvis):
        out.append("No Tarvis results and peers to compare on this corpus.")
        out.append("")
        return out
    labels = []
    for r in tarvis:
        for label, _, _, _ in limits(rows, r, with_index):
            if label not in labels:
                labels.append(label)
    out.append("| engine | " + " | ".join(labels) + " |")
    out.append("|---|" + "---|" * len(labels))
    for r in tarvis:
        found = {label: (value, limit, what) for label, value, limit, what in limits(rows, r, with_index)}
        cells = []
        for label in labels:
            if label not in found:
                cells.append("n/a")
                continue
            value, limit, what = found[label]
            wrong = differ.get(r["engine"], {}).get(label, 0)
            cells.append("%.2f%s (%s)%s" % (value / limit, "*" if value <= limit else "",
                                            what, ", %d answers differ" % wrong if wrong else ""))
        out.append("| %s | %s |" % (r["engine"], " | ".join(cells)))
    out.append("")
    return out


METHOD = """\
## Method

- Run with `bench/run.sh` (see the README). Corpora: **gcide**, the Debian package
  dict-gcide, one record per entry of `gcide.index` (its text is the span of
  `gcide.dict.dz` the entry points to, so entries that share a span share a text);
  **synthetic**, 1,000,000 records of made-up words drawn from a Zipf law
  (exponent 1, 500,000 random words of 2 to 16 letters ranked at random, record
  lengths exponential with mean 20, seeded); **small**, the same generator with 20,000
  records and 30,000 words.
- One tokeniser for all (`prepare_corpus.py`): runs of ASCII letters and digits,
  folded to lower case, tokens over 64 bytes dropped. It runs once into a token
  file, one record per line, that every driver reads, so every engine indexes the
  same tokens at the same positions (record r is line r, positions count from 1).
- Queries (`make_queries.py`, seeded): 200 per class. Terms are of middle document
  frequency (in at least max(3, N/5000) and at most max(4 x that, N/50) of the N
  records); AND, AND NOT and ranked terms come from one record; phrases are adjacent
  token pairs of a real record, proximity pairs tokens 2 to 5 apart in a real record;
  prefixes are the first 3 or 4 letters of a term
  of 5 letters or more found in at least max(3, N/5000) records.
- Semantics every driver implements: AND, OR, AND NOT on records; phrase: the second
  term at the position right after the first; proximity: both terms in the record at
  most 5 positions apart, in either order (Xapian `OP_NEAR` with window 6, FTS5
  `NEAR(a b, 4)` which counts the tokens between, Lucene++ unordered `SpanNearQuery`
  with slop 4, Tarvis `w5`, the lower bound |i - j| <= 5); prefix: any term that
  starts with the prefix. Ranked: each engine's own scoring, top 10 of an OR of the
  2-3 terms; only timed, never compared.
- Engines, with their default settings otherwise: the **lower bound** reads the
  token file, inverts it into (record, position) lists in a hash map and writes them
  raw, 8 bytes a posting (its query side answers from those lists in memory by
  the definitions above, plainly rather than fast, and is the reference of the
  agreement check); **xapian** (libxapian) with positions, one
  `add_document` per record and one commit; **fts5-full** / **fts5-none**: an SQLite
  FTS5 contentless table (`content=''`, `detail=full` / `detail=none`, `ascii`
  tokenizer), loaded in one transaction without journal or sync, then FTS5's
  `optimize`; **lucene** / **lucene-records**: Lucene++ 3.0.8, one unstored field
  split on spaces, unlimited field length, with positions / with
  `omitTermFreqAndPositions`, then `optimize()`; **tarvis-word**, **-record**,
  **-idf**: Tarvis through its public header in each index mode, one indexing
  session; **-multi**: the records spread over 16 sessions, then the 16 partitions
  merged with `tvOptomizeIndex`. Kind: *word* engines keep positions, *record*
  engines do not (and skip phrase and proximity).
- Figures: indexing wall time, CPU time (user + system, from the resource usage of
  the indexing process, `wait4`) and its peak resident memory (`VmHWM`, which the
  driver reads at the end; the token file is read through a 1 MiB buffer, so the
  memory is the engine's own plus a few MiB of driver: the net figure subtracts
  the lower bound driver's peak on an empty token file, which is that driver part:
  C and C++ runtimes and the buffer), index size (every file the
  engine left in its index directory). Queries: each driver opens its index, runs
  the whole query set once as a warm-up (its results are the ones compared), then
  each class three times, timed, and keeps the least of the three totals (the
  machine is shared with other work, which only ever adds time); the time covers
  building the query and enumerating every matching record. Indexing runs once: its
  CPU time is the figure least disturbed by other work on the machine. One engine
  runs at a time; the token file is read once before each engine to warm the page
  cache.
- Agreement: for each Boolean query the harness compares the count and a hash of
  the sorted record numbers of every engine with the lower bound's.
"""


def write(summaries, out_dir):
    lines = ["# Benchmark results", "",
             "Written by `bench/run.sh`; see the method at the end. "
             "Lower figures are better throughout.", ""]
    for summary in summaries:
        lines.extend(corpus_section(summary))
    notes = os.path.join(os.path.dirname(os.path.abspath(__file__)), "NOTES.md")
    if os.path.exists(notes):
        with open(notes) as f:
            lines.append(f.read())
    lines.append(METHOD)
    os.makedirs(out_dir, exist_ok=True)
    with open(os.path.join(out_dir, "RESULTS.md"), "w") as f:
        f.write("\n".join(lines))
    with open(os.path.join(out_dir, "results.csv"), "w", newline="") as f:
        writer = csv.writer(f)
        writer.writerow(["corpus", "engine", "kind", "status", "records", "tokens"] +
                        [m[0] for m in INDEX_METRICS] +
                        ["query_%s%s_ms" % (key + "_" if key else "", c)
                         for key, _ in QUERY_SETS for c in CLASSES])
        for summary in summaries:
            info = summary["corpus"]
            for r in summary["rows"]:
                metrics = ["%.4f" % r[m[0]] if m[0] in r else "" for m in INDEX_METRICS]
                times = []
                for key, _ in QUERY_SETS:
                    part = r.get(key, {}) if key else r
                    times += ["" if class_ms(part, c) is None else "%.3f" % class_ms(part, c)
                              for c in CLASSES]
                writer.writerow([info["name"], r["engine"], r["kind"], r.get("status", ""),
                                 info["records"], info["tokens"]] + metrics + times)
