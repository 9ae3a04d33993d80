#!/usr/bin/env python3
"""What a search costs through the Python package over the same query
through the C interface: 10,000 searches of one term each way, on one small
index made here.

    bench/python_overhead.py [--build build] [--searches 10000]

Needs the release build (scripts/build.sh) with its Python package. The C
side is python_overhead.c, compiled here against build/libtarvis.so; it runs
the query already in the engine's short form and walks the records of each
result. The Python side calls Index.search (typed query converted on every
call, one Hit object per record) and Index.count, and the C interface again
through ctypes for the cost of merely crossing into C from Python.
"""

import argparse
import ctypes
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(HERE, "..", "build"))
    parser.add_argument("--searches", type=int, default=10000)
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    sys.path.insert(0, os.path.join(build, "python"))
    import tarvis

    n = args.searches
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, "bench.idx")
        with tarvis.Index.create(path) as ix:
            with ix.session() as s:
                for i in range(5000):
                    words = " ".join(f"w{(i * 7 + k) % 997}" for k in range(40))
                    s.add_text(words + (" needle" if i % 100 == 0 else ""))
            hits = len(ix.search("needle"))
            timings = {}
            for name, call in (("Index.search", lambda: ix.search("needle")),
                               ("Index.count", lambda: ix.count("needle"))):
                call()
                start = time.perf_counter_ns()
                for _ in range(n):
                    call()
                timings[name] = (time.perf_counter_ns() - start) / n

        term = "0x" + b"needle".hex()
        driver = os.path.join(work, "python_overhead")
        subprocess.run(["cc", "-O2", "-o", driver,
                        os.path.join(HERE, "python_overhead.c"),
                        "-I", os.path.join(HERE, "..", "include"),
                        "-L", build, "-ltarvis", "-Wl,-rpath," + build],
                       check=True)
        out = subprocess.run([driver, path, term, str(n)], check=True,
                             capture_output=True, text=True).stdout.split()
        c_ns, c_records = float(out[0]), int(out[1])
        assert c_records == hits, (c_records, hits)

        # The bare crossing: the same C calls made from Python by ctypes.
        lib = ctypes.CDLL(os.path.join(build, "libtarvis.so"))
        lib.tvCreateIndexManager.restype = ctypes.c_void_p
        lib.tvProcessQuery.restype = ctypes.c_void_p
        lib.tvProcessQuery.argtypes = [ctypes.c_void_p] * 3 + [ctypes.c_void_p]
        lib.tvOpenIndex.argtypes = [ctypes.c_void_p, ctypes.c_char_p,
                                    ctypes.c_void_p]
        for f in ("tvStartRetrievalSession", "tvCloseIndex"):
            getattr(lib, f).argtypes = [ctypes.c_void_p, ctypes.c_void_p]
        lib.tvDeleteResultVector.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
        status = ctypes.c_int32(0)
        manager = lib.tvCreateIndexManager(ctypes.byref(status))
        lib.tvOpenIndex(manager, path.encode(), ctypes.byref(status))
        lib.tvStartRetrievalSession(manager, ctypes.byref(status))
        query = ctypes.create_string_buffer(term.encode())
        start = time.perf_counter_ns()
        for _ in range(n):
            vector = lib.tvProcessQuery(manager, None, query,
                                        ctypes.byref(status))
            lib.tvDeleteResultVector(vector, ctypes.byref(status))
        ctypes_ns = (time.perf_counter_ns() - start) / n
        lib.tvCloseIndex(manager, ctypes.byref(status))

    print(f"{n} searches of one term ({hits} records of 5000) per call:")
    print(f"  C interface (query in short form, records walked): "
          f"{c_ns / 1000:8.2f} us")
    print(f"  ctypes, the same C calls (no walk):                "
          f"{ctypes_ns / 1000:8.2f} us")
    for name, ns in timings.items():
        print(f"  tarvis.{name + ' (typed query)':40s}"
              f"{ns / 1000:8.2f} us   (+{(ns - c_ns) / 1000:.2f} us over C)")


if __name__ == "__main__":
    main()
