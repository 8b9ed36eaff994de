#!/usr/bin/python3
"""Generate the fallback picture the plug-in draws when a package has no
usable preview.

Usage: make_update_preview.py [OUTPUT]
(default OUTPUT: Plugin/LumivastrinImporter/resources/update_preview.jpg)

The output is byte-for-byte reproducible on a given set of Debian packages
(python3-pil, its libjpeg-turbo and FreeType, fonts-dejavu-core): the
background comes from fixed geometry, nothing carries a date, and the quality
is found by a fixed search. The plug-in's size check and its tests pin the
file at exactly TARGET_SIZE bytes, so the encoder's own marker layout is
replaced by a fixed one and the XMP packet's padding absorbs the remainder.
"""

import io
import os
import struct
import sys

from PIL import Image, ImageDraw, ImageFilter, ImageFont

WIDTH, HEIGHT = 1280, 720
TARGET_SIZE = 164586
MAX_SEGMENT_PAYLOAD = 65533  # a segment length field counts itself

FONT_DIR = "/usr/share/fonts/truetype/dejavu"
LINE1 = "To preview this style, please re-download the latest version at"
LINE2 = "www.lumivastrin.com/styles"

# Soft colour blobs: centre x, centre y, radius x, radius y, colour. Pale
# enough everywhere that black text stays easy to read after blurring.
BLOBS = [
    (120, 110, 420, 300, (255, 186, 196)),
    (640, 0, 520, 240, (255, 226, 168)),
    (1180, 140, 420, 320, (170, 214, 255)),
    (1100, 640, 460, 300, (196, 176, 255)),
    (560, 700, 520, 260, (160, 236, 208)),
    (60, 620, 360, 260, (255, 206, 150)),
    (640, 360, 360, 200, (238, 238, 248)),
]
BASE_COLOUR = (232, 228, 244)


