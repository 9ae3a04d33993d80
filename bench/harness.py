#!/usr/bin/env python3
"""Runs the benchmark: prepares the corpora, runs every engine one at a time,
checks that the engines agree, and writes RESULTS.md and results.csv.

  harness.py [--corpus small|gcide|synthetic|all]... [--engines a,b,...]

Without --corpus it runs small and gcide, then synthetic when the time spent
so far leaves room for it within --budget-minutes. Everything it makes goes
under --work (bench/work): corpora, indexes, per-engine logs and results, and
one summary.json per corpus; the report is written from the summaries of
every corpus found there, so a run of one corpus keeps the others' figures.
"""
import argparse
import json
import os
import platform
import shutil
import subprocess
import sys
import threading
import time

import report

HERE = os.path.dirname(os.path.abspath(__file__))
CORPORA = ["small", "gcide", "synthetic"]
# The query sets of every corpus (make_queries.py): the row and summary keys
# of their results, and their files. The rare set keeps the keys it has
# always had.
QUERY_SETS = [("", "queries.txt"), ("frequent", "queries-frequent.txt")]
DEFAULT_CORPORA = ["small", "gcide"]


class Engine:
    def __init__(self, name, binary, variant, kind, role):
        self.name = name
        self.binary = binary
        self.variant = variant
        self.kind = kind  # "word" (positions) or "record"
        self.role = role  # "lower bound", "peer" or "tarvis"


ENGINES = [
    Engine("lowerbound", "bench_lowerbound", "positions", "word", "lower bound"),
    Engine("xapian", "bench_xapian", "positions", "word", "peer"),
    Engine("fts5-full", "bench_fts5", "full", "word", "peer"),
    Engine("fts5-none", "bench_fts5", "none", "record", "peer"),
    Engine("lucene", "bench_lucene", "positions", "word", "peer"),
    Engine("lucene-records", "bench_lucene", "records", "record", "peer"),
    Engine("tarvis-word", "bench_tarvis", "word", "word", "tarvis"),
    Engine("tarvis-record", "bench_tarvis", "record", "record", "tarvis"),
    Engine("tarvis-idf", "bench_tarvis", "idf", "record", "tarvis"),
    Engine("tarvis-word-multi", "bench_tarvis", "word-multi", "word", "tarvis"),
    Engine("tarvis-record-multi", "bench_tarvis", "record-multi", "record", "tarvis"),
    Engine("tarvis-idf-multi", "bench_tarvis", "idf-multi", "record", "tarvis"),
] + [Engine("tarvis-%s-m%d" % (mode, mib), "bench_tarvis", "%s-m%d" % (mode, mib), kind, "tarvis")
     for mode, kind in (("word", "word"), ("record", "record")) for mib in (16, 64, 256)] + [
    Engine("tarvis-idf-m64", "bench_tarvis", "idf-m64", "record", "tarvis"),
]


def log(message):
    print("[bench %s] %s" % (time.strftime("%H:%M:%S"), message), file=sys.stderr, flush=True)


def measure(command, log_path, timeout):
    """Runs a command; returns (exit code, wall s, CPU s, peak RSS KiB, bytes
    written) of the child. Times come from the child's resource usage; the
    peak memory from the line "peak_rss_kib N" that a driver prints at the
    end, which, unlike the resource usage, leaves out the harness's own image
    that the child carries until it starts the driver; the bytes it handed to
    write calls from the line "written_bytes N" (None without one). A command
    past the timeout is killed."""
    with open(log_path, "a") as out:
        out.write("$ %s\n" % " ".join(command))
        out.flush()
        start = time.monotonic()
        child = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=out, text=True)
        killer = threading.Timer(timeout, child.kill)
        killer.start()
        try:
            printed = child.stdout.read()
            _, status, usage = os.wait4(child.pid, 0)
        finally:
            killer.cancel()
        wall = time.monotonic() - start
        code = os.waitstatus_to_exitcode(status)
        out.write(printed)
        if code != 0:
            out.write("exit code %d after %.1f s\n" % (code, wall))
    peak = usage.ru_maxrss
    written = None
    for line in printed.splitlines():
        if line.startswith("peak_rss_kib "):
            peak = int(line.split()[1])
        elif line.startswith("written_bytes "):
            written = int(line.split()[1])
    return code, wall, usage.ru_utime + usage.ru_stime, peak, written


def tree_bytes(path):
    total = 0
    for root, _, files in os.walk(path):
        for name in files:
            total += os.path.getsize(os.path.join(root, name))
    return total


def read_results(path):
    """A driver's results file: per-query (class, count, hash) and per-class
    (queries, total ms); a class the engine cannot answer maps to None."""
    queries, classes = {}, {}
    with open(path) as f:
        for line in f:
            parts = line.split()
            if parts[0] == "q":
                queries[int(parts[1])] = {"class": parts[2], "count": parts[3], "hash": parts[4]}
            elif parts[0] == "class":
                classes[parts[1]] = (None if parts[2] == "unsupported"
                                     else {"queries": int(parts[2]), "ms": float(parts[3])})
    return queries, classes


