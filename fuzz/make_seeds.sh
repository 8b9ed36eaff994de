#!/usr/bin/env bash
# Regenerates the seed corpora of the fuzz targets (fuzz/corpus/<target>/).
#   fuzz/make_seeds.sh [MAKE_LVS]
# MAKE_LVS is the built make_lvs tool (default: the first one found in a
# build directory of this checkout). Needs cjpeg and python3. Seeds that
# regression inputs left in the corpora (named regress-*) are kept.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
make_lvs="${1:-}"
if [ -z "$make_lvs" ]; then
  for d in "$root"/build*/tools/make_lvs/make_lvs; do
    if [ -x "$d" ]; then make_lvs="$d"; break; fi
  done
fi
[ -x "$make_lvs" ] || { echo "make_seeds: make_lvs not found; build it or pass its path" >&2; exit 2; }
command -v cjpeg >/dev/null || { echo "make_seeds: cjpeg missing (libjpeg-turbo-progs)" >&2; exit 2; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
corpus="$here/corpus"
for t in fuzz_decoder fuzz_package_read fuzz_meta fuzz_preview_draw fuzz_package_import; do
  mkdir -p "$corpus/$t"
  find "$corpus/$t" -type f ! -name 'regress-*' -delete
done

# Source pictures: smooth gradients (small once compressed) with a few edges,
# in odd sizes so that partial blocks and MCUs occur, and the 1280 by 720 the
# plug-in draws, without edges, which keeps each to a few kilobytes: the
# module targets' inputs are mutated copies of them, and their bytes add time
# to every input (packing, reading, entropy decoding), not code reached.
python3 - "$work" <<'PY'
import sys
out = sys.argv[1]
def picture(name, w, h, grey, edges=True):
    px = bytearray()
    for y in range(h):
        for x in range(w):
            r = (x * 255 // max(w - 1, 1)) ^ (16 if edges and (x // 37 + y // 23) % 2 else 0)
            g = y * 255 // max(h - 1, 1)
            b = (x + y) * 255 // max(w + h - 2, 1)
            px += bytes([r]) if grey else bytes([r, g, b])
    with open(f"{out}/{name}.{'pgm' if grey else 'ppm'}", "wb") as f:
        f.write(f"{'P5' if grey else 'P6'}\n{w} {h}\n255\n".encode() + px)
picture("small", 33, 17, False)
picture("tiny", 8, 8, False)
picture("greysmall", 21, 13, True)
picture("medium", 160, 96, False)
picture("greymedium", 160, 96, True)
picture("wide", 1280, 720, False, edges=False)
picture("greywide", 1280, 720, True, edges=False)
PY

jpeg() {  # jpeg OUT IN cjpeg-options...
  local out="$1" in="$2"; shift 2
  cjpeg "$@" -outfile "$out" "$work/$in"
}
jpeg "$work/s420.jpg" small.ppm -quality 60 -sample 2x2
jpeg "$work/s422.jpg" small.ppm -quality 60 -sample 2x1
jpeg "$work/s440.jpg" small.ppm -quality 60 -sample 1x2
jpeg "$work/s444.jpg" small.ppm -quality 60 -sample 1x1
jpeg "$work/s411.jpg" small.ppm -quality 60 -sample 4x1
jpeg "$work/restart.jpg" small.ppm -quality 60 -restart 1B
jpeg "$work/optimized.jpg" small.ppm -quality 95 -optimize
jpeg "$work/progressive.jpg" small.ppm -quality 60 -progressive
jpeg "$work/tiny.jpg" tiny.ppm -quality 90
jpeg "$work/grey.jpg" greysmall.pgm -quality 70
jpeg "$work/greyrestart.jpg" greysmall.pgm -quality 70 -restart 2B
jpeg "$work/wide.jpg" wide.ppm -quality 10 -baseline -sample 2x2 -optimize
jpeg "$work/greywide.jpg" greywide.pgm -quality 10 -baseline -optimize
jpeg "$work/medium.jpg" medium.ppm -quality 50 -sample 2x2
jpeg "$work/greymedium.jpg" greymedium.pgm -quality 50

# The decoder's seeds stay small: a picture's size adds time per input, not
# code reached.
d="$corpus/fuzz_decoder"
for f in s420 s422 s440 s444 s411 restart optimized progressive tiny grey greyrestart medium greymedium; do
  cp "$work/$f.jpg" "$d/$f.jpg"
done
printf '\xff\xd8\xff\xd9' > "$d/empty-image.jpg"

d="$corpus/fuzz_meta"
printf '%s' '{"name":"Ink","author":"A. B.","hash":"9f2c","version":3}' > "$d/plain.json"
printf '%s' '{"name":"Ink","author":"A","hash":"h","version":2.75,"extra":[1,{"a":null}]}' > "$d/fraction.json"
printf '%s' '{"name":"N\u0000cut","author":"\u00e9\ud83d\ude00","hash":"","version":true}' > "$d/escapes.json"
printf '%s' '{"name":"N","author":"A","hash":"H","version":-4294967297}' > "$d/wide-version.json"
printf '%s' '{"name":"N","author":"A","hash":"H","version":1e300}  ' > "$d/huge-version.json"
printf '{"name":"N","author":"A","hash":"H","version":18446744073709551615}\0garbage' > "$d/nul-tail.json"
printf '%s' '{"name":1,"author":"A","hash":"H","version":"3"}' > "$d/wrong-types.json"
printf '%s' '[{"name":"N"}]' > "$d/array.json"

printf '%s' '{"name":"Ink","author":"A. B.","hash":"9f2c","version":3}' > "$work/meta.json"
printf 'not a jpeg' > "$work/junk.bin"
: > "$work/empty.bin"
d="$corpus/fuzz_package_read"
"$make_lvs" "$d/style.lvs" --meta "$work/meta.json" --prv "$work/tiny.jpg"
"$make_lvs" "$d/zip64.lvs" --meta "$work/meta.json" --prv "$work/tiny.jpg" --zip64
"$make_lvs" "$d/plain-stored.lvs" --store meta="$work/meta.json" prv="$work/junk.bin"
"$make_lvs" "$d/plain-deflated.lvs" meta="$work/meta.json" prv="$work/empty.bin"
"$make_lvs" "$d/other-password.lvs" --password wrong meta="$work/meta.json" prv="$work/tiny.jpg"
"$make_lvs" "$d/stored-encrypted.lvs" --package-password --store meta="$work/meta.json" prv="$work/tiny.jpg"
"$make_lvs" "$d/twisted-names.lvs" --package-password Meta="$work/meta.json" PRV="$work/tiny.jpg"

# Preview draw: six header bytes (depth, size choice, size) and a preview.
d="$corpus/fuzz_preview_draw"
header() { printf "\\x$(printf %02x "$1")\\x$(printf %02x "$2")\\x40\\x01\\xb0\\x00"; }
for pair in "0 0" "1 0" "2 0" "0 1" "1 2" "2 3"; do  # every depth at the preview's size, every size class
  set -- $pair
  { header "$1" "$2"; cat "$work/wide.jpg"; } > "$d/wide-$1-$2.bin"
done
for depth in 0 1 2; do
  { header "$depth" 0; cat "$work/greywide.jpg"; } > "$d/greywide-$depth.bin"
  { header "$depth" 3; cat "$work/s420.jpg"; } > "$d/small-$depth.bin"
done
{ header 1 2; cat "$work/progressive.jpg"; } > "$d/progressive.bin"
header 0 0 > "$d/no-preview.bin"

d="$corpus/fuzz_package_import"
"$make_lvs" "$d/style.lvs" --meta "$work/meta.json" --prv "$work/wide.jpg"
"$make_lvs" "$d/grey.lvs" --meta "$work/meta.json" --prv "$work/greywide.jpg"
"$make_lvs" "$d/zip64.lvs" --meta "$work/meta.json" --prv "$work/s420.jpg" --zip64
"$make_lvs" "$d/meta-only.lvs" --package-password meta="$work/meta.json"
"$make_lvs" "$d/plain.lvs" meta="$work/meta.json" prv="$work/tiny.jpg"
cp "$corpus/fuzz_meta/escapes.json" "$work/escapes.json"
"$make_lvs" "$d/escapes.lvs" --meta "$work/escapes.json" --prv "$work/tiny.jpg"

for t in fuzz_decoder fuzz_package_read fuzz_meta fuzz_preview_draw fuzz_package_import; do
  echo "make_seeds: $t: $(ls "$corpus/$t" | wc -l) files, $(du -sk "$corpus/$t" | cut -f1) KiB"
done
