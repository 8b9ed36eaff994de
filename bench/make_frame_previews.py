#!/usr/bin/python3
"""Makes the three 1280x720 previews bench_frame draws, from photographs.

Synthetic pictures flatter a decoder: their entropy-coded data is sparse and
regular. These come from two photographs that Debian's lomiri-wallpapers-20.04
installs (bark and a bird against bokeh; a starfield over water), scaled to
cover 1280x720 and centre-cropped, then encoded by libjpeg-turbo's cjpeg, as
most of the JPEG files a user has were made by libjpeg or its descendants.

    /usr/bin/python3 bench/make_frame_previews.py --cjpeg cjpeg --out DIR

Writes DIR/420q85.jpg, DIR/444q95.jpg and DIR/greyq90.jpg.
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

# (output, photograph, cjpeg options)
PREVIEWS = [
    ("420q85.jpg", BARK, ["-quality", "85", "-sample", "2x2"]),
    ("444q95.jpg", STARS, ["-quality", "95", "-sample", "1x1"]),
    ("greyq90.jpg", BARK, ["-quality", "90", "-grayscale"]),
]


def crop(path):
    img = Image.open(path).convert("RGB")
    scale = max(W / img.width, H / img.height)
    img = img.resize((round(img.width * scale), round(img.height * scale)), Image.LANCZOS)
    left, top = (img.width - W) // 2, (img.height - H) // 2
    return img.crop((left, top, left + W, top + H))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cjpeg", default="cjpeg")
    ap.add_argument("--out", required=True)
    ap.add_argument("--backgrounds", default=BACKGROUNDS)
    args = ap.parse_args()

    os.makedirs(args.out, exist_ok=True)
    crops = {}
    with tempfile.TemporaryDirectory() as tmp:
        for name, photo, options in PREVIEWS:
            source = os.path.join(args.backgrounds, photo)
            if not os.path.exists(source):
                sys.exit(f"make_frame_previews: {source} is missing: "
                         "bash scripts/install-deps.sh installs lomiri-wallpapers-20.04")
            if photo not in crops:
                crops[photo] = os.path.join(tmp, photo + ".ppm")
                crop(source).save(crops[photo])
            # Written beside, then renamed, so that an interrupted build
            # never leaves a truncated preview that looks up to date.
            target = os.path.join(args.out, name)
            subprocess.run([args.cjpeg, *options, "-outfile", target + ".part", crops[photo]], check=True)
            os.replace(target + ".part", target)


if __name__ == "__main__":
    main()
