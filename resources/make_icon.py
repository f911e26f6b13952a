#!/usr/bin/env python3
"""Draws orvalen's icon, a kiosk display on its stand, and writes it as a Windows .ico file.

usage: make_icon.py OUTPUT.ico

Images: 16, 32 and 48 px as 32-bit BGRA bitmaps (every Windows version reads those), 256 px as
PNG (as Windows expects at that size, and far smaller). Only the standard library is used, and the
output is byte-for-byte reproducible, so the committed orvalen.ico can be checked against it.

The drawing is made of shapes in a 0..1 unit square, rendered with 4x4 supersampling per pixel.
"""

import struct
import sys
import zlib

SIZES = (16, 32, 48, 256)

BEZEL = (0x26, 0x32, 0x38)        # dark slate frame and stand
SCREEN_TOP = (0x4F, 0xC3, 0xF7)   # light blue
SCREEN_BOTTOM = (0x15, 0x65, 0xC0)  # deep blue
GLYPH = (0xFF, 0xFF, 0xFF)        # the three "panels" on the screen


def rounded_rect(x, y, x0, y0, x1, y1, r):
    """Inside test for a rectangle with corner radius r."""
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def shade(x, y):
    """Colour (r, g, b) and whether the unit-square point is covered, for the topmost shape."""
    # Screen area (drawn over the bezel).
    if rounded_rect(x, y, 0.10, 0.13, 0.90, 0.63, 0.025):
        # Three panels side by side: the kiosk's three monitors.
        for left in (0.17, 0.40, 0.63):
            if rounded_rect(x, y, left, 0.24, left + 0.20, 0.52, 0.02):
                return GLYPH, True
        t = (y - 0.13) / 0.50
        colour = tuple(round(a + (b - a) * t) for a, b in zip(SCREEN_TOP, SCREEN_BOTTOM))
        return colour, True
    # Bezel.
    if rounded_rect(x, y, 0.04, 0.07, 0.96, 0.69, 0.07):
        return BEZEL, True
    # Neck and foot of the stand.
    if 0.43 <= x <= 0.57 and 0.69 <= y <= 0.84:
        return BEZEL, True
    if rounded_rect(x, y, 0.24, 0.82, 0.76, 0.93, 0.05):
        return BEZEL, True
    return (0, 0, 0), False


def render(size):
    """Rows of (r, g, b, a) from top to bottom, premultiplied-free straight alpha."""
    samples = 4
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0]
            covered = 0
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) / size
                    y = (py + (sy + 0.5) / samples) / size
                    colour, inside = shade(x, y)
                    if inside:
                        covered += 1
                        for i in range(3):
                            acc[i] += colour[i]
            if covered:
                pixel = tuple(round(c / covered) for c in acc) + (round(255 * covered / samples ** 2),)
            else:
                pixel = (0, 0, 0, 0)
            row.append(pixel)
        rows.append(row)
    return rows


def png_bytes(rows):
    size = len(rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + bytes(v for p in row for v in p) for row in rows)
    ihdr = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def dib_bytes(rows):
    """BITMAPINFOHEADER + bottom-up BGRA pixels + 1-bit AND mask (height counts both, so 2x)."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    image = header + pixels + bytes(mask)
    assert len(image) == 40 + size * size * 4 + mask_stride * size
    return image


def ico_bytes():
    images = []
    for size in SIZES:
        rows = render(size)
        images.append((size, png_bytes(rows) if size >= 256 else dib_bytes(rows)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        dim = 0 if size >= 256 else size  # 0 stands for 256 in the one-byte fields
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def main():
    if len(sys.argv) != 2:
        sys.stderr.write("usage: make_icon.py OUTPUT.ico\n")
        return 2
    with open(sys.argv[1], "wb") as f:
        f.write(ico_bytes())
    return 0


if __name__ == "__main__":
    sys.exit(main())
