#!/usr/bin/env python3
"""Writes the hostile package corpus and its manifest.

    python3 make_hostile.py PREVIEW_JPG OUTDIR

PREVIEW_JPG is a baseline JPEG of 1280 by 720. Every case is written into
OUTDIR, and OUTDIR/manifest.tsv gets one line per case:

    file <TAB> open <TAB> draw <TAB> codes <TAB> note

file is the case's path below OUTDIR, as bytes (one name is not UTF-8).
open is the result the import must give (0, or 512 for unusable metadata).
draw is what a frame of footage whose record names the file must show:
"preview" (PREVIEW_JPG as the plug-in's decoder paints it), "preview=NAME"
(the JPEG OUTDIR/NAME, carried by that package), "fallback" (the
compiled-in picture), or "512" (a draw that fails because a preview entry is
there but its bytes cannot be had). codes are the problem codes `lvs check`
must report, space-separated ("-" for none): what is wrong with the case as
it was built, so that every way the problem table knows a package to fail
is made here, but for those no file can make (memory running out, a read
of the file failing, a module that misbehaves; a file no one may read,
when the corpus is made by root).

The zip archives are written here byte by byte rather than by a zip library,
because most cases are archives no library would write. Everything is a pure
function of PREVIEW_JPG: the cipher headers come from a hash of the entry,
so the same input gives the same files.
"""
import hashlib
import itertools
import json
import os
import random
import socket
import struct
import sys
import zipfile
import zlib

FALLBACK_JPG = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "Plugin", "LumivastrinImporter",
                            "resources", "update_preview.jpg")

PASSWORD = b"Hq4$Tw8mB!r2Kd6^Lp9*Vz3#Nc7Ey5Gs"
OTHER_PASSWORD = b"Hq4$Tw8mB!r2Kd6^Lp9*Vz3#Nc7Ey5Gt"
META = {"name": "Ink", "author": "A. B.", "hash": "9f2c", "version": 3}
META_TEXT = json.dumps(META, separators=(",", ":")).encode()

META_SIZE_BOUND = 65536
DEPTH_BOUND = 64
ENTRY_BOUND = 1024
DIRECTORY_BOUND = 1 << 20
ENTRY_CEILING = 4 << 20
PATH_BOUND = 259  # the bytes of a path the options record keeps
PIXELS_PER_BYTE = 512

LOCAL_SIG = b"PK\x03\x04"
CENTRAL_SIG = b"PK\x01\x02"
EOCD_SIG = b"PK\x05\x06"
Z64_EOCD_SIG = b"PK\x06\x06"
Z64_LOCATOR_SIG = b"PK\x06\x07"
DESCRIPTOR_SIG = b"PK\x07\x08"

FLAG_ENCRYPTED = 1 << 0
FLAG_DESCRIPTOR = 1 << 3
FLAG_STRONG = 1 << 6

DOS_TIME = 12 << 11
DOS_DATE = ((2024 - 1980) << 9) | (1 << 5) | 1


# --- The traditional PKWARE cipher ----------------------------------------

CRC_TABLE = []
for n in range(256):
    c = n
    for _ in range(8):
        c = (c >> 1) ^ 0xEDB88320 if c & 1 else c >> 1
    CRC_TABLE.append(c)


def zipcrypto(data, password, check_byte, seed):
    """The 12-byte header (11 bytes drawn from seed, then check_byte) and the
    data, both encrypted."""
    table = CRC_TABLE
    k0, k1, k2 = 0x12345678, 0x23456789, 0x34567890

    def update(k0, k1, k2, c):
        k0 = (k0 >> 8) ^ table[(k0 ^ c) & 0xFF]
        k1 = ((k1 + (k0 & 0xFF)) * 134775813 + 1) & 0xFFFFFFFF
        k2 = (k2 >> 8) ^ table[(k2 ^ (k1 >> 24)) & 0xFF]
        return k0, k1, k2

    for c in password:
        k0, k1, k2 = update(k0, k1, k2, c)
    header = hashlib.sha256(seed).digest()[:11] + bytes([check_byte])
    out = bytearray(len(header) + len(data))
    i = 0
    for chunk in (header, data):
        for c in chunk:
            t = (k2 | 2) & 0xFFFF
            out[i] = c ^ (((t * (t ^ 1)) >> 8) & 0xFF)
            i += 1
            # The key update, inlined: this loop carries every encrypted byte.
            k0 = (k0 >> 8) ^ table[(k0 ^ c) & 0xFF]
            k1 = ((k1 + (k0 & 0xFF)) * 134775813 + 1) & 0xFFFFFFFF
            k2 = (k2 >> 8) ^ table[(k2 ^ (k1 >> 24)) & 0xFF]
    return bytes(out)


def deflate(data):
    z = zlib.compressobj(9, zlib.DEFLATED, -15, 9)
    return z.compress(data) + z.flush()


class DeflateBits:
    """Deflate's bit order: values from the low bit, Huffman codes from the high."""

    def __init__(self):
        self.out, self.acc, self.n = bytearray(), 0, 0

    def put(self, value, length):
        self.acc |= value << self.n
        self.n += length
        while self.n >= 8:
            self.out.append(self.acc & 0xFF)
            self.acc >>= 8
            self.n -= 8

    def code(self, code, length):
        self.put(int(format(code, "0%db" % length)[::-1], 2), length)


CODE_LENGTH_ORDER = [16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15]


def empty_dynamic_block(w):
    """A dynamic block that delivers nothing, with full code tables: 286
    literal/length codes and 30 distance codes, all of which inflate builds
    its tables for, in 38.5 bytes. Per raw byte the costliest padding found
    (plain stored or fixed empty blocks cost inflate less than a tenth)."""
    w.put(0, 1)
    w.put(2, 2)
    w.put(286 - 257, 5)
    w.put(30 - 1, 5)
    w.put(19 - 4, 4)
    lengths = {8: 2, 9: 2, 16: 2, 4: 3, 5: 3}  # a complete code over the code lengths used
    for symbol in CODE_LENGTH_ORDER:
        w.put(lengths.get(symbol, 0), 3)
    codes = {8: (0, 2), 9: (1, 2), 16: (2, 2), 4: (6, 3), 5: (7, 3)}

    def run(length, count):  # count codes of one length: the length, then repeats of 3 to 6
        w.code(*codes[length])
        count -= 1
        while count >= 3:
            k = min(6, count)
            w.code(*codes[16])
            w.put(k - 3, 2)
            count -= k
        for _ in range(count):
            w.code(*codes[length])

    run(8, 226)  # 226 literal/length codes of 8 bits and 60 of 9: complete
    run(9, 60)
    run(5, 28)  # 28 distance codes of 5 bits and 2 of 4: complete
    run(4, 2)
    w.code(2 * 226 + (256 - 226), 9)  # end of block: the 31st code of 9 bits