def draw_background():
    # Drawn at a quarter of the size and enlarged: the blur then costs little
    # and the enlargement adds to its smoothness.
    scale = 4
    small = Image.new("RGB", (WIDTH // scale, HEIGHT // scale), BASE_COLOUR)
    draw = ImageDraw.Draw(small)
    for cx, cy, rx, ry, colour in BLOBS:
        cx, cy, rx, ry = cx // scale, cy // scale, rx // scale, ry // scale
        draw.ellipse((cx - rx, cy - ry, cx + rx, cy + ry), fill=colour)
    small = small.filter(ImageFilter.GaussianBlur(radius=40))
    big = small.resize((WIDTH, HEIGHT), Image.BICUBIC)
    return big.filter(ImageFilter.GaussianBlur(radius=12))


def draw_text(image):
    draw = ImageDraw.Draw(image)
    regular = ImageFont.truetype(os.path.join(FONT_DIR, "DejaVuSans.ttf"), 34)
    bold = ImageFont.truetype(os.path.join(FONT_DIR, "DejaVuSans-Bold.ttf"), 56)
    gap = 28
    # Centre on the ink's bounding boxes, not on the fonts' advance boxes,
    # so the two lines together sit in the middle of the picture.
    boxes = [draw.textbbox((0, 0), LINE1, font=regular),
             draw.textbbox((0, 0), LINE2, font=bold)]
    heights = [b[3] - b[1] for b in boxes]
    top = (HEIGHT - (heights[0] + gap + heights[1])) // 2
    for text, font, box, y in ((LINE1, regular, boxes[0], top),
                               (LINE2, bold, boxes[1], top + heights[0] + gap)):
        width = box[2] - box[0]
        x = (WIDTH - width) // 2 - box[0]
        draw.text((x, y - box[1]), text, font=font, fill=(0, 0, 0))
        if width > WIDTH - 80:
            sys.exit(f"line too wide for the picture: {text!r}")


def segment(marker, payload):
    if len(payload) > MAX_SEGMENT_PAYLOAD:
        raise ValueError(f"segment FF{marker:02X} payload of {len(payload)} bytes")
    return struct.pack(">BBH", 0xFF, marker, len(payload) + 2) + payload


def parse_encoder_output(data):
    """Split the encoder's file into its tables, frame, scan and entropy data."""
    if data[:2] != b"\xff\xd8":
        raise ValueError("no SOI")
    pos = 2
    dqt, dht = [], []
    sof = sos = None
    while True:
        if data[pos] != 0xFF:
            raise ValueError(f"marker expected at {pos}")
        marker = data[pos + 1]
        length = struct.unpack(">H", data[pos + 2:pos + 4])[0]
        body = data[pos + 4:pos + 2 + length]
        pos += 2 + length
        if marker == 0xDB:
            dqt.append(body)
        elif marker == 0xC4:
            dht.append(body)
        elif marker == 0xC0:
            sof = body
        elif marker == 0xDA:
            sos = body
            break
        elif marker == 0xDD or 0xC1 <= marker <= 0xCF:
            raise ValueError(f"unexpected marker FF{marker:02X}")
        # APP0 and anything else ahead of the frame is dropped.
    end = data.rindex(b"\xff\xd9")
    if end != len(data) - 2:
        raise ValueError("data after EOI")
    return b"".join(dqt), b"".join(dht), sof, sos, data[pos:end]


def check_tables(dqt, dht, sof, sos):
    tables = {}
    pos = 0
    while pos < len(dqt):
        pq, tq = dqt[pos] >> 4, dqt[pos] & 15
        if pq != 0:
            raise ValueError("quantisation table with 16-bit entries")
        tables[tq] = dqt[pos + 1:pos + 65]
        pos += 65
    if sorted(tables) != [0, 1]:
        raise ValueError(f"quantisation tables {sorted(tables)}")
    height, width, count = struct.unpack(">HHB", sof[1:6])
    components = [tuple(sof[6 + 3 * i:9 + 3 * i]) for i in range(count)]
    if (sof[0], width, height) != (8, WIDTH, HEIGHT) or \
            [(c[1], c[2]) for c in components] != [(0x11, 0), (0x11, 1), (0x11, 1)]:
        raise ValueError(f"unexpected frame {sof.hex()}")
    classes = []
    pos = 0
    while pos < len(dht):
        classes.append(dht[pos])
        pos += 17 + sum(dht[pos + 1:pos + 17])
    if sorted(classes) != [0x00, 0x01, 0x10, 0x11]:
        raise ValueError(f"Huffman tables {classes}")
    if sos[0] != 3 or sos[-3:] != b"\x00\x3f\x00":
        raise ValueError(f"unexpected scan header {sos.hex()}")


def encode(picture, quality):
    out = io.BytesIO()
    picture.save(out, "JPEG", quality=quality, subsampling=0, optimize=False,
                 progressive=False)
    return out.getvalue()


# Tags of the Ducky block photo tools write: quality, then the terminator.
def app12_ducky(quality):
    return b"Ducky" + struct.pack(">HHI", 1, 4, quality) + b"\x00\x00"


# An Exif block with a big-endian TIFF header and one IFD of no entries and no
# successor: the smallest block readers accept as well formed.
APP1_EXIF = b"Exif\x00\x00" + b"MM\x00\x2a" + struct.pack(">IHI", 8, 0, 0)

# Version 100, no flags, transform 1: the components are YCbCr.
APP14_ADOBE = b"Adobe" + struct.pack(">HHHB", 100, 0, 0, 1)

XMP_NAMESPACE = b"http://ns.adobe.com/xap/1.0/\x00"
XMP_HEAD = (
    '<?xpacket begin="\ufeff" id="W5M0MpCehiHzreSzNTczkc9d"?>\n'
    '<x:xmpmeta xmlns:x="adobe:ns:meta/">\n'
    ' <rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">\n'
    '  <rdf:Description rdf:about=""\n'
    '    xmlns:xmp="http://ns.adobe.com/xap/1.0/"\n'
    '    xmlns:dc="http://purl.org/dc/elements/1.1/"\n'
    '   xmp:CreatorTool="Lumivastrin fallback generator">\n'
    '   <dc:title><rdf:Alt><rdf:li xml:lang="x-default">'
    'Style preview unavailable</rdf:li></rdf:Alt></dc:title>\n'
    '  </rdf:Description>\n'
    ' </rdf:RDF>\n'
    '</x:xmpmeta>\n'
).encode("utf-8")
XMP_TAIL = b'<?xpacket end="w"?>'


def xmp_packet(padding):
    # Padding is whitespace in lines of 100 characters, as XMP writers leave it
    # for in-place edits; the last line is shortened to hit the exact size.
    lines = []
    while padding > 0:
        n = min(padding, 101)
        lines.append(b" " * (n - 1) + b"\n" if n > 1 else b"\n")
        padding -= n
    return XMP_NAMESPACE + XMP_HEAD + b"".join(lines) + XMP_TAIL


def assemble(encoded, quality, padding):
    dqt, dht, sof, sos, entropy = parse_encoder_output(encoded)
    check_tables(dqt, dht, sof, sos)
    return b"".join([
        b"\xff\xd8",
        segment(0xE1, APP1_EXIF),
        segment(0xEC, app12_ducky(quality)),
        segment(0xE1, xmp_packet(padding)),
        segment(0xEE, APP14_ADOBE),
        segment(0xDB, dqt),
        segment(0xC0, sof),
        segment(0xC4, dht),
        segment(0xDA, sos),
        entropy,
        b"\xff\xd9",
    ])


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    default = os.path.join(here, "..", "..", "Plugin", "LumivastrinImporter",
                           "resources", "update_preview.jpg")
    output = sys.argv[1] if len(sys.argv) > 1 else default

    picture = draw_background()
    draw_text(picture)

    # The best quality whose file, with the least padding, still fits. The
    # padding that is left over is then less than one quality step's growth,
    # far below what one segment can carry.
    for quality in range(100, 0, -1):
        encoded = encode(picture, quality)
        size = len(assemble(encoded, quality, 0))
        if size <= TARGET_SIZE:
            break
    else:
        sys.exit("picture does not fit at any quality")
    result = assemble(encoded, quality, TARGET_SIZE - size)
    assert len(result) == TARGET_SIZE

    with open(output, "wb") as f:
        f.write(result)
    print(f"{output}: quality {quality}, padding {TARGET_SIZE - size} bytes")


if __name__ == "__main__":
    main()
