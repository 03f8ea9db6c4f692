#!/usr/bin/env bash
# Applies each mutant of mutants.txt (one exact search and replace in one source file), rebuilds the core tests, runs
# the tests the mutant names, and records whether they caught it; the file is restored after each mutant, also when
# the run is interrupted. Not part of the test command: it rebuilds once per mutant and takes the better part of an
# hour on two cores.
#
#   tests/mutation/run_mutants.sh [--check] [--only ID[,ID...]] [BUILD_DIR]
#
# BUILD_DIR (default: build) is a configured build of this tree, core only is enough. --check only proves that each
# mutant's search text occurs exactly once, building nothing. Results go to BUILD_DIR/mutation/results.tsv (with
# --only: results-only.tsv), each mutant's build and test log beside them, the summary to standard output. Run it
# niced: nice -n 10 tests/mutation/run_mutants.sh build
set -uo pipefail
cd "$(dirname "$0")/../.."
source_dir=$PWD
list=tests/mutation/mutants.txt

check=false
only=""
build=build
while [ $# -gt 0 ]; do
    case "$1" in
    --check) check=true ;;
    --only) only="$2"; shift ;;
    *) build="$1" ;;
    esac
    shift
done

work=$(mktemp -d)
backup=""
target=""
restore() {
    if [ -n "$backup" ] && [ -f "$backup" ]; then
        cp "$backup" "$target"
        backup=""
    fi
}
trap 'restore; rm -rf "$work"' EXIT
trap 'restore; rm -rf "$work"; exit 130' INT TERM HUP

# The list split into one directory per mutant: meta (key: value lines), find and replace (exact text). Python does
# the splitting and the replacing, so that no text of a mutant ever passes through the shell.
python3 - "$list" "$work" <<'EOF' || exit 2
import os, sys
path, out = sys.argv[1], sys.argv[2]
mutants, current, section = [], None, None
for number, line in enumerate(open(path, encoding="utf-8").read().split("\n"), 1):
    if current is None:
        if line.startswith("@@ "):
            current = {"id": line[3:].strip(), "meta": [], "find": [], "replace": []}
            section = "meta"
        elif line.strip() and not line.startswith("#"):
            sys.exit(f"{path}:{number}: text outside a mutant")
        continue
    if section == "meta" and line == "<<<<":
        section = "find"
    elif section == "find" and line == "====":
        section = "replace"
    elif section == "replace" and line == ">>>>":
        mutants.append(current)
        current = None
    elif section == "meta":
        if line.strip():
            current["meta"].append(line)
    else:
        current[section].append(line)
if current is not None:
    sys.exit(f"{path}: the mutant {current['id']} is not closed with >>>>")
ids = set()
for index, m in enumerate(mutants):
    if m["id"] in ids:
        sys.exit(f"{path}: two mutants are called {m['id']}")
    ids.add(m["id"])
    d = os.path.join(out, f"{index:03d}")
    os.mkdir(d)
    with open(os.path.join(d, "meta"), "w") as f:
        f.write(f"id: {m['id']}\n" + "\n".join(m["meta"]) + "\n")
    for part in ("find", "replace"):
        with open(os.path.join(d, part), "w") as f:
            f.write("\n".join(m[part]))
EOF

field() { sed -n "s/^$2: *//p" "$1/meta" | head -1; }

# Replaces the one occurrence of find by replace in the file; fails unless there is exactly one.
mutate() {
    python3 - "$1" "$2/find" "$2/replace" "$3" <<'EOF'
import sys
source, find, replace, write = sys.argv[1], open(sys.argv[2]).read(), open(sys.argv[3]).read(), sys.argv[4]
text = open(source).read()
count = text.count(find)
if count != 1:
    sys.exit(f"the search text occurs {count} times in {source}")
if write == "yes":
    open(source, "w").write(text.replace(find, replace))
EOF
}

# A run of chosen mutants keeps its results apart from those of the whole list.
results="$build/mutation/results${only:+-only}.tsv"
if ! $check; then
    [ -f "$build/build.ninja" ] || { echo "no configured build in $build" >&2; exit 2; }
    mkdir -p "$build/mutation"
    printf 'id\tarea\tfile\tresult\tseconds\n' >"$results"
fi

status=0
for dir in "$work"/*/; do
    dir=${dir%/}
    id=$(field "$dir" id)
    area=$(field "$dir" area)
    file=$(field "$dir" file)
    tests=$(field "$dir" tests)
    equivalent=$(field "$dir" equivalent)
    if [ -n "$only" ] && [[ ",$only," != *",$id,"* ]]; then
        continue
    fi
    if ! mutate "$file" "$dir" no; then
        echo "$id: $file does not hold its search text once" >&2
        status=2
        continue
    fi
    if $check; then
        echo "$id: applies"
        continue
    fi
    if [ -n "$equivalent" ]; then
        printf '%s\t%s\t%s\tequivalent\t0\n' "$id" "$area" "$file" >>"$results"
        echo "$id: equivalent ($equivalent)"
        continue
    fi
    started=$(date +%s)
    target=$file
    backup="$work/original"
    cp "$file" "$backup"
    mutate "$file" "$dir" yes
    if ! cmake --build "$build" -j 2 --target core_tests >"$build/mutation/$id.build.log" 2>&1; then
        result=stillborn
    # In a shell of its own, which reports a crash (a killed mutant too) into the log rather than here.
    elif bash -c 'cd "$1" && TZ=Europe/Berlin timeout 600 ./tests/core/core_tests --gtest_filter="$2" \
        >"mutation/$3.test.log" 2>&1; exit $?' run "$build" "$tests" "$id" 2>/dev/null; then
        result=survived
    else
        result=killed
    fi
    restore
    seconds=$(($(date +%s) - started))
    printf '%s\t%s\t%s\t%s\t%s\n' "$id" "$area" "$file" "$result" "$seconds" >>"$results"
    echo "$id: $result (${seconds}s)"
done

if ! $check; then
    # The tree as it is, built again, so the build directory is left as it was found.
    cmake --build "$build" -j 2 --target core_tests >"$build/mutation/restore.build.log" 2>&1 || status=1
    echo
    awk -F'\t' 'NR > 1 {
            total[$2]++; if ($4 == "killed") killed[$2]++; if ($4 == "equivalent") eq[$2]++
            if ($4 == "stillborn") born[$2]++
            all++; if ($4 == "killed") k++; if ($4 == "equivalent") e++; if ($4 == "stillborn") s++
        }
        END {
            for (a in total) {
                n = total[a] - eq[a] - born[a]
                printf "%-20s %2d/%-2d killed (%d equivalent%s)\n", a, killed[a], n, eq[a], born[a] ? ", " born[a] " did not build" : ""
            }
            n = all - e - s
            if (n > 0) printf "%-20s %2d/%-2d killed, %.0f %%\n", "all", k, n, 100 * k / n
        }' "$results"
    grep -P '\tsurvived\t' "$results" | cut -f1 | sed 's/^/survived: /'
fi
exit $status
