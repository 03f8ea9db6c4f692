#!/usr/bin/env python3
"""Times twinspotter-scan against find on a seeded synthetic pair of trees (warm cache).

  bench/scan_bench.py [--files N] [--root DIR] [--runs K] [--scanner PATH] [--same-content]

Builds LOCATION1 and LOCATION2 under DIR (reused when a tree of the same size and seed is there), warms the cache,
then runs each command K times and prints the best wall time of each, their ratio and the scanner's peak resident
memory. Files are sparse, so a million of them cost inodes, not disk blocks.

With --same-content it times the scanner with and without --same-content instead, alternating, K runs of each.
"""
import argparse
import os
import random
import resource
import shutil
import subprocess
import sys
import time

WORDS = ["img", "dsc", "scan", "report", "invoice", "notes", "track", "photo", "backup", "draft", "letter",
         "budget", "holiday", "family", "project", "slides", "thesis", "readme", "config", "data"]
EXTS = [".jpg", ".png", ".pdf", ".docx", ".txt", ".mp3", ".xlsx", ".zip", ".c", ".h"]


def make_dirs(rng, root, count, depth_range=(2, 5), fanout=6):
    dirs = []
    for i in range(count):
        depth = rng.randint(*depth_range)
        parts = [f"{rng.choice(WORDS)}{rng.randint(0, fanout)}" for _ in range(depth)]
        dirs.append(os.path.join(root, *parts, f"d{i}"))
    return dirs


def write_file(path, size, mtime):
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
    if size:
        os.ftruncate(fd, size)
    os.close(fd)
    os.utime(path, (mtime, mtime))


def build(root, total, seed, share):
    rng = random.Random(seed)
    per_side = total // 2
    files_per_dir = 25
    loc1, loc2 = os.path.join(root, "location1"), os.path.join(root, "location2")
    dirs1 = make_dirs(rng, loc1, max(1, per_side // files_per_dir))
    dirs2 = make_dirs(rng, loc2, max(1, per_side // files_per_dir))
    for d in dirs1 + dirs2:
        os.makedirs(d, exist_ok=True)
    base_time = 1_300_000_000
    originals = []
    for i in range(per_side):
        name = f"{rng.choice(WORDS)}_{i:07d}{rng.choice(EXTS)}"
        size = rng.randint(0, 5_000_000)
        mtime = base_time + rng.randint(0, 300_000_000)
        d = dirs1[i % len(dirs1)]
        write_file(os.path.join(d, name), size, mtime)
        originals.append((name, size, mtime))
    for i in range(per_side):
        d = dirs2[i % len(dirs2)]
        roll = rng.random()
        if roll < share:
            name, size, mtime = rng.choice(originals)          # a true copy
        elif roll < share * 1.25:
            name, _, mtime = rng.choice(originals)             # same name, other size
            size = rng.randint(0, 5_000_000)
        else:
            name = f"{rng.choice(WORDS)}_b{i:07d}{rng.choice(EXTS)}"
            size, mtime = rng.randint(0, 5_000_000), base_time + rng.randint(0, 300_000_000)
        path = os.path.join(d, name)
        if os.path.exists(path):
            continue
        write_file(path, size, mtime)
    return loc1, loc2


def timed(cmd, runs):
    best = None
    peak_kb = 0
    for _ in range(runs):
        start = time.perf_counter()
        proc = subprocess.run(["/usr/bin/time", "-f", "%M"] + cmd, stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE, text=True)
        elapsed = time.perf_counter() - start
        if proc.returncode != 0:
            sys.exit(f"command failed: {' '.join(cmd)}\n{proc.stderr}")
        peak_kb = max(peak_kb, int(proc.stderr.strip().splitlines()[-1]))
        best = elapsed if best is None else min(best, elapsed)
    return best, peak_kb, proc.stderr


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--files", type=int, default=1_000_000, help="files in both trees together")
    parser.add_argument("--root", default="/tmp/twinspotter-bench", help="where the trees are built")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--share", type=float, default=0.2, help="share of location-2 files that copy location 1")
    parser.add_argument("--scanner", default=os.path.join(here, "..", "build", "app", "twinspotter-scan"))
    parser.add_argument("--same-content", action="store_true", help="time --same-content against the plain search")
    args = parser.parse_args()

    root = os.path.join(args.root, f"n{args.files}-s{args.seed}")
    marker = os.path.join(root, ".complete")
    if not os.path.exists(marker):
        shutil.rmtree(root, ignore_errors=True)
        os.makedirs(root)
        t = time.perf_counter()
        build(root, args.files, args.seed, args.share)
        open(marker, "w").close()
        print(f"built {args.files} files under {root} in {time.perf_counter() - t:.1f} s", file=sys.stderr)
    loc1, loc2 = os.path.join(root, "location1"), os.path.join(root, "location2")

    find_cmd = ["find", loc1, loc2, "-type", "f", "-printf", "%f %s %T@\n"]
    scan_cmd = [args.scanner, loc1, loc2]
    if args.same_content:
        content_cmd = [args.scanner, "--same-content", loc1, loc2]
        timed(scan_cmd, 1)  # warm the cache
        plain, content = [], []
        for _ in range(args.runs):  # alternating, so both meet the same load on a shared machine
            plain.append(timed(scan_cmd, 1))
            content.append(timed(content_cmd, 1))
        plain_s, content_s = min(p[0] for p in plain), min(c[0] for c in content)
        pairs = [l for l in content[-1][2].splitlines() if l.startswith(("pairs:", "unreadable:"))]
        print(f"files:                 {args.files} ({', '.join(pairs)})")
        print(f"plain search:          {plain_s:.2f} s, peak {max(p[1] for p in plain) / 1024:.0f} MB")
        print(f"--same-content search: {content_s:.2f} s, peak {max(c[1] for c in content) / 1024:.0f} MB")
        print(f"ratio:                 {content_s / plain_s:.2f}")
        return
    timed(find_cmd, 1)  # warm the cache
    find_s, find_kb, _ = timed(find_cmd, args.runs)
    scan_s, scan_kb, scan_err = timed(scan_cmd, args.runs)
    pairs = [l for l in scan_err.splitlines() if l.startswith("pairs:")]
    print(f"files:            {args.files} ({pairs[0] if pairs else '?'})")
    print(f"find wall time:   {find_s:.2f} s")
    print(f"scan wall time:   {scan_s:.2f} s")
    print(f"ratio scan/find:  {scan_s / find_s:.2f}")
    print(f"scan peak memory: {scan_kb / 1024:.0f} MB")


if __name__ == "__main__":
    main()
