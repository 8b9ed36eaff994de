#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs them.
#   fuzz/run.sh [-b BUILD_DIR] [-t SECONDS] [-j PARALLEL] [-J BUILD_JOBS] [-k] [TARGET ...]
# For each target (default: all of them): replays its committed corpus, then
# fuzzes for SECONDS (default 60; 0 replays only). New inputs go to
# BUILD_DIR/fuzz-work/<target>, never into the committed corpus; a crash,
# hang (-timeout=5) or memory blow-up (-rss_limit_mb=1024) leaves its input
# in BUILD_DIR/fuzz-artifacts/<target>/ and makes the script fail. Up to
# PARALLEL targets (default 1) fuzz at the same time; BUILD_JOBS (default 2)
# compile at once. -k keeps fuzzing past crashes, hangs and blow-ups (each
# input is still kept and the script still fails), so that one known fault
# does not end the run: libFuzzer's fork mode, one job at a time. The last
# statistics line of each run is printed at the end.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
build="$root/build-fuzz"
seconds=60
parallel=1
build_jobs=2
keep=()
while getopts "b:t:j:J:k" opt; do
  case "$opt" in
    b) build="$OPTARG" ;;
    t) seconds="$OPTARG" ;;
    j) parallel="$OPTARG" ;;
    J) build_jobs="$OPTARG" ;;
    k) keep=(-fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1) ;;
    *) echo "usage: $0 [-b BUILD_DIR] [-t SECONDS] [-j PARALLEL] [-J BUILD_JOBS] [-k] [TARGET ...]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
targets=("$@")
[ ${#targets[@]} -gt 0 ] ||
  targets=(fuzz_decoder jpeg_differential_fuzz fuzz_package_read fuzz_meta fuzz_preview_draw fuzz_package_import)

# The committed seeds of a target; the differential decoder target shares
# the decoder's.
corpus() {
  case "$1" in
    jpeg_differential_fuzz) echo "$here/corpus/fuzz_decoder" ;;
    *) echo "$here/corpus/$1" ;;
  esac
}

# The targets that drive the module scan for leaks themselves (FuzzHost.h
# says why); libFuzzer's check after every input would only slow them down.
flags() {
  case "$1" in
    fuzz_preview_draw | fuzz_package_import) echo "-detect_leaks=0" ;;
  esac
}

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DLVS_FUZZ=ON -DLVS_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$build_jobs" --target "${targets[@]}"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
common=(-rss_limit_mb=1024 -timeout=5 -print_final_stats=1)
logs="$build/fuzz-logs"
mkdir -p "$logs"

status=0
for t in "${targets[@]}"; do
  echo "run.sh: replaying $t"
  if ! "$build/fuzz/$t" "${common[@]}" $(flags "$t") -runs=0 "$(corpus "$t")" >"$logs/$t.replay.log" 2>&1; then
    echo "run.sh: $t: corpus replay FAILED (see $logs/$t.replay.log)"; tail -n 30 "$logs/$t.replay.log"; status=1
  fi
done
[ "$seconds" -gt 0 ] || exit $status

fuzz_one() {
  local t="$1" work="$build/fuzz-work/$1" art="$build/fuzz-artifacts/$1"
  mkdir -p "$work" "$art"
  "$build/fuzz/$t" "${common[@]}" $(flags "$t") "${keep[@]}" -max_total_time="$seconds" -artifact_prefix="$art/" \
    "$work" "$(corpus "$t")" >"$logs/$t.log" 2>&1
}
pids=()
names=()
for t in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do sleep 1; done
  echo "run.sh: fuzzing $t for ${seconds}s"
  fuzz_one "$t" &
  pids+=($!)
  names+=("$t")
done
for i in "${!pids[@]}"; do
  if ! wait "${pids[$i]}"; then
    echo "run.sh: ${names[$i]}: FAILED, input in $build/fuzz-artifacts/${names[$i]}/"
    grep -E "ERROR|lvs fuzz|SUMMARY" "$logs/${names[$i]}.log" | head -n 10 || true
    status=1
  fi
done
for t in "${names[@]}"; do
  echo "run.sh: $t: $(grep -E '^#[0-9]+(:|[[:space:]]+DONE)' "$logs/$t.log" | tail -n 1 || echo 'no final line')"
  grep -E 'stat::number_of_executed_units' "$logs/$t.log" | tail -n 1 || true
done
exit $status
