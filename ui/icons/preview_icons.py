#!/usr/bin/env python3
"""Decodes .ico files (as the resource compiler will read them) into one PNG
sheet, every picture enlarged, on a light and a dark background, so that the
pictures can be looked at before they are accepted.

    preview_icons.py OUT.png FILE.ico...
"""

import struct
import sys
import zlib

SCALE = 6


def decode(data):
    """[(size, bits, rows of (r, g, b) or None)] of one .ico file."""
    _, _, count = struct.unpack_from("<HHH", data, 0)
    pictures = []
    for i in range(count):
        w, h, _, _, _, bits, length, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        size = w or 256
        header_size, _, _, _, bpp, _, _, _, _, used, _ = struct.unpack_from(
            "<IiiHHIIiiII", data, offset)
        colours = used or (1 << bpp)
        table = offset + header_size
        palette = [struct.unpack_from("<BBBB", data, table + 4 * k)[2::-1] for k in range(colours)]
        pixels = table + 4 * colours
        stride = ((size * bpp + 31) // 32) * 4
        mask = pixels + stride * size
        mask_stride = ((size + 31) // 32) * 4
        rows = []
        for y in range(size):
            src = size - 1 - y
            row = []
            for x in range(size):
                if bpp == 4:
                    byte = data[pixels + src * stride + x // 2]
                    index = byte >> 4 if x % 2 == 0 else byte & 15
                else:
                    index = data[pixels + src * stride + x]
                transparent = data[mask + src * mask_stride + x // 8] >> (7 - x % 8) & 1
                row.append(None if transparent else palette[index])
            rows.append(row)
        pictures.append((size, bpp, rows))
    return pictures


def png(width, height, rows):
    raw = b"".join(b"\0" + bytes(v for px in row for v in px) for row in rows)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(
            ">I", zlib.crc32(kind + body) & 0xFFFFFFFF)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    out, files = sys.argv[1], sys.argv[2:]
    cell = 32 * SCALE + 8
    backgrounds = [(236, 236, 236), (40, 44, 52)]
    width = cell * 3 * len(backgrounds)
    height = cell * len(files)
    canvas = [[(255, 255, 255)] * width for _ in range(height)]
    for f, name in enumerate(files):
        with open(name, "rb") as handle:
            pictures = decode(handle.read())
        for b, background in enumerate(backgrounds):
            for p, (size, _, rows) in enumerate(pictures):
                x0 = (b * 3 + p) * cell + 4
                y0 = f * cell + 4
                scale = 32 * SCALE // size
                for y in range(32 * SCALE):
                    for x in range(32 * SCALE):
                        c = rows[y // scale][x // scale] if y // scale < size and x // scale < size else None
                        canvas[y0 + y][x0 + x] = c if c is not None else background
    with open(out, "wb") as handle:
        handle.write(png(width, height, canvas))


if __name__ == "__main__":
    main()