def prepare(corpus, directory, args):
    """Makes the token file and the query set of a corpus unless they exist
    for the same parameters."""
    info_path = os.path.join(directory, "corpus.json")
    wanted = {"small": 20000, "synthetic": args.synthetic_records}.get(corpus)
    if os.path.exists(info_path):
        with open(info_path) as f:
            info = json.load(f)
        if wanted is None or info["records"] == wanted:
            if not all(os.path.exists(os.path.join(directory, name))
                       for _, name in QUERY_SETS):
                log("drawing the query sets of %s" % corpus)
                subprocess.run([sys.executable, os.path.join(HERE, "make_queries.py"),
                                directory], check=True)
            return info
    command = [sys.executable, os.path.join(HERE, "prepare_corpus.py"), corpus, directory]
    if corpus == "synthetic":
        command += ["--records", str(args.synthetic_records)]
    log("preparing corpus %s" % corpus)
    subprocess.run(command, check=True)
    subprocess.run([sys.executable, os.path.join(HERE, "make_queries.py"), directory], check=True)
    with open(info_path) as f:
        return json.load(f)


def warm(path):
    """Reads a file once so that every engine starts from a warm page cache."""
    with open(path, "rb") as f:
        while f.read(1 << 24):
            pass


def driver_memory(directory, args):
    """The peak memory of the lower bound driver indexing an empty token file:
    what every driver takes before its engine does anything (C and C++
    runtimes, the token buffer). None when the lower bound was not built."""
    binary = os.path.join(args.build, "bench_lowerbound")
    if not os.path.exists(binary):
        return None
    empty = os.path.join(directory, "empty.txt")
    index = os.path.join(directory, "index", "empty")
    open(empty, "w").close()
    shutil.rmtree(index, ignore_errors=True)
    os.makedirs(index)
    rc, _, _, rss, _ = measure([binary, "index", "positions", empty, index],
                            os.path.join(directory, "driver.log"), args.timeout)
    shutil.rmtree(index, ignore_errors=True)
    return rss / 1024.0 if rc == 0 else None


def run_engine(engine, directory, args):
    tokens = os.path.join(directory, "tokens.txt")
    index = os.path.join(directory, "index", engine.name)
    logs = os.path.join(directory, "logs")
    results = os.path.join(directory, "results")
    os.makedirs(logs, exist_ok=True)
    os.makedirs(results, exist_ok=True)
    shutil.rmtree(index, ignore_errors=True)
    os.makedirs(index)
    log_path = os.path.join(logs, engine.name + ".log")
    if os.path.exists(log_path):
        os.remove(log_path)
    binary = os.path.join(args.build, engine.binary)
    row = {"engine": engine.name, "kind": engine.kind, "role": engine.role,
           "load_before": os.getloadavg()[0]}
    warm(tokens)
    log("%s: indexing" % engine.name)
    rc, wall, cpu, rss, written = measure([binary, "index", engine.variant, tokens, index],
                                          log_path, args.timeout)
    if rc != 0:
        row["status"] = "index failed (see %s)" % os.path.relpath(log_path, args.work)
        return row
    index_bytes = tree_bytes(index)
    row.update(index_wall_s=wall, index_cpu_s=cpu, peak_rss_mib=rss / 1024.0,
               index_mib=index_bytes / 1048576.0)
    if written is not None and written >= 0:
        # Whatever was written beyond the index itself: temporary files, and
        # rewrites of the index.
        row["temp_mib"] = max(written - index_bytes, 0) / 1048576.0
    errors = 0
    for key, name in QUERY_SETS:
        log("%s: querying (%s)" % (engine.name, name))
        out = os.path.join(results, engine.name + ("-" + key if key else "") + ".txt")
        rc, wall, _, _, _ = measure([binary, "query", engine.variant, index,
                                  os.path.join(directory, name), out],
                                 log_path, args.timeout)
        if rc != 0:
            row["status"] = "query failed (see %s)" % os.path.relpath(log_path, args.work)
            return row
        queries, classes = read_results(out)
        # The rare set's figures stay at the top of the row, the others under
        # their key.
        part = row.setdefault(key, {}) if key else row
        part.update(classes=classes, queries=queries, query_wall_s=wall)
        errors += sum(1 for q in queries.values() if q["count"] == "error")
    row["load_after"] = os.getloadavg()[0]
    row["status"] = "ok" if errors == 0 else "%d queries failed" % errors
    if not args.keep_indexes:
        shutil.rmtree(index, ignore_errors=True)
    return row


