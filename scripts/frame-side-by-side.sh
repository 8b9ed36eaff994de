#!/usr/bin/env bash
# One frame of the sample package drawn by the Linux module and by the
# Windows module under Wine, side by side: interleaved rounds, each program
# pinned to core 1, the median of each round's per-frame medians and the
# ratio Windows / Linux. Wine's own costs are part of the Windows figure.
#   scripts/frame-side-by-side.sh [ROUNDS] [FRAMES]   (default 15 rounds of 20 frames)
# Needs build/ (scripts/test.sh) and build-windows/ (the same, with Wine).
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-15}
frames=${2:-20}
linux=build/bench/frame_time
windows=build-windows/bench/frame_time.exe
package=$(pwd)/examples/sample.lvs
for program in "$linux" "$windows"; do
  if [ ! -x "$program" ]; then
    echo "frame-side-by-side: $program is not built" >&2
    exit 1
  fi
done

results=$(mktemp)
trap 'rm -f "$results"' EXIT
for _ in $(seq "$rounds"); do
  taskset -c 1 "$linux" "$package" 1 "$frames" | sed 's/^/linux /' >>"$results"
  taskset -c 1 cmake/wine-run.sh "$windows" "$package" 1 "$frames" | sed 's/^/windows /' >>"$results"
done
python3 - "$results" "$rounds" "$frames" <<'PY'
import statistics, sys
rows = [line.split() for line in open(sys.argv[1])]
print(f"one 1280x720 frame of examples/sample.lvs, {sys.argv[2]} interleaved rounds of {sys.argv[3]} frames, core 1")
print(f"{'depth':>6} {'Linux us':>10} {'Windows+Wine us':>16} {'ratio':>7}")
for depth in ("8", "16"):
    med = {os: statistics.median(float(t) for o, d, t in rows if o == os and d == depth) for os in ("linux", "windows")}
    print(f"{depth:>6} {med['linux']:>10.0f} {med['windows']:>16.0f} {med['windows'] / med['linux']:>7.2f}")
PY
