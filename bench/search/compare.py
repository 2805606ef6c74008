#!/usr/bin/env python3
"""Times the line-by-line regular-expression search of the engine against
GNU grep -cE and Python's re on the same generated Pascal-like text, in one
run, and checks that all three count the same lines.

Usage: compare.py [--bench PATH] [--text PATH] [--mib N]
  --bench  the search_bench program (default build/regex-rel/bench/search/search_bench,
           else build/release/bench/search/search_bench)
  --text   the text file; generated there by make_pascal_text.py when missing
           (default build/bench-search/pascal.txt, 100 MiB)

Times are CPU seconds (user + system) of the search alone where it can be
separated: the engine and Python search text already in memory (best of 3),
grep reads the file from the page cache (best of 3). The machine is shared, so
CPU time is the fair measure; wall time is shown for the engine as well.
"""
import argparse
import json
import os
import re
import resource
import subprocess
import sys
import time

PATTERNS = ["procedure", "proc[a-z]+", r"[0-9]+\.[0-9]+", "begin|end"]
BENCH_NAMES = ["literal", "literal_then_set", "decimal_number", "alternatives"]
ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def time_grep(pattern, text):
    best, count = None, None
    for _ in range(3):
        before = children_cpu()
        out = subprocess.run(["grep", "-cE", pattern, text], capture_output=True,
                             env=dict(os.environ, LC_ALL="C"), check=False)
        cpu = children_cpu() - before
        count = int(out.stdout.decode().strip() or 0)
        best = cpu if best is None else min(best, cpu)
    return best, count


def time_python(pattern, lines):
    rx = re.compile(pattern.encode())
    search = rx.search
    best, count = None, None
    for _ in range(3):
        start = time.process_time()
        count = sum(1 for line in lines if search(line))
        cpu = time.process_time() - start
        best = cpu if best is None else min(best, cpu)
    return best, count


def run_engine(bench, text):
    out = subprocess.run([bench, "--benchmark_format=json", "--benchmark_repetitions=3",
                          "--benchmark_report_aggregates_only=false"],
                         capture_output=True, env=dict(os.environ, QUILL_SEARCH_BENCH_TEXT=text), check=True)
    results = {}
    for b in json.loads(out.stdout)["benchmarks"]:
        if b.get("run_type") != "iteration":
            continue
        name = b["name"].split("/")[1]
        cpu = b["cpu_time"] / 1000.0  # milliseconds
        wall = b["real_time"] / 1000.0
        prev = results.get(name)
        if prev is None or cpu < prev[0]:
            results[name] = (cpu, wall, int(b["matched_lines"]))
    return results


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bench")
    parser.add_argument("--text", default=os.path.join(ROOT, "build", "bench-search", "pascal.txt"))
    parser.add_argument("--mib", type=int, default=100)
    args = parser.parse_args()

    bench = args.bench
    if bench is None:
        for tree in ("regex-rel", "release"):
            candidate = os.path.join(ROOT, "build", tree, "bench", "search", "search_bench")
            if os.path.exists(candidate):
                bench = candidate
                break
    if bench is None or not os.path.exists(bench):
        sys.exit("search_bench not found: build it (scripts/build.sh release search_bench) or pass --bench")

    if not os.path.exists(args.text):
        os.makedirs(os.path.dirname(args.text), exist_ok=True)
        subprocess.run([sys.executable, os.path.join(os.path.dirname(__file__), "..", "make_pascal_text.py"),
                        args.text, str(args.mib)], check=True)
    with open(args.text, "rb") as f:
        data = f.read()
    lines = data.split(b"\n")
    if lines and lines[-1] == b"":
        lines.pop()
    print("text: %s, %.1f MiB, %d lines" % (args.text, len(data) / 1048576.0, len(lines)))

    engine = run_engine(bench, args.text)
    print("%-18s %9s %10s %10s %10s %9s %9s" % ("pattern", "lines", "engine s", "(wall s)", "grep s",
                                              "python s", "x grep"))
    ok = True
    for pattern, name in zip(PATTERNS, BENCH_NAMES):
        cpu, wall, count = engine[name]
        grep_cpu, grep_count = time_grep(pattern, args.text)
        py_cpu, py_count = time_python(pattern, lines)
        if not count == grep_count == py_count:
            ok = False
            print("  counts differ for %s: engine %d, grep %d, python %d" % (pattern, count, grep_count, py_count))
        print("%-18s %9d %10.3f %10.3f %10.3f %9.3f %9.1f" % (pattern, count, cpu, wall, grep_cpu, py_cpu,
                                                            cpu / grep_cpu if grep_cpu else float("inf")))
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
