#!/bin/bash
# Ends lvs by SIGINT, SIGTERM or SIGHUP at random points of long runs and
# counts what each run leaves on disk: files or folders left behind (beside
# the output, or under TMPDIR), non-regular paths changed (a FIFO, a device
# or a symbolic link given as the output), outputs left in part and torn
# JSON lines, and check -j workers that outlive their run. Each of pack,
# render, sheet, check -r and a package on standard input (check, info and
# render in turn) is run until RUNS runs were ended by a signal (runs that
# finish first are counted apart); the outputs rotate through a new name, an
# older file, a link to one, a FIFO and a device node of our own (made only
# as root; else left out).
#
#   bash bench/interrupt_runs.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=${1:-build}
runs=${2:-100}
lvs=$(realpath "$build/tools/lvs/lvs")
[ -x "$lvs" ] || { echo "no $lvs: build first" >&2; exit 2; }
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
drainer=
trap '[ -n "$drainer" ] && kill "$drainer" 2>/dev/null; rm -rf "$work"' EXIT

in=$work/in out=$work/out tmp=$work/tmp
mkdir -p "$in/lib" "$tmp"
cp "$here/examples/sample.lvs" "$in/good.lvs"
cp "$here/examples/sample_preview.jpg" "$in/prv.jpg"
printf '{"name":"Bench","author":"A. B.","hash":"9f2c","version":3}' > "$in/meta.json"
echo older > "$in/older"
# Enough reports to pass stdio's 4 KiB buffer several times.
for i in $(seq 0 63); do
  mkdir -p "$in/lib/set$((i % 3))"
  cp "$in/good.lvs" "$in/lib/set$((i % 3))/s$i.lvs"
done
export TMPDIR=$tmp

# A new output folder for each command, so that one that harms the FIFO or
# the device does not hide what the next does. The FIFO is held open for
# reading and writing and drained, so that a run opens and writes it
# without waiting.
kinds=4
fresh_outputs() {
  [ -n "$drainer" ] && kill "$drainer" 2>/dev/null
  rm -rf "$out"
  mkdir -p "$out/sub"
  mkfifo "$out/pipe"
  exec 3<>"$out/pipe"
  cat <&3 >/dev/null &
  drainer=$!
  kinds=4
  if mknod "$out/null" c 1 3 2>/dev/null && : >"$out/null" 2>/dev/null; then kinds=5; else rm -f "$out/null"; fi
}

# Every path under out and tmp: name, type, inode, device numbers, link.
snapshot() { find "$out" "$tmp" -mindepth 1 -exec stat -c '%n|%F|%i|%t:%T|%N' {} + | sort; }

# A whole PNG ends with its IEND chunk; a whole zip with its end record.
whole() {
  case $1 in
    *.png) [ "$(tail -c 12 "$1" | od -An -tx1 | tr -d ' \n')" = 0000000049454e44ae426082 ] ;;
    *.lvs) [ "$(tail -c 22 "$1" | head -c 4 | od -An -tx1 | tr -d ' \n')" = 504b0506 ] ;;
  esac
}

now_ms() { echo $(($(date +%s%N) / 1000000)); }

printf '%-8s %5s %10s %9s %11s %20s %16s %11s %13s\n' command runs signalled finished "files left" \
  "non-regular changed" "outputs harmed" "torn lines" "workers left"

# The run of command $1 writing $2 (a name under out): its arguments in
# cmd, where its standard output goes in to.
compose() {
  to=/dev/null
  case $1 in
    pack) cmd=(pack -o "$out/$2" --preview prv.jpg --meta meta.json) ;;
    render) cmd=(render good.lvs -o "$out/$2" --size 1024x1024 --depth 16) ;;
    sheet) cmd=(sheet lib -o "$out/$2" --cell-width 128) ;;
    check-r) cmd=(check -r --json -j 2 "$in/lib") to=$out/$2 ;;
    stdin)
      case $((RANDOM % 3)) in
        0) cmd=(check -) ;;
        1) cmd=(info -) ;;
        2) cmd=(render - -o "$out/$2") ;;
      esac
      ;;
  esac
}

# A package on standard input, arriving in pieces, so that many signals
# find its copy being made.
feed() {
  trap - EXIT
  for i in $(seq 0 16); do
    dd if=good.lvs bs=4096 skip="$i" count=1 status=none 2>/dev/null || break
    sleep 0.002
  done
}

