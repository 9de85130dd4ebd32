#!/usr/bin/env python3
"""Converts a 24-bit BMP (as the Veltraw driver writes screenshots) to PNG,
optionally cropped. Python standard library only.

    bmp_to_png.py IN.bmp OUT.png [LEFT TOP WIDTH HEIGHT]
"""

import struct
import sys
import zlib


def read_bmp(path):
    with open(path, "rb") as f:
        data = f.read()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    bits = struct.unpack_from("<H", data, 28)[0]
    if bits != 24:
        raise SystemExit(f"{path}: {bits}-bit pictures are not handled")
    stride = (width * 3 + 3) // 4 * 4
    rows = []
    for y in range(abs(height)):
        source = abs(height) - 1 - y if height > 0 else y
        start = offset + source * stride
        line = data[start:start + width * 3]
        # BGR to RGB
        rgb = bytearray(width * 3)
        rgb[0::3] = line[2::3]
        rgb[1::3] = line[1::3]
        rgb[2::3] = line[0::3]
        rows.append(bytes(rgb))
    return width, abs(height), rows


def write_png(path, width, height, rows):
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    raw = b"".join(b"\0" + row for row in rows)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


def main():
    source, target = sys.argv[1], sys.argv[2]
    width, height, rows = read_bmp(source)
    if len(sys.argv) == 7:
        left, top, w, h = (int(v) for v in sys.argv[3:7])
        left = max(0, min(left, width - 1))
        top = max(0, min(top, height - 1))
        w = min(w, width - left)
        h = min(h, height - top)
        rows = [row[left * 3:(left + w) * 3] for row in rows[top:top + h]]
        width, height = w, h
    write_png(target, width, height, rows)


if __name__ == "__main__":
    main()
