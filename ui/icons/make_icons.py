#!/usr/bin/env python3
"""Draws the four notification-area icons of Veltraw and writes them as .ico.

Every icon is an arrow pointing right on a circular badge: 201 green disc,
202 red "no" sign over the arrow, 203 red disc, 204 blue disc. Each file holds
32x32 and 16x16 pictures in 16 colours and a 32x32 picture in 256 colours.
Python standard library only; the ICO and BMP bytes are written here.

    make_icons.py [OUTPUT_DIR]      (default: the directory of this script)
"""

import math
import os
import struct
import sys

# The standard 16-colour palette (RGB).
VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]

WHITE = (255, 255, 255)
BLACK = (0, 0, 0)

# Per picture: badge fill and rim for 256 colours, the same for 16 colours.
BADGES = {
    "good": {"fill": (24, 150, 48), "rim": (8, 80, 20), "fill16": (0, 128, 0), "rim16": BLACK},
    "bad_reference": {"fill": (214, 36, 36), "rim": (120, 10, 10),
                      "fill16": (255, 0, 0), "rim16": (128, 0, 0)},
    "requesting": {"fill": (40, 90, 220), "rim": (14, 36, 120),
                   "fill16": (0, 0, 255), "rim16": (0, 0, 128)},
}
NO_SIGN_RED = (220, 20, 20)

FILES = [(201, "good"), (202, "no_response"), (203, "bad_reference"), (204, "requesting")]


def in_arrow(x, y):
    """The arrow: a shaft and a head, pointing right; unit coordinates."""
    if 0.20 <= x <= 0.54 and 0.415 <= y <= 0.585:
        return True
    # Head: a triangle from (0.48, 0.22) and (0.48, 0.78) to the tip (0.82, 0.5).
    if 0.48 <= x <= 0.82:
        half = 0.28 * (0.82 - x) / 0.34
        return abs(y - 0.5) <= half
    return False


def shade(colour, x, y):
    """A little light from the top left, for the 256-colour picture."""
    d = math.hypot(x - 0.35, y - 0.3)
    factor = 1.25 - 0.55 * d
    return tuple(max(0, min(255, int(c * factor))) for c in colour)


def sample(name, x, y, rich, size):
    """Colour at a unit point, or None outside the badge."""
    r = math.hypot(x - 0.5, y - 0.5)
    outer = 0.48
    if r > outer:
        return None
    if name == "no_response":
        # A "no" sign: a red ring and a diagonal bar over a dark arrow on white.
        ring_inner = 0.37
        if r >= ring_inner:
            return NO_SIGN_RED if rich else (255, 0, 0)
        # The bar runs from top left to bottom right.
        distance = abs((x - 0.5) - (y - 0.5)) / math.sqrt(2)
        if distance <= 0.075:
            return NO_SIGN_RED if rich else (255, 0, 0)
        if in_arrow(x, y):
            return (40, 40, 40) if rich else BLACK
        return (250, 250, 250) if rich else WHITE
    badge = BADGES[name]
    rim_width = max(0.06, 0.9 / size)  # one pixel wide at 16x16
    if r >= outer - rim_width:
        return badge["rim"] if rich else badge["rim16"]
    if in_arrow(x, y):
        return WHITE
    return shade(badge["fill"], x, y) if rich else badge["fill16"]


def render(name, size, rich):
    """Rows of (colour or None), top row first."""
    steps = 4
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            covered = []
            for sy in range(steps):
                for sx in range(steps):
                    x = (px + (sx + 0.5) / steps) / size
                    y = (py + (sy + 0.5) / steps) / size
                    c = sample(name, x, y, rich, size)
                    if c is not None:
                        covered.append(c)
            if len(covered) * 2 < steps * steps:
                row.append(None)
            elif rich:
                row.append(tuple(sum(c[i] for c in covered) // len(covered) for i in range(3)))
            else:
                # 16 colours cannot blend: the colour most of the pixel shows.
                row.append(max(set(covered), key=covered.count))
        rows.append(row)
    return rows


def nearest(palette, colour):
    return min(range(len(palette)),
               key=lambda i: sum((palette[i][k] - colour[k]) ** 2 for k in range(3)))


def palette_for(rows, limit):
    """The colours of the picture, reduced until they fit the limit."""
    step = 1
    while True:
        colours = sorted({tuple(min(255, (c[i] // step) * step) for i in range(3))
                          for row in rows for c in row if c is not None})
        if len(colours) <= limit:
            return colours, step
        step *= 2


def bmp_image(rows, bits):
    """The icon image: BITMAPINFOHEADER, palette, XOR bits, AND mask."""
    size = len(rows)
    if bits == 4:
        palette = list(VGA16)
        index = lambda c: nearest(palette, c)
    else:
        palette, step = palette_for(rows, 256)
        cache = {}

        def index(c):
            key = tuple(min(255, (c[i] // step) * step) for i in range(3))
            if key not in cache:
                cache[key] = palette.index(key)
            return cache[key]
        palette = palette + [(0, 0, 0)] * (256 - len(palette))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, 0, 0, 0,
                         len(palette), 0)
    colour_table = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    xor_rows = []
    and_rows = []
    for row in reversed(rows):  # bottom-up
        indices = [0 if c is None else index(c) for c in row]
        if bits == 4:
            data = bytes((indices[i] << 4) | indices[i + 1] for i in range(0, size, 2))
        else:
            data = bytes(indices)
        data += bytes((-len(data)) % 4)
        xor_rows.append(data)
        mask = 0
        for c in row:
            mask = (mask << 1) | (1 if c is None else 0)
        mask_bytes = mask.to_bytes((size + 7) // 8, "big")
        mask_bytes += bytes((-len(mask_bytes)) % 4)
        and_rows.append(mask_bytes)
    return header + colour_table + b"".join(xor_rows) + b"".join(and_rows), len(palette)


def ico_file(name):
    images = [(32, 4), (16, 4), (32, 8)]
    encoded = []
    for size, bits in images:
        data, colours = bmp_image(render(name, size, rich=(bits == 8)), bits)
        encoded.append((size, bits, colours, data))
    out = struct.pack("<HHH", 0, 1, len(encoded))
    offset = 6 + 16 * len(encoded)
    for size, bits, colours, data in encoded:
        count = colours if colours < 256 else 0
        out += struct.pack("<BBBBHHII", size, size, count, 0, 1, bits, len(data), offset)
        offset += len(data)
    return out + b"".join(d for *_, d in encoded)


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for resource, name in FILES:
        path = os.path.join(out_dir, f"{resource}_{name}.ico")
        with open(path, "wb") as f:
            f.write(ico_file(name))
        print(path)


if __name__ == "__main__":
    main()