# A script starts background commands with SIGINT ignored, and lvs keeps
# a signal ignored as it finds it: env puts them back as a terminal has
# them. A signal may come before lvs is started: the shell forked for it
# must not run this script's exit trap then.
start() {
  local run=(env --default-signal=INT,TERM,HUP,PIPE "$lvs" "${cmd[@]}")
  if [ "$1" = stdin ]; then
    feed | (trap - EXIT; exec "${run[@]}" >"$to" 2>/dev/null) &
  else
    (trap - EXIT; exec "${run[@]}" </dev/null >"$to" 2>/dev/null) &
  fi
  pid=$!
}

# run COMMAND EXTENSION
run() {
  local name=$1 ext=$2
  local signalled=0 finished=0 left=0 changed=0 harmed=0 torn=0 lingering=0
  local begin span r
  fresh_outputs
  compose "$name" "out.$ext"
  begin=$(now_ms)
  start "$name"
  wait "$pid" || { echo "$name: a whole run failed" >&2; exit 1; }
  span=$(($(now_ms) - begin + 1))
  # Until RUNS runs were ended by the signal (some finish first), at most
  # three times as many.
  r=0
  while [ $signalled -lt "$runs" ] && [ $r -lt $((3 * runs)) ]; do
    r=$((r + 1))
    local kind=$((r % kinds)) output target
    rm -f "$out/out.$ext" "$out/sub/out.$ext" "$out/link" "$out/results"
    case $name in
      check-r) kind=$((r % (kinds - 2))); [ $kind -ge 1 ] && kind=$((kind + 2)) ;;  # a file, the FIFO, the device
      stdin) kind=0 ;;
    esac
    case $kind in
      0) output=out.$ext target=$out/out.$ext ;;
      1) output=out.$ext target=$out/out.$ext; cp "$in/older" "$target" ;;
      2) output=link target=$out/sub/out.$ext; cp "$in/older" "$target"; ln -s "sub/out.$ext" "$out/link" ;;
      3) output=pipe target= ;;
      4) output=null target= ;;
    esac
    [ "$name" = check-r ] && [ $kind -eq 0 ] && output=results target=$out/results
    local before after signal delay status new gone
    before=$(snapshot)
    signal=$(shuf -n1 -e INT TERM HUP)
    delay=$((RANDOM % (span * 11 / 10 + 1)))
    compose "$name" "$output"
    start "$name"
    sleep "$(printf '%d.%03d' $((delay / 1000)) $((delay % 1000)))"
    kill -s "$signal" "$pid" 2>/dev/null || true
    status=0
    wait "$pid" 2>/dev/null || status=$?  # not the shell's note of the signal
    [ "$status" -eq $((128 + $(kill -l "$signal"))) ] && signalled=$((signalled + 1))
    [ "$status" -eq 0 ] && finished=$((finished + 1))
    # Workers end with their parent.
    if [ "$name" = check-r ]; then
      local waited=0
      while pgrep -f -- "$in/lib" >/dev/null && [ $waited -lt 100 ]; do sleep 0.01; waited=$((waited + 1)); done
      pgrep -f -- "$in/lib" >/dev/null && lingering=$((lingering + 1))
    fi
    after=$(snapshot)
    # Paths that are new, but for the output; paths that are gone or
    # changed, but for a regular target replaced by a regular file.
    new=$(comm -13 <(echo "$before" | cut -d'|' -f1) <(echo "$after" | cut -d'|' -f1) | grep -vxF "$target" || true)
    [ -n "$new" ] && left=$((left + $(echo "$new" | wc -l)))
    gone=$(comm -23 <(echo "$before") <(echo "$after") || true)
    if [ -n "$target" ] && [ -f "$target" ] && [ ! -L "$target" ]; then
      gone=$(echo "$gone" | grep -vF "$target|regular" || true)
    fi
    [ -n "$gone" ] && changed=$((changed + $(echo "$gone" | wc -l)))
    # An older output is kept or replaced whole, never lost or cut.
    if [ -n "$target" ] && [ "$name" != check-r ]; then
      if [ -f "$target" ]; then
        cmp -s "$target" "$in/older" || whole "$target" || harmed=$((harmed + 1))
      elif [ $kind -ne 0 ]; then
        harmed=$((harmed + 1))
      fi
    fi
    if [ "$name" = check-r ] && [ -s "$out/results" ]; then
      { [ -n "$(tail -c 1 "$out/results")" ] || grep -qv '^{.*}$' "$out/results"; } && torn=$((torn + 1))
    fi
  done
  printf '%-8s %5d %10d %9d %11d %20d %16d %11d %13d\n' "$name" "$r" "$signalled" "$finished" "$left" "$changed" \
    "$harmed" "$torn" "$lingering"
}

cd "$in"
run pack lvs
run render png
run sheet png
run check-r json
run stdin png