def run_corpus(corpus, engines, args):
    directory = os.path.join(args.work, corpus)
    os.makedirs(directory, exist_ok=True)
    started = time.time()
    date = time.strftime("%Y-%m-%d %H:%M")
    info = prepare(corpus, directory, args)
    query_lists = {}
    for key, name in QUERY_SETS:
        with open(os.path.join(directory, name)) as f:
            query_lists["queries" + ("_" + key if key else "")] = [
                line.rstrip("\n").split("\t") for line in f]
    driver_rss = driver_memory(directory, args)
    rows = [run_engine(engine, directory, args) for engine in engines]
    for row in rows:
        row["date"] = date
    if args.engines:
        rows, date = keep_earlier_rows(directory, info, query_lists, rows, date)
    for row in rows:
        if "peak_rss_mib" in row and driver_rss is not None:
            row["net_rss_mib"] = max(row["peak_rss_mib"] - driver_rss, 0.0)
    summary = {
        "corpus": info,
        "date": date,
        "machine": "%d cores, %s" % (os.cpu_count(), platform.processor() or platform.machine()),
        "seconds": time.time() - started,
        "rows": rows,
    }
    summary.update(query_lists)
    if driver_rss is not None:
        summary["driver_rss_mib"] = driver_rss
    with open(os.path.join(directory, "summary.json"), "w") as f:
        json.dump(summary, f)
    return summary


def keep_earlier_rows(directory, info, query_lists, rows, date):
    """A run of some engines keeps the rows of the others from the corpus's
    last summary when that was made from the same corpus and query sets, so that
    one engine can be measured again without running its peers. Returns the
    rows in the usual engine order and the date of the earlier run."""
    path = os.path.join(directory, "summary.json")
    if not os.path.exists(path):
        return rows, date
    with open(path) as f:
        earlier = json.load(f)
    if earlier["corpus"] != info or any(earlier.get(k) != v for k, v in query_lists.items()):
        return rows, date
    by_engine = {r["engine"]: r for r in earlier["rows"]}
    by_engine.update((r["engine"], r) for r in rows)
    order = [e.name for e in ENGINES]
    kept = sorted(by_engine.values(),
                  key=lambda r: order.index(r["engine"]) if r["engine"] in order else len(order))
    return kept, earlier["date"]


def available_engines(args):
    wanted = None
    if args.engines:
        wanted = set(args.engines.split(","))
        unknown = wanted - {e.name for e in ENGINES}
        if unknown:
            raise SystemExit("unknown engines: " + ", ".join(sorted(unknown)))
    chosen = []
    for engine in ENGINES:
        if wanted is not None and engine.name not in wanted:
            continue
        if not os.path.exists(os.path.join(args.build, engine.binary)):
            log("%s: %s was not built, skipped" % (engine.name, engine.binary))
            continue
        chosen.append(engine)
    return chosen


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--corpus", action="append", choices=CORPORA + ["all"])
    parser.add_argument("--engines", help="comma-separated engine names (default: all built)")
    parser.add_argument("--build", default=os.path.join(HERE, "work", "build"))
    parser.add_argument("--work", default=os.path.join(HERE, "work"))
    parser.add_argument("--out", default=HERE, help="where RESULTS.md and results.csv go")
    parser.add_argument("--synthetic-records", type=int, default=1000000)
    parser.add_argument("--budget-minutes", type=float, default=30.0)
    parser.add_argument("--timeout", type=float, default=900.0, help="seconds per step")
    parser.add_argument("--keep-indexes", action="store_true")
    parser.add_argument("--started", type=float, default=time.time(),
                        help="start time of the whole run, for the budget")
    args = parser.parse_args()

    engines = available_engines(args)
    if not engines:
        raise SystemExit("no engine to run")
    if args.corpus:
        corpora = CORPORA if "all" in args.corpus else [c for c in CORPORA if c in args.corpus]
        optional = []
    else:
        corpora, optional = DEFAULT_CORPORA, ["synthetic"]
    seconds = {}
    for corpus in corpora:
        seconds[corpus] = run_corpus(corpus, engines, args)["seconds"]
    for corpus in optional:
        # The synthetic corpus holds about as many tokens as gcide but more
        # records, and takes about twice as long; it runs when that much
        # time, with a margin, is still left.
        spent = time.time() - args.started
        estimate = 2.5 * seconds.get("gcide", 0) * args.synthetic_records / 1000000
        if seconds.get("gcide") and spent + estimate < args.budget_minutes * 60:
            run_corpus(corpus, engines, args)
        else:
            log("%s skipped: %.0f s spent, about %.0f s more needed, budget %.0f s"
                % (corpus, spent, estimate, args.budget_minutes * 60))
    summaries = []
    for corpus in CORPORA:
        path = os.path.join(args.work, corpus, "summary.json")
        if os.path.exists(path):
            with open(path) as f:
                summaries.append(json.load(f))
    report.write(summaries, args.out)
    log("wrote %s and %s (%.0f s in all)" % (os.path.join(args.out, "RESULTS.md"),
                                             os.path.join(args.out, "results.csv"),
                                             time.time() - args.started))


if __name__ == "__main__":
    main()
