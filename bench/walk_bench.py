#!/usr/bin/env python3
"""Times the search's walk against find and a bare single-threaded walk, warm and cold, alternating.

  bench/walk_bench.py [--files N] [--root DIR] [--runs K] [--cold-runs C] [--build DIR]

Uses (or builds) the same seeded pair of trees as scan_bench.py. Each round runs, in an order that rotates from
round to round so no command always meets the same state of a busy machine:

  twinspotter-scan LOC1 LOC2                 (default threads)
  twinspotter-scan --threads 1 LOC1 LOC2     (the single-threaded walk)
  find LOC1 LOC2 -type f -printf '%f %s %T@\\n'
  bare_walk LOC1 LOC2                        (getdents64 + fstatat on one thread, nothing kept: the floor)

K warm rounds, then C cold rounds, where every single run starts after `sync; echo 3 > /proc/sys/vm/drop_caches`
(cold rounds need root; without it they are skipped with a note). Prints the median wall time of each command, the
ratios the search is held to, and the scanner's peak resident memory per catalogued file.
"""
import argparse
import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from scan_bench import build  # noqa: E402  the same trees as the scanner benchmark


def drop_caches():
    subprocess.run(["sync"], check=True)
    with open("/proc/sys/vm/drop_caches", "w") as f:
        f.write("3\n")


def run_once(cmd, cold):
    if cold:
        drop_caches()
    start = time.perf_counter()
    proc = subprocess.run(["/usr/bin/time", "-f", "%M"] + cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                          text=True)
    elapsed = time.perf_counter() - start
    if proc.returncode != 0:
        sys.exit(f"command failed: {' '.join(cmd)}\n{proc.stderr}")
    lines = proc.stderr.strip().splitlines()
    return elapsed, int(lines[-1]), lines[:-1]


def rounds(commands, count, cold):
    times = {name: [] for name in commands}
    peaks = {name: 0 for name in commands}
    names = list(commands)
    for r in range(count):
        for name in names[r % len(names):] + names[:r % len(names)]:
            elapsed, peak_kb, err = run_once(commands[name], cold)
            times[name].append(elapsed)
            peaks[name] = max(peaks[name], peak_kb)
            if name == "scanner" and err:
                rounds.scanner_err = err
        print(f"  {'cold' if cold else 'warm'} round {r + 1}: " +
              ", ".join(f"{n} {times[n][-1]:.2f} s" for n in names), file=sys.stderr)
    return {n: statistics.median(t) for n, t in times.items()}, peaks


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--files", type=int, default=1_000_000, help="files in both trees together")
    parser.add_argument("--root", default="/tmp/twinspotter-bench", help="where the trees are built")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--share", type=float, default=0.2)
    parser.add_argument("--runs", type=int, default=7, help="warm rounds")
    parser.add_argument("--cold-runs", type=int, default=3, help="cold rounds (root only)")
    parser.add_argument("--build", default=os.path.join(here, "..", "build"), help="the build folder")
    args = parser.parse_args()

    root = os.path.join(args.root, f"n{args.files}-s{args.seed}")
    if not os.path.exists(os.path.join(root, ".complete")):
        import shutil
        shutil.rmtree(root, ignore_errors=True)
        os.makedirs(root)
        build(root, args.files, args.seed, args.share)
        open(os.path.join(root, ".complete"), "w").close()
    loc1, loc2 = os.path.join(root, "location1"), os.path.join(root, "location2")
    scanner = os.path.join(args.build, "app", "twinspotter-scan")
    commands = {
        "scanner": [scanner, loc1, loc2],
        "threads1": [scanner, "--threads", "1", loc1, loc2],
        "find": ["find", loc1, loc2, "-type", "f", "-printf", "%f %s %T@\n"],
        "bare": [os.path.join(args.build, "bench", "bare_walk"), loc1, loc2],
    }
    rounds.scanner_err = []
    run_once(commands["find"], False)  # warm the cache
    warm, peaks = rounds(commands, args.runs, False)
    files = sum(int(l.split(":")[1]) for l in rounds.scanner_err if l.startswith("files in location"))
    pairs = next((l for l in rounds.scanner_err if l.startswith("pairs:")), "pairs: ?")

    print(f"trees: {root}, {files} files catalogued, {pairs}, {os.cpu_count()} cores")
    print(f"warm, median of {args.runs}:")
    for name in commands:
        print(f"  {name:9} {warm[name]:6.2f} s   peak {peaks[name] / 1024:6.1f} MB")
    print(f"  default scanner / bare walk:  {warm['scanner'] / warm['bare']:.2f}  (target at most 1.0)")
    print(f"  default scanner / --threads 1: {warm['scanner'] / warm['threads1']:.2f}")
    print(f"  default scanner / find:       {warm['scanner'] / warm['find']:.2f}")
    per_file = peaks["scanner"] * 1024 / files if files else 0
    print(f"  scanner peak memory per catalogued file: {per_file:.0f} bytes  (target at most 100)")

    if args.cold_runs <= 0:
        return
    if os.geteuid() != 0:
        print("cold: skipped (dropping the page cache needs root)")
        return
    cold, _ = rounds(commands, args.cold_runs, True)
    print(f"cold, caches dropped before every run, median of {args.cold_runs}:")
    for name in commands:
        print(f"  {name:9} {cold[name]:6.2f} s")
    print(f"  default scanner / find:       {cold['scanner'] / cold['find']:.2f}  (target at most 0.6)")
    print(f"  default scanner / --threads 1: {cold['scanner'] / cold['threads1']:.2f}")


if __name__ == "__main__":
    main()
