#!/usr/bin/env python3
"""Draws the four notification-area icons of Veltraw and writes them as .ico.

Each state has its own shape as well as its own colour, so that it can be told
at 16 pixels and by users who do not see the colours apart:

    201 good           green disc, white tick
    202 no response    red "no" sign on white (across a dark arrow from 24 px)
    203 bad reference  red disc, white exclamation mark
    204 requesting     blue disc, white arrow

Every file holds 16, 20, 24, 32 and 48 pixel pictures (the notification area's
small-icon size at 100 % to 300 % scaling, and Explorer's) as 32-bit bitmaps
with alpha, and a 256 pixel picture as PNG. The shapes are signed distance
functions, so every edge is anti-aliased; straight strokes sit on whole pixels
so that they stay sharp at the small sizes. The badges have a dark rim, which
keeps them apart from a light taskbar; a dark taskbar sets off their fill.
Python standard library only; the ICO, BMP and PNG bytes are written here.

    make_icons.py [OUTPUT_DIR]      (default: the directory of this script)
"""

import math
import os
import struct
import sys
import zlib

SIZES = [256, 48, 32, 24, 20, 16]

WHITE = (255, 255, 255)
BADGE_FILL = {
    "good": (30, 150, 55),
    "bad_reference": (215, 35, 35),
    "requesting": (45, 110, 230),
}
NO_SIGN_RED = (215, 25, 25)
NO_SIGN_FACE = (250, 250, 250)
NO_SIGN_ARROW = (70, 70, 70)

FILES = [(201, "good"), (202, "no_response"), (203, "bad_reference"), (204, "requesting")]


# Signed distances in pixels, negative inside.