def padded_deflate(plain, raw_size):
    """plain deflated behind blocks that deliver nothing, then filler after
    the stream's end, raw_size bytes in all."""
    w = DeflateBits()
    empty_dynamic_block(w)
    empty_dynamic_block(w)
    assert w.n == 0  # two blocks end on a byte boundary
    pair = bytes(w.out)
    # An empty stored block between the padding and the stream.
    stream = b"\x00\x00\x00\xff\xff" + deflate(plain)
    body = pair * max(0, (raw_size - len(stream)) // len(pair)) + stream
    assert len(body) <= raw_size
    return body + bytes(raw_size - len(body))


def raw_bound(size, encrypted):
    """The raw bytes the plug-in lets a deflated entry of size bytes have."""
    return (12 if encrypted else 0) + size + (size + 7) // 8 + (size + 63) // 64 + 5


_sealed = {}


def seal(plain, method=8, password=PASSWORD, check_byte=None):
    """Compressed (and encrypted) bytes of plain; the many cases that carry the
    same preview share one result, which keeps the run short."""
    key = (hashlib.sha256(plain).digest(), method, password, check_byte)
    if key not in _sealed:
        crc = zlib.crc32(plain)
        body = deflate(plain) if method == 8 else plain
        if password:
            check = crc >> 24 if check_byte is None else check_byte
            body = zipcrypto(body, password, check, key[0] + password)
        _sealed[key] = body
    return _sealed[key]


# --- Archives, every field in reach ---------------------------------------

class Entry:
    """One member. Central fields come from the content; any local_* or
    override attribute set afterwards changes that field alone."""

    def __init__(self, name, plain=b"", method=8, password=PASSWORD, body=None, descriptor=False):
        self.name = name if isinstance(name, bytes) else name.encode()
        self.method = method
        self.flags = (FLAG_ENCRYPTED if password else 0) | (FLAG_DESCRIPTOR if descriptor else 0)
        self.crc = zlib.crc32(plain)
        self.usize = len(plain)
        if body is None:
            # With a descriptor the check byte is the time's high byte, as the
            # CRC is not known when the header is written.
            body = seal(plain, method, password, (DOS_TIME >> 8) if descriptor else None)
        self.body = body
        self.csize = len(body)
        self.descriptor = descriptor
        self.version_needed = 20
        self.local_extra = b""
        self.central_extra = b""
        self.comment = b""
        self.local_sig = LOCAL_SIG
        self.local_name = None
        self.local_fields = {}  # crc, csize, usize overrides for the local header
        self.offset = None  # central offset override
        self.shares = None  # an Entry whose local header this one's record points at
        self.written_at = None

    def local_header(self):
        f = dict(crc=self.crc, csize=self.csize, usize=self.usize)
        if self.descriptor:
            f = dict(crc=0, csize=0, usize=0)
        f.update(self.local_fields)
        name = self.name if self.local_name is None else self.local_name
        return self.local_sig + struct.pack(
            "<HHHHHIIIHH", self.version_needed, self.flags, self.method, DOS_TIME, DOS_DATE,
            f["crc"], f["csize"], f["usize"], len(name), len(self.local_extra)) + name + self.local_extra

    def data_descriptor(self):
        return DESCRIPTOR_SIG + struct.pack("<III", self.crc, self.csize, self.usize) if self.descriptor else b""

    def central_record(self):
        target = self.shares or self
        offset = target.written_at if self.offset is None else self.offset
        return CENTRAL_SIG + struct.pack(
            "<HHHHHHIIIHHHHHII", 0x031E, self.version_needed, self.flags, self.method, DOS_TIME, DOS_DATE,
            self.crc, self.csize, self.usize, len(self.name), len(self.central_extra), len(self.comment),
            0, 0, 0o100644 << 16, offset) + self.name + self.central_extra + self.comment


def z64_extra(*values):
    return struct.pack("<HH", 1, 8 * len(values)) + b"".join(struct.pack("<Q", v) for v in values)


def archive(entries, comment=b"", eocd=None, zip64=None, locator=None, before_end=b"", directory=None):
    """The archive's bytes. eocd, zip64 (the zip64 end record) and locator are
    dicts of field overrides; zip64 or locator given (even empty) writes those
    records. directory, when given, replaces the central directory's bytes."""
    out = bytearray()
    for e in entries:
        if e.shares is not None:
            continue
        e.written_at = len(out)
        out += e.local_header() + e.body + e.data_descriptor()
    cd_offset = len(out)
    cd = directory if directory is not None else b"".join(e.central_record() for e in entries)
    out += cd
    count = len(entries)
    if zip64 is not None or locator is not None:
        z = dict(n_disk=count, n_total=count, cd_size=len(cd), cd_offset=cd_offset)
        z.update(zip64 or {})
        z64_at = len(out)
        out += Z64_EOCD_SIG + struct.pack("<QHHIIQQQQ", 44, 45, 45, 0, 0, z["n_disk"], z["n_total"],
                                          z["cd_size"], z["cd_offset"])
        loc = dict(disk=0, offset=z64_at, disks=1)
        loc.update(locator or {})
        out += Z64_LOCATOR_SIG + struct.pack("<IQI", loc["disk"], loc["offset"], loc["disks"])
    out += before_end
    f = dict(disk=0, cd_disk=0, n_disk=count, n_total=count, cd_size=len(cd), cd_offset=cd_offset,
             comment_len=len(comment))
    if zip64 is not None or locator is not None:
        f.update(n_disk=0xFFFF, n_total=0xFFFF, cd_size=0xFFFFFFFF, cd_offset=0xFFFFFFFF)
    f.update(eocd or {})
    out += EOCD_SIG + struct.pack("<HHHHIIH", f["disk"], f["cd_disk"], min(f["n_disk"], 0xFFFF),
                                  min(f["n_total"], 0xFFFF), f["cd_size"], f["cd_offset"], f["comment_len"])
    return bytes(out + comment)


# --- JPEG pictures -------------------------------------------------------

DC_BITS = [0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0]
DC_VALS = list(range(12))
AC_BITS = [0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7D]
AC_VALS = bytes.fromhex(
    "01020300041105122131410613516107227114328191a1082342b1c11552d1f02433627282090a161718191a25262728292a"
    "3435363738393a434445464748494a535455565758595a636465666768696a737475767778797a838485868788898a929394"
    "95969798999aa2a3a4a5a6a7a8a9aab2b3b4b5b6b7b8b9bac2c3c4c5c6c7c8c9cad2d3d4d5d6d7d8d9dae1e2e3e4e5e6e7e8"
    "e9eaf1f2f3f4f5f6f7f8f9fa")


def segment(marker, payload):
    return bytes([0xFF, marker]) + struct.pack(">H", len(payload) + 2) + payload


def dht(table_class, table_id, bits, vals):
    return segment(0xC4, bytes([(table_class << 4) | table_id]) + bytes(bits) + bytes(vals))


def sof(marker, width, height, components):
    return segment(marker, struct.pack(">BHHB", 8, height, width, components) +
                   b"".join(bytes([i + 1, 0x11, 0]) for i in range(components)))


def huffman_codes(bits, vals):
    codes, code, k = {}, 0, 0
    for length in range(1, 17):
        for _ in range(bits[length - 1]):
            codes[vals[k]] = (code, length)
            code += 1
            k += 1
        code <<= 1
    return codes


class BitWriter:
    def __init__(self):
        self.out, self.acc, self.n = bytearray(), 0, 0

    def put(self, value, length):
        self.acc = (self.acc << length) | (value & ((1 << length) - 1))
        self.n += length
        while self.n >= 8:
            self.n -= 8
            byte = (self.acc >> self.n) & 0xFF
            self.out.append(byte)
            if byte == 0xFF:
                self.out.append(0)
        self.acc &= (1 << self.n) - 1

    def align(self):
        if self.n:
            self.put((1 << (8 - self.n)) - 1, 8 - self.n)


def block_jpeg(width, height, components, progressive=False, restart=0, ac_bits=AC_BITS, ac_vals=AC_VALS):
    """A JPEG whose 8x8 blocks are flat, each its own level: small, valid,
    and decoded the same by every decoder. Components are not subsampled."""
    bw, bh = (width + 7) // 8, (height + 7) // 8

    def level(c, x, y):  # a quantised DC value; times 16/8 it spans the range
        return ((x * 7 + y * 3) % 100 - 50) if c == 0 else ((x + 2 * y + 13 * c) % 40 - 20)

    dc, ac = huffman_codes(DC_BITS, DC_VALS), huffman_codes(AC_BITS, AC_VALS)
    w = BitWriter()
    scan = bytearray()

    def put_dc(diff):
        size = abs(diff).bit_length()
        w.put(*dc[size])
        if size:
            w.put(diff if diff >= 0 else diff + (1 << size) - 1, size)

    pred = [0] * components
    for i in range(bw * bh):
        if restart and i and i % restart == 0:
            w.align()
            scan += w.out + bytes([0xFF, 0xD0 + (i // restart - 1) % 8])
            w.out, pred = bytearray(), [0] * components
        x, y = i % bw, i // bw
        for c in range(components):
            v = level(c, x, y)
            put_dc(v - pred[c])
            pred[c] = v
            if not progressive:
                w.put(*ac[0x00])  # end of block: every AC coefficient zero
    w.align()
    scan += w.out
    sos_all = segment(0xDA, bytes([components]) + b"".join(bytes([c + 1, 0x00]) for c in range(components)) +
                      (bytes([0, 0, 0]) if progressive else bytes([0, 63, 0])))
    out = bytearray(b"\xFF\xD8")
    out += segment(0xDB, b"\x00" + bytes([16] * 64))
    out += sof(0xC2 if progressive else 0xC0, width, height, components)
    out += dht(0, 0, DC_BITS, DC_VALS) + dht(1, 0, ac_bits, ac_vals)
    if restart:
        out += segment(0xDD, struct.pack(">H", restart))
    out += sos_all + scan
    if progressive:
        # One AC scan per component, every block a lone end of block.
        for c in range(components):
            w = BitWriter()
            for _ in range(bw * bh):
                w.put(*ac[0x00])
            w.align()
            out += segment(0xDA, bytes([1, c + 1, 0x00, 1, 63, 0])) + w.out
    return bytes(out + b"\xFF\xD9")


def header_only_jpeg(width, height, total_size=0):
    """Headers and no scan data, padded with zero-filled comments to
    total_size bytes."""
    body = (segment(0xDB, b"\x00" + bytes([16] * 64)) + sof(0xC0, width, height, 3) +
            dht(0, 0, DC_BITS, DC_VALS) + dht(1, 0, AC_BITS, AC_VALS) +
            segment(0xDA, b"\x03\x01\x00\x02\x00\x03\x00\x00\x3F\x00") + b"\xFF\xD9")
    pad = max(0, total_size - 2 - len(body))
    assert pad == 0 or pad >= 4
    comments = bytearray()
    while pad:
        # A comment's payload is at most 65533 bytes; never leave a gap smaller
        # than an empty comment.
        take = min(pad, 65537)
        if 0 < pad - take < 4:
            take -= 4
        comments += segment(0xFE, bytes(take - 4))
        pad -= take
    return b"\xFF\xD8" + bytes(comments) + body


def jpeg_segments(jpeg):
    """(marker, start, end) of each segment up to and including SOS."""
    out, i = [], 2
    while i < len(jpeg):
        marker, length = jpeg[i + 1], struct.unpack(">H", jpeg[i + 2:i + 4])[0]
        out.append((marker, i, i + 2 + length))
        if marker == 0xDA:
            break
        i += 2 + length
    return out


def with_frame_dims(jpeg, start, end, width, height):
    return jpeg[start:start + 5] + struct.pack(">HH", height, width) + jpeg[start + 9:end]


# --- The cases -------------------------------------------------------------

def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    preview = open(sys.argv[1], "rb").read()
    outdir = sys.argv[2]
    os.makedirs(outdir, exist_ok=True)
    manifest = []

    def clear(name):
        path = os.path.join(outdir, name)
        if os.path.isdir(path) and not os.path.islink(path):
            os.rmdir(path)
        elif os.path.lexists(path):
            os.unlink(path)
        return path

    def write(name, data, open_result, draw, note, codes):
        """codes: what lvs check must report of the case, space-separated."""
        with open(clear(name), "wb") as f:
            f.write(data)
        manifest.append((name, open_result, draw, codes, note))

    def odd_file(name, make, note, codes):
        try:
            make(clear(name))
        except OSError:
            return  # the system will not make this kind of file here
        manifest.append((name, 512, "fallback", codes, note))

    def meta_entry(text=META_TEXT, **kw):
        return Entry("meta", text, **kw)

    def prv_entry(jpeg=preview, **kw):
        return Entry("prv", jpeg, **kw)

    def good(meta=None, prv=None):
        return [meta or meta_entry(), prv or prv_entry()]

    def picture(name, jpeg):
        with open(clear(name), "wb") as f:
            f.write(jpeg)
        return "preview=" + name

    # Baselines, and readings of ordinary zip features.
    write("good.lvs", archive(good()), 0, "preview", "meta and prv, deflated and encrypted", codes="")
    write("plain_stored.lvs", archive(good(meta_entry(method=0, password=b""), prv_entry(method=0, password=b""))),
          0, "preview", "neither entry encrypted nor compressed", codes="")
    write("stored_encrypted.lvs", archive(good(meta_entry(method=0), prv_entry(method=0))),
          0, "preview", "stored and encrypted", codes="")
    write("data_descriptor.lvs", archive(good(meta_entry(descriptor=True), prv_entry(descriptor=True))),
          0, "preview", "sizes and CRC only in data descriptors and the directory", codes="")
    write("no_prv.lvs", archive([meta_entry()]), 0, "fallback", "no prv entry", codes="prv.missing")
    write("no_meta.lvs", archive([prv_entry()]), 512, "preview", "no meta entry", codes="meta.missing")
    # The cipher is checked by a reader that shares none of this code.
    with zipfile.ZipFile(os.path.join(outdir, "good.lvs")) as z:
        assert z.read("meta", pwd=PASSWORD) == META_TEXT and z.read("prv", pwd=PASSWORD) == preview
    with zipfile.ZipFile(os.path.join(outdir, "data_descriptor.lvs")) as z:
        assert z.read("prv", pwd=PASSWORD) == preview

    # Pixel bombs: headers that ask for a quarter of a gigapixel in a file just
    # big enough for the per-byte allowance, and almost nothing once deflated.
    for w, h in ((16384, 16384), (65535, 4096)):
        bomb = header_only_jpeg(w, h, (16384 * 16384) // PIXELS_PER_BYTE)
        write("bomb_%dx%d.lvs" % (w, h), archive(good(prv=prv_entry(bomb))), 0, "fallback",
              "prv is a %dx%d header of %d bytes without scan data" % (w, h, len(bomb)), codes="prv.wrong-size")
    write("bomb_1280x720_no_scan.lvs", archive(good(prv=prv_entry(header_only_jpeg(1280, 720)))), 0, "fallback",
          "prv is a 1280x720 header without scan data", codes="prv.damaged-jpeg")

    # Two frame headers: the one before the scan is the one that counts.
    segs = jpeg_segments(preview)
    sof_start, sof_end = next((s, e) for m, s, e in segs if m == 0xC0)
    sos_start = next(s for m, s, e in segs if m == 0xDA)
    # 4096 x 4096 stays within the pixels the preview's bytes allow, so only
    # the size decides.
    bogus = with_frame_dims(preview, sof_start, sof_end, 4096, 4096)
    write("frame_bogus_first.lvs",
          archive(good(prv=prv_entry(preview[:sof_start] + bogus + preview[sof_start:]))), 0, "preview",
          "a 4096x4096 frame header before the real one", codes="")
    write("frame_bogus_last.lvs",
          archive(good(prv=prv_entry(preview[:sos_start] + bogus + preview[sos_start:]))), 0, "fallback",
          "a 4096x4096 frame header after the real one, before the scan", codes="prv.wrong-size")

    # Metadata bombs and the metadata bounds.
    for name, text, note in (
            ("meta_bomb_brackets.lvs", b"[" * (64 << 20), "64 MiB of ["),
            ("meta_bomb_objects.lvs", b"{}," * (20 << 20), "60 MiB of {},"),
            ("meta_bomb_nesting.lvs", b"[" * (30 << 20) + b"]" * (30 << 20), "60 MiB of balanced [[...]]")):
        write(name, archive(good(meta=meta_entry(text))), 512, "preview", note, codes="meta.too-large")

    def padded_meta(size):
        head = META_TEXT[:-1] + b',"pad":"'
        return head + b"p" * (size - len(head) - 2) + b'"}'

    write("meta_size_bound.lvs", archive(good(meta=meta_entry(padded_meta(META_SIZE_BOUND)))), 0, "preview",
          "meta of exactly %d bytes" % META_SIZE_BOUND, codes="")
    write("meta_size_over.lvs", archive(good(meta=meta_entry(padded_meta(META_SIZE_BOUND + 1)))), 512, "preview",
          "meta of %d bytes" % (META_SIZE_BOUND + 1), codes="meta.too-large")
    for depth in (DEPTH_BOUND, DEPTH_BOUND + 1):
        arrays = b"[" * (depth - 1) + b"]" * (depth - 1)
        objects = b'{"a":' * (depth - 2) + b"{}" + b"}" * (depth - 2)
        for kind, deep in (("arrays", arrays), ("objects", objects)):
            write("meta_depth_%d_%s.lvs" % (depth, kind),
                  archive(good(meta=meta_entry(META_TEXT[:-1] + b',"deep":' + deep + b"}"))),
                  0 if depth <= DEPTH_BOUND else 512, "preview",
                  "meta nested %d levels deep through %s" % (depth, kind),
                  codes="" if depth <= DEPTH_BOUND else "meta.too-deep")
    controls = "Ink\x1b[31m\x07\r\n\t\x01\x08\x0c\x1f\x7f"
    escaped = json.dumps(dict(META, name=controls), separators=(",", ":")).encode()
    assert b"\\u001b" in escaped
    write("meta_control_escaped.lvs", archive(good(meta=meta_entry(escaped))), 0, "preview",
          "name holds escaped ESC, BEL, CR and other control characters", codes="")
    write("meta_control_raw.lvs", archive(good(meta=meta_entry(META_TEXT.replace(b"Ink", b"In\x1bk\x07")))),
          512, "preview", "name holds raw ESC and BEL bytes (not JSON)", codes="meta.not-json")
    write("meta_empty.lvs", archive(good(meta=meta_entry(b""))), 512, "preview", "meta of zero bytes", codes="meta.empty")

    # Entry counts and the directory's size.
    def fillers(count, prefix="f"):
        return [Entry("%s%05d" % (prefix, i), b"x", method=0, password=b"") for i in range(count)]

    write("entries_%d.lvs" % ENTRY_BOUND, archive(fillers(ENTRY_BOUND - 2) + good()), 0, "preview",
          "%d entries, meta and prv last" % ENTRY_BOUND, codes="")
    write("entries_%d.lvs" % (ENTRY_BOUND + 1), archive(fillers(ENTRY_BOUND - 1) + good()), 512, "fallback",
          "%d entries, meta and prv last" % (ENTRY_BOUND + 1), codes="zip.too-many-entries")
    write("entries_65535.lvs", archive(fillers(65533) + good()), 512, "fallback",
          "65535 entries (the most without zip64), meta and prv last", codes="zip.too-many-entries")

    # Zip64, with every record but meta's and prv's on one shared local entry:
    # a million records in under 60 MB.
    many = 1000000
    shared, meta, prv = Entry("f", b"x", method=0, password=b""), meta_entry(), prv_entry()
    archive([shared, meta, prv])  # places the local headers the records point at
    record = shared.central_record()
    record = record[:28] + struct.pack("<H", 4) + record[30:46]  # a 4-byte name follows each
    names = (bytes(n) for n in itertools.product(b"0123456789abcdefghijklmnopqrstuv", repeat=4))
    records = b"".join(record + n for n in itertools.islice((n for n in names if n != b"meta"), many - 2))
    write("entries_1000000.lvs", archive([shared, meta, prv], directory=records + meta.central_record() +
                                         prv.central_record(), zip64={"n_disk": many, "n_total": many}),
          512, "fallback", "1,000,000 entries (zip64), all but meta and prv on one shared local entry", codes="zip.too-many-entries")
    del records

    def directory_of(size):
        """meta and prv after entries whose comments make the directory size
        bytes long."""
        entries, need = good(), size - 99  # meta's record is 50 bytes, prv's 49
        while need:
            comment = min(65000, need - 52)  # a filler's record is 52 bytes and its comment
            if 0 < need - 52 - comment < 52:
                comment -= 52
            e = Entry("c%05d" % len(entries), b"x", method=0, password=b"")
            e.comment = (b"comment " * 8200)[:comment]
            entries.insert(0, e)
            need -= 52 + comment
        return entries

    for size, open_result, draw, codes in ((DIRECTORY_BOUND, 0, "preview", ""),
                                           (DIRECTORY_BOUND + 1, 512, "fallback", "zip.directory-too-large")):
        entries = directory_of(size)
        assert sum(46 + len(e.name) + len(e.comment) for e in entries) == size
        write("directory_%d_bytes.lvs" % size, archive(entries), open_result, draw,
              "a central directory of %d bytes (long entry comments)" % size, codes=codes)

    # Long names beside good entries.
    for length in (1024, 65535):
        write("name_%d.lvs" % length, archive([Entry(b"n" * length, b"x", method=0, password=b"")] + good()),
              0, "preview", "an entry named with %d bytes before meta and prv" % length, codes="")

    # Names that resemble the entries' names.
    write("shadow_nul.lvs", archive([Entry(b"meta\x00x", b"{not json"), meta_entry(),
                                     Entry(b"prv\x00", b"not a picture" * 100), prv_entry()]),
          0, "preview", "meta\\0x and prv\\0 (garbage) stored before meta and prv", codes="")
    write("shadow_case_path.lvs", archive([Entry("Meta", META_TEXT), Entry("meta.json", META_TEXT),
                                           Entry("styles/meta", META_TEXT)]),
          512, "fallback", "only Meta, meta.json and styles/meta", codes="meta.misnamed prv.missing")
    write("shadow_prv_lookalikes.lvs", archive([meta_entry(), Entry("Prv", preview), Entry("prv.jpg", preview),
                                                Entry("styles/prv", preview)]),
          0, "fallback", "meta, and only Prv, prv.jpg and styles/prv", codes="prv.misnamed")

    # Archive comments up to the longest, and an end record forged inside one.
    text = b"Lumivastrin comment. " * 3200
    for length in (65514, 65520, 65535):
        write("comment_%d.lvs" % length, archive(good(), comment=text[:length]), 0, "preview",
              "an archive comment of %d bytes" % length, codes="")
    rng = random.Random(7)
    garbage = bytes(rng.randrange(256) for _ in range(18))
    write("comment_fake_eocd.lvs", archive(good(), comment=b"before " + EOCD_SIG + garbage + b" after"),
          0, "preview", "the comment holds PK\\5\\6 and garbage", codes="")
    plausible = EOCD_SIG + struct.pack("<HHHHIIH", 0, 0, 2, 2, 100, 0, 0)
    write("comment_fake_eocd_plausible.lvs", archive(good(), comment=plausible + b"tail " * 20), 0, "preview",
          "the comment holds an end record with sane fields that does not end the file", codes="")
    write("comment_65535_fake_eocd.lvs",
          archive(good(), comment=(text[:65535 - 40] + EOCD_SIG + garbage + text[:18])), 0, "preview",
          "a 65535-byte comment with PK\\5\\6 and garbage near its end", codes="")

    # Whole-archive damage: nothing can be read, so there is no preview either.
    whole = archive(good())
    cd_start = struct.unpack("<I", whole[-6:-2])[0]
    cd_size = struct.unpack("<I", whole[-10:-6])[0]
    # A zip64 end record the reader cannot find leaves the plain one, whose
    # counts are then the 65,535 that mark zip64.
    random_bytes = bytes(random.Random(11).randrange(256) for _ in range(4096))
    for name, data, note, codes in (
            ("empty.lvs", b"", "zero bytes", "zip.not-an-archive"),
            ("only_local_signature.lvs", LOCAL_SIG, "PK\\3\\4 and nothing else", "zip.truncated"),
            ("random.lvs", random_bytes, "4096 random bytes",
             "zip.truncated" if random_bytes.startswith(b"PK") else "zip.not-an-archive"),
            ("truncated_in_eocd.lvs", whole[:-10], "cut 10 bytes before the end of the end record", "zip.truncated"),
            ("truncated_in_directory.lvs", whole[:cd_start + cd_size // 2], "cut in the middle of the directory",
             "zip.truncated"),
            ("directory_offset_past_eof.lvs", archive(good(), eocd={"cd_offset": len(whole) + 100}),
             "directory offset beyond the end of the file", "zip.directory-outside"),
            ("directory_size_over_file.lvs", archive(good(), eocd={"cd_size": len(whole) * 2}),
             "directory size larger than the file", "zip.directory-outside"),
            ("zip64_locator_past_eof.lvs", archive(good(), locator={"offset": len(whole) + 4096}),
             "zip64 locator points past the end of the file", "zip.too-many-entries"),
            ("zip64_locator_at_garbage.lvs",
             archive(good(), locator={"offset": cd_start + cd_size}, before_end=bytes(56)),
             "zip64 locator points at zero bytes instead of an end record", "zip.too-many-entries"),
            ("zip64_locator_at_local.lvs", archive(good(), locator={"offset": 0}),
             "zip64 locator points at a local header", "zip.too-many-entries"),
            ("zip64_huge_counts.lvs", archive(good(), zip64={"n_disk": 1 << 62, "n_total": 1 << 62}),
             "zip64 end record counts 2^62 entries", "zip.too-many-entries"),
            ("zip64_huge_offset.lvs", archive(good(), zip64={"cd_offset": (1 << 63) - 1}),
             "zip64 directory offset 2^63-1", "zip.directory-outside"),
            ("zip64_huge_size.lvs", archive(good(), zip64={"cd_size": 1 << 62}),
             "zip64 directory size 2^62", "zip.directory-too-large"),
            ("spanned.lvs", archive(good(), eocd={"disk": 1, "cd_disk": 1}),
             "the end record says the archive's last disk is its second", "zip.spanned")):
        write(name, data, 512, "fallback", note, codes=codes)
    # The entries before a record that is not there are still found.
    write("eocd_count_over.lvs", archive(good(), eocd={"n_disk": 3, "n_total": 3}), 0, "preview",
          "the end record counts 3 entries, 2 are there", codes="")
    write("zip64_good.lvs", archive(good(), zip64={}), 0, "preview",
          "found through a correct zip64 end record and locator", codes="")
    z64 = good()
    for e in z64:
        e.local_fields = dict(csize=0xFFFFFFFF, usize=0xFFFFFFFF)
        e.local_extra = z64_extra(e.usize, e.csize)
        e.central_extra = z64_extra(e.usize, e.csize)
        e.version_needed = 45
        e.csize = e.usize = 0xFFFFFFFF
    write("zip64_extra_sizes.lvs", archive(z64, zip64={}), 0, "preview",
          "every size only in zip64 extra fields", codes="")

    # Damage to one entry. On meta the import fails and the preview still
    # shows; on prv the import succeeds and the frame is the fallback, or fails
    # when the entry is there with a size but its bytes cannot be had.
    def probe_size(entries):
        return len(archive(entries))

    def padded(name, plain, raw_size, password=PASSWORD):
        """plain behind blocks that deliver nothing, raw_size bytes with any
        cipher header."""
        e = Entry(name, plain, password=password)
        header = 12 if password else 0
        e.body = padded_deflate(plain, raw_size - header)
        if password:
            e.body = zipcrypto(e.body, password, e.crc >> 24, b"padded" + plain[:16])
        e.csize = len(e.body)
        return e

    def damaged(fault, target):
        plain = META_TEXT if target == "meta" else preview
        if fault.endswith("_descriptor"):
            e = Entry(target, plain, descriptor=True)
        elif fault == "padded_over_bound":
            e = padded(target, plain, raw_bound(len(plain), True) + 1)
        elif fault == "padded_24MiB":
            e = padded(target, plain, 24 << 20, password=b"")
        else:
            e = meta_entry() if target == "meta" else prv_entry()
        entries = good(e if target == "meta" else None, e if target == "prv" else None)
        if fault == "local_offset_past_eof":
            e.offset = probe_size(entries)
        elif fault == "local_bad_signature":
            e.local_sig = b"PK\x03\x03"
        elif fault == "local_name_length":
            e.local_name = e.name + b"x"
        elif fault == "data_past_eof":
            grow = probe_size(entries)
            e.csize += grow
        elif fault == "size_over_ceiling":
            e.usize = ENTRY_CEILING + 1
        elif fault == "compressed_size_huge":
            e.csize = 0xFFFFFFF0
        elif fault.startswith("method_"):
            e.method = int(fault[7:])
            if e.method == 99:
                e.local_extra = e.central_extra = struct.pack("<HHH2sBH", 0x9901, 7, 2, b"AE", 3, 8)
        elif fault == "strong_encryption":
            e.flags |= FLAG_STRONG
        elif fault == "other_password":
            e.body = seal(plain, password=OTHER_PASSWORD)
        elif fault == "other_password_descriptor":
            e.body = seal(plain, password=OTHER_PASSWORD, check_byte=DOS_TIME >> 8)
        elif fault in ("crc_mismatch", "crc_mismatch_descriptor"):
            e.crc ^= 1  # the check byte is the CRC's high byte or the time's: it still matches
        elif fault == "invalid_deflate":
            e.body = zipcrypto(b"\xff" * 64, PASSWORD, e.crc >> 24, b"invalid")
            e.csize = len(e.body)
        elif fault == "zip64_extra_short":
            e.central_extra = z64_extra(e.usize)
            e.csize = e.usize = 0xFFFFFFFF
        elif fault == "zip64_extra_cut":
            e.central_extra = z64_extra(e.usize, e.csize)[:12]
            e.csize = e.usize = 0xFFFFFFFF
        return archive(entries)

    # The entry is listed with a size, so its failing read is a read failure;
    # refused by its listed size, or not listed at all, it is missing.
    missing = {"size_over_ceiling", "zip64_extra_short", "zip64_extra_cut"}
    # Damage inside a directory record leaves the records after it unread,
    # and meta's comes before prv's.
    in_directory = {"zip64_extra_short", "zip64_extra_cut"}
    notes = {
        "local_offset_past_eof": "its local header offset is the file's length",
        "local_bad_signature": "its local header signature is PK\\3\\3",
        "local_name_length": "its local header name is one byte longer",
        "data_past_eof": "its compressed size runs past the end of the file",
        "size_over_ceiling": "its recorded size is %d MiB + 1" % (ENTRY_CEILING >> 20),
        "compressed_size_huge": "its compressed size is 0xFFFFFFF0",
        "method_12": "method 12 (bzip2)",
        "method_14": "method 14 (LZMA)",
        "method_99": "method 99 (AES) with its extra field",
        "strong_encryption": "the strong-encryption flag",
        "other_password": "encrypted with another password",
        "crc_mismatch": "its recorded CRC is off by one bit",
        "other_password_descriptor": "encrypted with another password, sizes and CRC after the data",
        "crc_mismatch_descriptor": "its recorded CRC is off by one bit, sizes and CRC after the data",
        "invalid_deflate": "its deflate data is invalid",
        "padded_over_bound": "behind blocks that deliver nothing, one raw byte more than deflate can need",
        "padded_24MiB": "behind 24 MiB of blocks that deliver nothing (not encrypted)",
        "zip64_extra_short": "sizes marked for zip64, extra field holds only one",
        "zip64_extra_cut": "sizes marked for zip64, extra field cut short of its length",
    }
    # What keeps the entry from being read, as its problem code says it.
    kinds = {"size_over_ceiling": "too-large", "method_12": "method", "method_14": "method",
             "method_99": "strong-encryption", "strong_encryption": "strong-encryption",
             "other_password": "wrong-password", "other_password_descriptor": "wrong-password",
             "zip64_extra_short": "missing", "zip64_extra_cut": "missing"}
    for fault, note in notes.items():
        kind = kinds.get(fault, "damaged")
        write("meta_%s.lvs" % fault, damaged(fault, "meta"), 512, "fallback" if fault in in_directory else "preview",
              "meta: " + note, codes="meta." + kind + (" prv.missing" if fault in in_directory else ""))
        write("prv_%s.lvs" % fault, damaged(fault, "prv"), 0, "fallback" if fault in missing else "512",
              "prv: " + note, codes="prv." + kind)
    # A reader that shares none of this code tells another password from
    # damage by the same check byte.
    for fault, says in (("other_password", "password"), ("other_password_descriptor", "password"),
                        ("crc_mismatch", "CRC"), ("crc_mismatch_descriptor", "CRC")):
        with zipfile.ZipFile(os.path.join(outdir, "prv_%s.lvs" % fault)) as z:
            try:
                z.read("prv", pwd=PASSWORD)
                raise AssertionError(fault + " reads")
            except (RuntimeError, zipfile.BadZipFile) as error:
                assert says in str(error), (fault, error)

    # Entries padded with blocks that deliver nothing, as far as deflate can
    # need for their size: each block makes inflate build its code tables.
    for target in ("meta", "prv"):
        plain = META_TEXT if target == "meta" else preview
        e = padded(target, plain, raw_bound(len(plain), True))
        write("%s_padded_at_bound.lvs" % target, archive(good(**{target: e})), 0, "preview",
              "%s: behind blocks that deliver nothing, exactly as many raw bytes as deflate can need" % target, codes="")

    # The preview ceiling: the sample picture behind comment segments. The
    # largest preview a frame reads, padded as far as its bound allows too.
    def commented(jpeg, total_size):
        pad = total_size - len(jpeg)
        comments = bytearray()
        while pad:
            take = min(pad, 65537)
            if 0 < pad - take < 4:
                take -= 4
            comments += segment(0xFE, bytes(take - 4))
            pad -= take
        return jpeg[:2] + bytes(comments) + jpeg[2:]

    at_ceiling = commented(preview, ENTRY_CEILING)
    write("prv_at_ceiling.lvs", archive(good(prv=prv_entry(at_ceiling))), 0, "preview",
          "prv: the preview behind comments, %d MiB in all, deflated and encrypted" % (ENTRY_CEILING >> 20), codes="")
    write("prv_at_ceiling_stored.lvs", archive(good(prv=prv_entry(at_ceiling, method=0, password=b""))), 0,
          "preview", "prv: the preview behind comments, %d MiB in all, stored" % (ENTRY_CEILING >> 20), codes="")
    write("prv_at_ceiling_padded.lvs",
          archive(good(prv=padded("prv", at_ceiling, raw_bound(ENTRY_CEILING, False), password=b""))), 0, "preview",
          "prv: the preview behind comments, %d MiB in all, behind as many blocks that deliver nothing as its "
          "bound allows (not encrypted)" % (ENTRY_CEILING >> 20), codes="")
    write("prv_over_ceiling.lvs", archive(good(prv=prv_entry(commented(preview, ENTRY_CEILING + 1)))), 0,
          "fallback", "prv: the preview behind comments, %d MiB + 1 in all" % (ENTRY_CEILING >> 20), codes="prv.too-large")

    # Pictures beside the one preview that is usable.
    colour = block_jpeg(1280, 720, 3)
    write("jpeg_blocks_colour.lvs", archive(good(prv=prv_entry(colour))), 0, picture("blocks_colour.jpg", colour),
          "a second 1280x720 colour picture", codes="")
    grey = block_jpeg(1280, 720, 1)
    write("jpeg_grey.lvs", archive(good(prv=prv_entry(grey))), 0, picture("blocks_grey.jpg", grey),
          "grey 1280x720", codes="")
    restarts = block_jpeg(1280, 720, 3, restart=1)
    write("jpeg_restart_1.lvs", archive(good(prv=prv_entry(restarts))), 0, picture("blocks_restart.jpg", restarts),
          "restart interval 1 with every marker", codes="")
    at = colour.index(b"\xFF\xDA")
    no_markers = colour[:at] + segment(0xDD, struct.pack(">H", 1)) + colour[at:]
    ac_full = sum(n << (16 - length) for length, n in enumerate(AC_BITS, 1))
    extra_codes = ((1 << 16) - ac_full) + 1  # one code more than the lengths have room for
    overfull = block_jpeg(1280, 720, 3, ac_bits=AC_BITS[:15] + [AC_BITS[15] + extra_codes],
                          ac_vals=AC_VALS + bytes([0x0B, 0x0C, 0x0D, 0x0E])[:extra_codes])
    cut = preview[:sos_start + (len(preview) - sos_start) // 2]
    # DNL: the frame header's height is 0, given after the scan instead.
    sof_at = colour.index(b"\xFF\xC0")
    dnl = colour[:sof_at + 5] + struct.pack(">H", 0) + colour[sof_at + 7:-2] + segment(0xDC, struct.pack(">H", 720))
    dnl += b"\xFF\xD9"
    scan_first = colour[:sof_at] + colour[sof_at + 2 + struct.unpack(">H", colour[sof_at + 2:sof_at + 4])[0]:]
    no_frame = b"\xFF\xD8" + segment(0xDA, bytes([0, 0, 63, 0])) + b"\xFF\xD9"
    png = b"\x89PNG\r\n\x1a\n" + struct.pack(">I", 13) + b"IHDR" + struct.pack(">IIBBBBB", 1280, 720, 8, 2, 0, 0, 0)
    for name, jpeg, note, codes in (
            ("jpeg_progressive.lvs", block_jpeg(1280, 720, 3, progressive=True), "progressive 1280x720",
             "prv.unsupported-jpeg"),
            ("jpeg_1281x720.lvs", block_jpeg(1281, 720, 3), "baseline 1281x720", "prv.wrong-size"),
            ("jpeg_1280x721.lvs", block_jpeg(1280, 721, 3), "baseline 1280x721", "prv.wrong-size"),
            ("jpeg_1279x720.lvs", block_jpeg(1279, 720, 3), "baseline 1279x720", "prv.wrong-size"),
            ("jpeg_65535x65535.lvs", header_only_jpeg(65535, 65535), "a 65535x65535 header without data",
             "prv.wrong-size"),
            ("jpeg_dht_overfull.lvs", overfull, "an AC table with one code more than its lengths allow",
             "prv.damaged-jpeg"),
            ("jpeg_restart_missing.lvs", no_markers, "restart interval 1, no restart markers", "prv.damaged-jpeg"),
            ("jpeg_truncated.lvs", cut, "the preview cut in the middle of its scan", "prv.damaged-jpeg"),
            ("jpeg_truncated_eoi.lvs", cut + b"\xFF\xD9", "the preview cut in its scan, then EOI", "prv.damaged-jpeg"),
            ("jpeg_dnl.lvs", dnl, "1280 wide, its height 0 in the frame header and 720 in a DNL segment after the "
             "scan", "prv.height-later"),
            ("jpeg_scan_before_frame.lvs", scan_first, "a scan of three components before any frame header",
             "prv.no-frame"),
            ("jpeg_no_frame.lvs", no_frame, "a scan of no components and no frame header at all", "prv.no-frame"),
            ("jpeg_png.lvs", png, "a PNG picture", "prv.png"),
            ("jpeg_gif.lvs", b"GIF89a" + bytes(64), "the start of a GIF picture", "prv.not-jpeg"),
            ("jpeg_empty.lvs", b"", "zero bytes", "prv.empty")):
        write(name, archive(good(prv=prv_entry(jpeg))), 0, "fallback", "prv: " + note, codes=codes)

    # A preview the plug-in shows as stored, which its author will see turned
    # elsewhere: an EXIF orientation the draw does not follow (6, a quarter
    # turn clockwise), in a little-endian TIFF of one entry.
    tiff = b"II*\x00" + struct.pack("<IH", 8, 1) + struct.pack("<HHIHH", 0x0112, 3, 1, 6, 0) + struct.pack("<I", 0)
    app1 = b"Exif\x00\x00" + tiff
    rotated = preview[:2] + b"\xFF\xE1" + struct.pack(">H", len(app1) + 2) + app1 + preview[2:]
    write("jpeg_exif_rotated.lvs", archive(good(prv=prv_entry(rotated))), 0, "preview",
          "prv: an EXIF orientation of 6 (a quarter turn) before the picture", codes="prv.exif-orientation")

    # Metadata the parser refuses, and texts and numbers the record keeps
    # less of than the metadata holds.
    def with_meta(**changes):
        meta = dict(META, **changes)
        return json.dumps({k: v for k, v in meta.items() if v is not ...}, separators=(",", ":")).encode()

    for name, text, open_result, codes, note in (
            ("meta_array.lvs", b'["Ink", "A. B."]', 512, "meta.not-object", "meta is a JSON array"),
            ("meta_no_hash.lvs", with_meta(hash=...), 512, "meta.key-missing", "meta has no \"hash\""),
            ("meta_name_number.lvs", with_meta(name=5), 512, "meta.key-type", "\"name\" is a number"),
            ("meta_version_string.lvs", with_meta(version="3"), 512, "meta.version-string",
             "\"version\" is the string \"3\""),
            ("meta_version_null.lvs", with_meta(version=None), 512, "meta.version-type", "\"version\" is null"),
            ("meta_name_300.lvs", with_meta(name="N" * 300), 0, "meta.name-cut",
             "\"name\" of 300 bytes, the record keeps 254"),
            ("meta_author_nul.lvs", with_meta(author="A.\u0000B."), 0, "meta.author-cut",
             "\"author\" holds an escaped NUL, the record keeps what comes before it"),
            ("meta_hash_255.lvs", with_meta(hash="h" * 255), 0, "meta.hash-cut",
             "\"hash\" of 255 bytes, the record keeps 254"),
            ("meta_version_fraction.lvs", with_meta(version=2.5), 0, "meta.version-cut",
             "\"version\" 2.5, the record keeps 2")):
        write(name, archive(good(meta=meta_entry(text))), open_result, "preview", note, codes=codes)
    write("meta_empty_prv_empty.lvs", archive([meta_entry(b"{}"), prv_entry(b"")]), 512, "fallback",
          "meta is an empty object, prv has no bytes",
          codes="meta.key-missing meta.key-missing meta.key-missing meta.key-missing prv.empty")

    # A preview that is, pixel for pixel, the fallback picture is still the
    # package's own preview, shown as any other.
    fallback = open(FALLBACK_JPG, "rb").read()
    write("prv_is_the_fallback.lvs", archive(good(prv=prv_entry(fallback))), 0,
          picture("update_preview.jpg", fallback), "prv is the plug-in's fallback picture", codes="")

    # Files the host cannot import for their name or their path: not named
    # .lvs; a path longer than the record keeps (the draw of footage that
    # names it reads the path cut to what the record keeps, which names
    # nothing); a name that is not UTF-8 (a record naming it by its bytes
    # reads it).
    write("good.zip", archive(good()), 0, "preview", "a good package not named .lvs", codes="file.extension")
    base = outdir if os.path.isabs(outdir) else os.path.join(os.getcwd(), outdir)
    for length, open_result, draw, codes in ((PATH_BOUND, 0, "preview", ""),
                                             (PATH_BOUND + 1, 512, "fallback", "file.path-too-long")):
        # A folder of its own whose name makes the path exactly that long.
        name = "path_%d.lvs" % length
        folder = "long_path_%d_" % length
        pad = length - len(os.fsencode(os.path.join(base, folder, name)))
        if pad < 0:
            sys.exit("the corpus folder's path is too long for the path cases: %s" % base)
        folder += "p" * pad
        os.makedirs(os.path.join(outdir, folder), exist_ok=True)
        write(os.path.join(folder, name), archive(good()), open_result, draw,
              "a good package whose full path is %d bytes" % length, codes=codes)
    write(os.fsdecode(b"name_\xff\xfe.lvs"), archive(good()), 512, "preview",
          "a good package whose name is not UTF-8", codes="file.path-not-utf8")
    manifest.append(("missing.lvs", 512, "fallback", "file.missing", "no file at all"))
    clear("missing.lvs")

    def unreadable(path):
        with open(path, "wb") as f:
            f.write(archive(good()))
        os.chmod(path, 0)
        if os.access(path, os.R_OK):
            os.unlink(path)
            raise PermissionError("readable all the same (run as root)")

    odd_file("unreadable.lvs", unreadable, "a good package no one may read", "file.unreadable")

    # Paths that are not regular files.
    odd_file("fifo.lvs", os.mkfifo, "a FIFO", "file.not-regular")
    odd_file("folder.lvs", os.mkdir, "a directory", "file.folder")

    def make_socket(path):
        s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        try:
            s.bind(path)
        finally:
            s.close()

    odd_file("socket.lvs", make_socket, "a UNIX socket", "file.not-regular")
    odd_file("dev_zero.lvs", lambda p: os.symlink("/dev/zero", p), "a link to /dev/zero", "file.not-regular")
    odd_file("dev_null.lvs", lambda p: os.symlink("/dev/null", p), "a link to /dev/null", "file.not-regular")
    os.symlink("good.lvs", clear("link_to_good.lvs"))
    manifest.append(("link_to_good.lvs", 0, "preview", "", "a link to good.lvs"))

    # Names that are not UTF-8 are written as the bytes they are.
    with open(os.path.join(outdir, "manifest.tsv"), "wb") as f:
        for name, open_result, draw, codes, note in manifest:
            f.write(os.fsencode(name) + ("\t%d\t%s\t%s\t%s\n" % (open_result, draw, codes or "-", note)).encode())


if __name__ == "__main__":
    main()
