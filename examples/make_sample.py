#!/usr/bin/python3
"""Draws the sample style's preview and writes examples/sample.lvs.

The preview is a 1280x720 "Golden Hour" style card: a graded landscape at
dusk (teal shadows, orange highlights) under a film letterbox, with the
style's name on it. Everything is computed from fixed numbers, so the same
picture comes out every time; it is saved as a baseline JPEG and packed with
its metadata by the make_lvs tool (both entries deflated and encrypted with
the package password).

    /usr/bin/python3 examples/make_sample.py BUILD_DIR/tools/make_lvs/make_lvs
"""
import json
import math
import os
import subprocess
import sys

from PIL import Image, ImageDraw, ImageFilter, ImageFont

W, H = 1280, 720
HERE = os.path.dirname(os.path.abspath(__file__))
FONT_DIR = "/usr/share/fonts/truetype/dejavu"

META = {
    "name": "Golden Hour",
    "author": "Lumivastrin Sample Studio",
    "hash": "5a17c0de9f2c4b8e",
    "version": 3,
}


def lerp(a, b, t):
    return tuple(int(round(x + (y - x) * t)) for x, y in zip(a, b))


def sky():
    img = Image.new("RGB", (W, H))
    px = img.load()
    top, middle, horizon = (18, 52, 74), (196, 104, 64), (255, 196, 120)
    for y in range(H):
        t = y / (H * 0.62)
        colour = lerp(top, middle, min(t, 1.0) ** 1.4) if t < 0.75 else lerp(middle, horizon, min((t - 0.75) / 0.25, 1.0))
        for x in range(W):
            # The sun's glow, left of centre, warms the sky around it.
            d = math.hypot(x - 430, y - 390) / 520.0
            glow = max(0.0, 1.0 - d) ** 2
            px[x, y] = lerp(colour, (255, 226, 170), glow * 0.8)
    return img


def ridge(seed, base, amplitude):
    points = []
    for x in range(0, W + 16, 16):
        y = base
        for k, (f, a) in enumerate(((0.004, 1.0), (0.011, 0.45), (0.027, 0.2))):
            y -= amplitude * a * math.sin(x * f + seed * (k + 1.7))
        points.append((x, y))
    return points + [(W, H), (0, H)]


def landscape(img):
    draw = ImageDraw.Draw(img)
    draw.ellipse((430 - 46, 390 - 46, 430 + 46, 390 + 46), fill=(255, 236, 196))
    layers = [
        (1.3, 430, 70, (120, 92, 104)),
        (2.9, 470, 60, (70, 72, 92)),
        (4.1, 515, 45, (34, 52, 66)),
    ]
    for seed, base, amp, colour in layers:
        draw.polygon(ridge(seed, base, amp), fill=colour)
    # The lake: the sky's colours mirrored and darkened, with a few ripples.
    lake_top = 540
    reflection = img.crop((0, lake_top - (H - lake_top), W, lake_top)).transpose(Image.FLIP_TOP_BOTTOM)
    reflection = Image.blend(reflection, Image.new("RGB", reflection.size, (16, 40, 56)), 0.45)
    img.paste(reflection, (0, lake_top))
    for i in range(14):
        y = lake_top + 10 + i * i * 0.9
        draw.line((300 - i * 12, y, 560 + i * 12, y), fill=(255, 210, 150), width=1)
    return img


def title(img):
    img = img.filter(ImageFilter.GaussianBlur(1.2))
    draw = ImageDraw.Draw(img)
    bar = 60
    draw.rectangle((0, 0, W, bar), fill=(8, 8, 10))
    draw.rectangle((0, H - bar, W, H), fill=(8, 8, 10))
    big = ImageFont.truetype(os.path.join(FONT_DIR, "DejaVuSans-Bold.ttf"), 84)
    small = ImageFont.truetype(os.path.join(FONT_DIR, "DejaVuSans.ttf"), 28)
    tiny = ImageFont.truetype(os.path.join(FONT_DIR, "DejaVuSans-Bold.ttf"), 20)
    draw.text((W - 80, 250), META["name"].upper(), font=big, fill=(255, 244, 228), anchor="rs")
    draw.text((W - 82, 300), "teal shadows  ·  amber highlights  ·  soft film grain", font=small,
              fill=(235, 210, 180), anchor="rs")
    draw.text((40, bar / 2), "LUMIVASTRIN", font=tiny, fill=(230, 180, 110), anchor="lm")
    draw.text((W - 40, bar / 2), "STYLE PREVIEW", font=tiny, fill=(160, 160, 168), anchor="rm")
    draw.text((40, H - bar / 2), "v%d  ·  %s" % (META["version"], META["author"]), font=tiny,
              fill=(160, 160, 168), anchor="lm")
    return img


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    make_lvs = sys.argv[1]
    preview = os.path.join(HERE, "sample_preview.jpg")
    meta = os.path.join(HERE, "sample_meta.json")
    title(landscape(sky())).save(preview, "JPEG", quality=90, progressive=False, optimize=False,
                                 subsampling="4:2:0")
    with open(meta, "w") as f:
        json.dump(META, f, indent=2)
        f.write("\n")
    subprocess.run([make_lvs, os.path.join(HERE, "sample.lvs"), "--meta", meta, "--prv", preview], check=True)


if __name__ == "__main__":
    main()
