#!/usr/bin/env bash
# Makes a sample photo folder and a backup that holds most of it, for trying the program and for its pictures:
# DIR/Pictures with 1,248 photos in twelve month folders, and DIR/Backup with copies of 1,169 of them.
#   scripts/demo-tree.sh DIR
set -euo pipefail
dir="${1:?usage: scripts/demo-tree.sh DIR}"
mkdir -p "$dir"
python3 - "$dir" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(2019)
photo = 0
for month in range(1, 13):
    for _ in range(104):
        photo += 1
        name = f"IMG_{photo:04d}.jpg"
        data = rng.randbytes(rng.randint(2_000, 9_000))
        when = 1546300800 + month * 2_500_000 + photo * 61
        source = os.path.join(root, "Pictures", f"2019/{month:02d}")
        os.makedirs(source, exist_ok=True)
        targets = [os.path.join(source, name)]
        if photo <= 1169:
            backup = os.path.join(root, "Backup", f"Pictures 2019/{month:02d}")
            os.makedirs(backup, exist_ok=True)
            targets.append(os.path.join(backup, name))
        for target in targets:
            with open(target, "wb") as f:
                f.write(data)
            os.utime(target, (when, when))
PY
echo "$dir/Pictures $dir/Backup"
