#!/usr/bin/python3
"""Makes the four 1280x720 previews bench_frame draws, from photographs.

Synthetic pictures flatter a decoder: their entropy-coded data is sparse and
regular. These come from two photographs that Debian's lomiri-wallpapers-20.04
installs (bark and a bird against bokeh; a starfield over water), encoded by
libjpeg-turbo's cjpeg, as most of the JPEG files a user has were made by
libjpeg or its descendants. Three are the photographs scaled to cover
1280x720 and centre-cropped; the fourth is a collage of their most detailed
pieces at native scale (feathers, bark, stars), unscaled, so that it keeps
all their detail: the hardest picture a frame is likely to meet, some 466 KB
at quality 95 without subsampling.

    /usr/bin/python3 bench/make_frame_previews.py --cjpeg cjpeg --out DIR

Writes DIR/420q85.jpg, DIR/444q95.jpg, DIR/greyq90.jpg and DIR/collage444q95.jpg.
"""
import argparse
import os
import subprocess
import sys
import tempfile

from PIL import Image

W, H = 1280, 720
BACKGROUNDS = "/usr/share/backgrounds"
BARK = "Kleiber_by_Lukas_Baubkus.jpg"
STARS = "Infinite-Sea_by_Aury88.jpg"

# (output, photograph or COLLAGE, cjpeg options)
COLLAGE = "collage"
PREVIEWS = [
    ("420q85.jpg", BARK, ["-quality", "85", "-sample", "2x2"]),
    ("444q95.jpg", STARS, ["-quality", "95", "-sample", "1x1"]),
    ("greyq90.jpg", BARK, ["-quality", "90", "-grayscale"]),
    ("collage444q95.jpg", COLLAGE, ["-quality", "95", "-sample", "1x1"]),
]

# The collage's twelve 320x240 pieces, row by row: (photograph, left, top)
# in the photograph's own pixels. They are the pieces on a 320x240 grid that
# take the most bytes at quality 95.
TILE_W, TILE_H = 320, 240
TILES = [
    (BARK, 2560, 1680), (STARS, 2240, 2160), (BARK, 2560, 1920), (BARK, 2240, 1680),
    (STARS, 2240, 2400), (BARK, 2240, 1440), (BARK, 2240, 2640), (BARK, 2240, 1920),
    (BARK, 2560, 3120), (STARS, 2240, 2640), (BARK, 2240, 2400), (BARK, 2240, 1200),
]


def crop(path):
    img = Image.open(path).convert("RGB")
    scale = max(W / img.width, H / img.height)
    img = img.resize((round(img.width * scale), round(img.height * scale)), Image.LANCZOS)
    left, top = (img.width - W) // 2, (img.height - H) // 2
    return img.crop((left, top, left + W, top + H))


def collage(backgrounds):
    photos = {}
    out = Image.new("RGB", (W, H))
    for i, (photo, left, top) in enumerate(TILES):
        if photo not in photos:
            photos[photo] = Image.open(os.path.join(backgrounds, photo)).convert("RGB")
        piece = photos[photo].crop((left, top, left + TILE_W, top + TILE_H))
        out.paste(piece, ((i % 4) * TILE_W, (i // 4) * TILE_H))
    return out


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cjpeg", default="cjpeg")
    ap.add_argument("--out", required=True)
    ap.add_argument("--backgrounds", default=BACKGROUNDS)
    args = ap.parse_args()

    os.makedirs(args.out, exist_ok=True)
    crops = {}
    with tempfile.TemporaryDirectory() as tmp:
        for photo in (BARK, STARS):
            source = os.path.join(args.backgrounds, photo)
            if not os.path.exists(source):
                sys.exit(f"make_frame_previews: {source} is missing: "
                         "bash scripts/install-deps.sh installs lomiri-wallpapers-20.04")
        for name, photo, options in PREVIEWS:
            if photo not in crops:
                crops[photo] = os.path.join(tmp, photo + ".ppm")
                picture = collage(args.backgrounds) if photo == COLLAGE else crop(os.path.join(args.backgrounds, photo))
                picture.save(crops[photo])
            # Written beside, then renamed, so that an interrupted build
            # never leaves a truncated preview that looks up to date.
            target = os.path.join(args.out, name)
            subprocess.run([args.cjpeg, *options, "-outfile", target + ".part", crops[photo]], check=True)
            os.replace(target + ".part", target)


if __name__ == "__main__":
    main()
