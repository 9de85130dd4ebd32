#!/usr/bin/env python3
"""Decodes .ico files (as the resource compiler will read them) into one PNG
sheet, so that the pictures can be looked at before they are accepted: per
file one row on a light and one on a dark background, every picture at its
own size (as the notification area shows it) and the small ones enlarged.

    preview_icons.py OUT.png FILE.ico...
"""

import struct
import sys
import zlib

ENLARGED = 8          # magnification of the enlarged pictures
ENLARGE_UP_TO = 32    # pictures up to this size are also shown enlarged
BACKGROUNDS = [(243, 243, 243), (32, 32, 32)]  # light and dark taskbars
GAP = 8


def decode_png(data):
    """Rows of (r, g, b, a) of an 8-bit RGBA PNG."""
    pos, idat, width, height = 8, b"", 0, 0
    while pos < len(data):
        length, kind = struct.unpack_from(">I4s", data, pos)
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour_type = struct.unpack_from(">IIBB", body)
            assert depth == 8 and colour_type == 6, "8-bit RGBA PNG expected"
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * 4
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - 4] if i >= 4 else 0
            up = previous[i]
            corner = previous[i - 4] if i >= 4 else 0
            if kind == 1:
                line[i] = (line[i] + left) & 255
            elif kind == 2:
                line[i] = (line[i] + up) & 255
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                predictor = left if pa <= pb and pa <= pc else up if pb <= pc else corner
                line[i] = (line[i] + predictor) & 255
        rows.append([tuple(line[x * 4:x * 4 + 4]) for x in range(width)])
        previous = line
    return rows


def decode_bmp(data, offset, size):
    """Rows of (r, g, b, a) of a 32-bit icon bitmap."""
    header_size, _, _, _, bits = struct.unpack_from("<IiiHH", data, offset)
    assert bits == 32, "32-bit pictures expected"
    pixels = offset + header_size
    rows = []
    for y in range(size):
        start = pixels + (size - 1 - y) * size * 4
        rows.append([(data[start + 4 * x + 2], data[start + 4 * x + 1], data[start + 4 * x],
                      data[start + 4 * x + 3]) for x in range(size)])
    return rows


def decode(data):
    """[(size, rows)] of one .ico file."""
    _, _, count = struct.unpack_from("<HHH", data, 0)
    pictures = []
    for i in range(count):
        w, _, _, _, _, _, length, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        size = w or 256
        if data[offset:offset + 8] == b"\x89PNG\r\n\x1a\n":
            rows = decode_png(data[offset:offset + length])
        else:
            rows = decode_bmp(data, offset, size)
        pictures.append((size, rows))
    return sorted(pictures)


def png(width, height, rows):
    raw = b"".join(b"\0" + bytes(v for px in row for v in px) for row in rows)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(
            ">I", zlib.crc32(kind + body) & 0xFFFFFFFF)
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def blend(pixel, background):
    r, g, b, a = pixel
    return tuple((c * a + k * (255 - a)) // 255 for c, k in zip((r, g, b), background))


def main():
    out, files = sys.argv[1], sys.argv[2:]
    decoded = [decode(open(name, "rb").read()) for name in files]
    sizes = [size for size, _ in decoded[0]]
    cells = [(size, 1) for size in sizes] + [(size, ENLARGED) for size in sizes
                                             if size <= ENLARGE_UP_TO]
    band_width = sum(size * scale + GAP for size, scale in cells) + GAP
    row_height = max(size * scale for size, scale in cells) + 2 * GAP
    width = band_width
    height = row_height * len(files) * len(BACKGROUNDS)
    canvas = [[(255, 255, 255)] * width for _ in range(height)]
    for f, pictures in enumerate(decoded):
        by_size = dict(pictures)
        for b, background in enumerate(BACKGROUNDS):
            top = (f * len(BACKGROUNDS) + b) * row_height
            for y in range(top, top + row_height):
                canvas[y] = canvas[y][:0] + [background] * width
            x0 = GAP
            for size, scale in cells:
                rows = by_size[size]
                for y in range(size * scale):
                    line = canvas[top + GAP + y]
                    for x in range(size * scale):
                        line[x0 + x] = blend(rows[y // scale][x // scale], background)
                x0 += size * scale + GAP
    with open(out, "wb") as handle:
        handle.write(png(width, height, canvas))


if __name__ == "__main__":
    main()
