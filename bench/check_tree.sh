#!/bin/bash
# Times `lvs check -r` over a folder of many packages: makes them (ten
# previews of the photographs' kind, each under a hundred names, spread over
# nested folders), then runs the check several times and prints each run and
# the median wall time.
#
#   bash bench/check_tree.sh [BUILD_DIR] [COUNT] [RUNS]
set -euo pipefail
build=${1:-build}
count=${2:-1000}
runs=${3:-5}
lvs=$build/tools/lvs/lvs
[ -x "$lvs" ] || { echo "no $lvs: build first" >&2; exit 2; }
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT

# Ten distinct previews, packed by lvs itself; the rest are copies under
# other names (the check reads every file whole either way).
/usr/bin/python3 - "$tree" <<'PY'
import random, sys
from PIL import Image, ImageFilter
random.seed(7)
for i in range(10):
    im = Image.effect_noise((1280, 720), 40 + 8 * i).convert("RGB")
    im = Image.merge("RGB", [c.point(lambda v, k=k: (v * (k + 2) + 40 * i) % 256) for k, c in enumerate(im.split())])
    im = im.filter(ImageFilter.GaussianBlur(2))
    im.save(f"{sys.argv[1]}/p{i}.jpg", quality=88, progressive=False)
PY
for i in $(seq 0 9); do
  "$lvs" pack -q -o "$tree/s$i.lvs" --preview "$tree/p$i.jpg" --name "Style $i" --author "Bench" --hash "h$i" --style-version "$i"
  rm "$tree/p$i.jpg"
done
mkdir -p "$tree/lib"
for n in $(seq 0 $((count - 1))); do
  dir="$tree/lib/group$((n % 10))/set$((n / 10 % 10))"
  mkdir -p "$dir"
  cp "$tree/s$((n % 10)).lvs" "$dir/style$n.lvs"
done
rm "$tree"/s*.lvs

found=$("$lvs" check -r --json "$tree/lib" | wc -l)
[ "$found" -eq "$count" ] || { echo "checked $found packages, not $count" >&2; exit 1; }
# Wall time is what the target is about; the processor time beside it shows
# how much of it a busy machine took away.
times=()
for r in $(seq 1 "$runs"); do
  /usr/bin/time -f '%e %U %S' -o "$tree/time" "$lvs" check -r -q "$tree/lib"
  read -r wall user system < "$tree/time"
  times+=("$wall")
  printf 'run %d: %.2f s wall, %.2f s of processor time\n' "$r" "$wall" "$(echo "$user + $system" | bc -l)"
done
median=$(printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
printf 'lvs check -r over %d packages: median %.2f s of %d runs\n' "$count" "$median" "$runs"