def disc(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def ring(cx, cy, r_outer, r_inner):
    return lambda x, y: max(math.hypot(x - cx, y - cy) - r_outer,
                            r_inner - math.hypot(x - cx, y - cy))


def segment_distance(x, y, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(x - ax - t * dx, y - ay - t * dy)


def stroke(points, width):
    """A polyline of the given width with round ends and joins."""
    pairs = list(zip(points, points[1:]))
    return lambda x, y: min(segment_distance(x, y, *a, *b) for a, b in pairs) - width / 2


def box(left, top, right, bottom, radius=0.0):
    cx, cy = (left + right) / 2, (top + bottom) / 2
    hx, hy = (right - left) / 2 - radius, (bottom - top) / 2 - radius

    def distance(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - radius
    return distance


def polygon(points):
    edges = list(zip(points, points[1:] + points[:1]))

    def distance(x, y):
        d = min(segment_distance(x, y, *a, *b) for a, b in edges)
        inside = False
        for (ax, ay), (bx, by) in edges:
            if (ay > y) != (by > y) and x < ax + (y - ay) * (bx - ax) / (by - ay):
                inside = not inside
        return -d if inside else d
    return distance


def union(*shapes):
    return lambda x, y: min(s(x, y) for s in shapes)


def even_pixels(size, fraction, least=2):
    """A stroke width that, centred on the middle of an even size, covers
    whole pixels."""
    return max(least, 2 * round(size * fraction / 2))


# The glyphs, in pixels of a picture of the given size.

def tick(size):
    u = size / 16
    return stroke([(4.3 * u, 8.4 * u), (6.9 * u, 11.0 * u), (11.8 * u, 5.3 * u)],
                  max(2.0, 2.3 * u))


def exclamation(size):
    width = even_pixels(size, 0.14)
    left = size / 2 - width / 2
    top = round(size * 0.19)
    bar_bottom = round(size * 0.61)
    dot_top = bar_bottom + max(1, round(size * 0.08))
    rounded = width / 2 if size >= 32 else 0.0
    return union(box(left, top, left + width, bar_bottom, rounded),
                 box(left, dot_top, left + width, dot_top + width, rounded))


def arrow(size):
    """Pointing right: a request on its way."""
    shaft = even_pixels(size, 0.14)
    middle = size / 2
    head_base = size * 0.50
    return union(
        box(size * 0.20, middle - shaft / 2, head_base + 1, middle + shaft / 2),
        polygon([(head_base, size * 0.22), (size * 0.82, middle), (head_base, size * 0.78)]))


def layers(name, size):
    """(paint, shape) from the bottom up; paint is a colour or a function of
    the pixel row that gives one."""
    centre = size / 2
    radius = centre - 0.25
    if name == "no_response":
        band = max(2.0, size * 0.13)
        half = band / 2
        # The bar runs from top left to bottom right, inside the ring.
        reach = (radius - band / 2) / math.sqrt(2)
        sign = [
            (NO_SIGN_FACE, disc(centre, centre, radius)),
            (NO_SIGN_RED, ring(centre, centre, radius, radius - band)),
            (NO_SIGN_RED, stroke([(centre - reach, centre - reach),
                                  (centre + reach, centre + reach)], 2 * half)),
        ]
        # Below 24 pixels the bar leaves only blots of the arrow: the sign
        # alone reads better.
        if size >= 24:
            sign.insert(1, (NO_SIGN_ARROW, arrow(size)))
        return sign
    fill = BADGE_FILL[name]
    rim = max(1.0, size / 20)
    glyph = {"good": tick, "bad_reference": exclamation, "requesting": arrow}[name](size)
    return [
        (tuple(int(c * 0.55) for c in fill), disc(centre, centre, radius)),
        (lambda y: lit(fill, y / size), disc(centre, centre, radius - rim)),
        (WHITE, glyph),
    ]


def lit(colour, height):
    """Lighter at the top, darker at the bottom: a little depth."""
    factor = 1.12 - 0.24 * height
    return tuple(max(0, min(255, round(c * factor))) for c in colour)


def coverage(shape, x, y, steps):
    """The part of the pixel whose top left corner is (x, y) inside shape."""
    total = 0.0
    for sy in range(steps):
        for sx in range(steps):
            d = shape(x + (sx + 0.5) / steps, y + (sy + 0.5) / steps) * steps
            total += min(1.0, max(0.0, 0.5 - d))
    return total / (steps * steps)


def render(name, size):
    """Rows of (r, g, b, a), top row first, alpha not premultiplied."""
    steps = 4 if size <= 48 else 1
    stack = layers(name, size)
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            # Composited with premultiplied colour.
            r = g = b = a = 0.0
            for paint, shape in stack:
                cover = coverage(shape, px, py, steps)
                if cover <= 0.0:
                    continue
                colour = paint(py + 0.5) if callable(paint) else paint
                r = colour[0] * cover + r * (1 - cover)
                g = colour[1] * cover + g * (1 - cover)
                b = colour[2] * cover + b * (1 - cover)
                a = cover + a * (1 - cover)
            if a <= 0.0:
                row.append((0, 0, 0, 0))
            else:
                row.append((round(r / a), round(g / a), round(b / a), round(a * 255)))
        rows.append(row)
    return rows


def bmp_image(rows):
    """The icon picture as a 32-bit bitmap: header, BGRA rows bottom-up, and
    the AND mask that systems without alpha use."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, size * size * 4, 0, 0, 0,
                         0)
    pixels = b"".join(bytes(v for (r, g, b, a) in row for v in (b, g, r, a))
                      for row in reversed(rows))
    mask_rows = []
    for row in reversed(rows):
        bits = 0
        for (_, _, _, a) in row:
            bits = (bits << 1) | (1 if a == 0 else 0)
        data = bits.to_bytes((size + 7) // 8, "big")
        mask_rows.append(data + bytes((-len(data)) % 4))
    return header + pixels + b"".join(mask_rows)


def png_image(rows):
    size = len(rows)
    raw = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in rows)

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def ico_file(name):
    encoded = []
    for size in SIZES:
        rows = render(name, size)
        encoded.append((size, png_image(rows) if size >= 256 else bmp_image(rows)))
    out = struct.pack("<HHH", 0, 1, len(encoded))
    offset = 6 + 16 * len(encoded)
    for size, data in encoded:
        side = size if size < 256 else 0
        out += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in encoded)


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for resource, name in FILES:
        path = os.path.join(out_dir, f"{resource}_{name}.ico")
        with open(path, "wb") as f:
            f.write(ico_file(name))
        print(path)


if __name__ == "__main__":
    main()
