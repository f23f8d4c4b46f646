#!/usr/bin/python3
"""Draws tarnwad.ico, the application's icon: an archive box on a teal tile,
with an arrow rising out of it. Standard library only.

Usage: make_icon.py [OUTPUT]   (default: tarnwad.ico beside this script)
       make_icon.py --png SIZE OUTPUT   (one SIZE pixel image as PNG, for the
                                         Linux desktop's icon theme)

The icon holds 16, 24, 32 and 48 pixel images as 32-bit bitmaps and a
256 pixel image as PNG, as the shell expects.
"""

import os
import struct
import sys
import zlib

BITMAP_SIZES = (16, 24, 32, 48)
PNG_SIZE = 256


def rounded_square(left, top, right, bottom, radius):
    def inside(x, y):
        cx = min(max(x, left + radius), right - radius)
        cy = min(max(y, top + radius), bottom - radius)
        return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2 and left <= x <= right \
            and top <= y <= bottom
    return inside


def box(left, top, right, bottom):
    return lambda x, y: left <= x <= right and top <= y <= bottom


def polygon(points):
    """Inside test of a convex polygon given clockwise (y down)."""
    edges = list(zip(points, points[1:] + points[:1]))

    def inside(x, y):
        return all((bx - ax) * (y - ay) - (by - ay) * (x - ax) >= 0
                   for (ax, ay), (bx, by) in edges)
    return inside


def mix(top, bottom, t):
    return tuple(round(a + (b - a) * t) for a, b in zip(top, bottom))


# Layers from the bottom up: (inside test, colour at (x, y)).
TILE_OUTER = rounded_square(0.03, 0.03, 0.97, 0.97, 0.2)
TILE_INNER = rounded_square(0.06, 0.06, 0.94, 0.94, 0.17)
LAYERS = [
    (TILE_OUTER, lambda x, y: (18, 58, 62)),
    (TILE_INNER, lambda x, y: mix((56, 146, 152), (26, 86, 92), y)),
    # The box: its dark inside behind the opening, then its front.
    (polygon([(0.2, 0.5), (0.8, 0.5), (0.74, 0.58), (0.26, 0.58)]), lambda x, y: (110, 70, 28)),
    (box(0.2, 0.56, 0.8, 0.86), lambda x, y: mix((236, 182, 98), (200, 140, 62), (y - 0.56) / 0.3)),
    (box(0.2, 0.56, 0.8, 0.6), lambda x, y: (248, 206, 132)),
    (box(0.2, 0.82, 0.8, 0.86), lambda x, y: (150, 98, 40)),
    # The arrow rising out of the box.
    (box(0.42, 0.34, 0.58, 0.7), lambda x, y: (255, 255, 255)),
    (polygon([(0.5, 0.12), (0.75, 0.4), (0.25, 0.4)]), lambda x, y: (255, 255, 255)),
]


def render(size):
    """Rows of (r, g, b, a) pixels, top row first, each the mean of a grid of
    samples."""
    samples = 8 if size <= 48 else 3
    step = 1.0 / (size * samples)
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = a = 0
            for sy in range(samples):
                y = (py * samples + sy + 0.5) * step
                for sx in range(samples):
                    x = (px * samples + sx + 0.5) * step
                    for inside, colour in reversed(LAYERS):
                        if inside(x, y):
                            cr, cg, cb = colour(x, y)
                            r, g, b, a = r + cr, g + cg, b + cb, a + 1
                            break
            if a:
                row.append((r // a, g // a, b // a, 255 * a // (samples * samples)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def bitmap_image(rows):
    """A 32-bit icon image: BITMAPINFOHEADER of twice the height, the pixels
    bottom-up in BGRA, then the 1-bit mask (all zero: the alpha decides)."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_row = ((size + 31) // 32) * 4
    return header + pixels + bytes(mask_row * size)


def png_image(rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(
            ">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    size = len(rows)
    raw = b"".join(b"\0" + bytes(c for pixel in row for c in pixel) for row in rows)
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def icon_file(images):
    """ICONDIR, one ICONDIRENTRY per (size, data), then the data."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        side = 0 if size >= 256 else size
        out += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "--png":
        with open(sys.argv[3], "wb") as picture:
            picture.write(png_image(render(int(sys.argv[2]))))
        return
    output = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "tarnwad.ico")
    images = [(size, bitmap_image(render(size))) for size in BITMAP_SIZES]
    images.append((PNG_SIZE, png_image(render(PNG_SIZE))))
    with open(output, "wb") as icon:
        icon.write(icon_file(images))


if __name__ == "__main__":
    main()
