#!/usr/bin/env python3
"""Packs square RGBA PNGs into one Windows icon file (.ico):
    make-ico.py <out.ico> <picture.png>...
Pictures below 256 pixels go in as 32-bit DIBs with their AND mask (what every
Windows version and Wine read); 256 pixels and above stay PNG (Vista and later).
Only what the asset generator writes is read: 8-bit RGBA or RGB, not interlaced."""

import struct
import sys
import zlib


def read_png(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit(f"{path}: not a PNG")
    at, idat, header = 8, b"", None
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at : at + 8])
        body = data[at + 8 : at + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace:
        sys.exit(f"{path}: only 8-bit RGB(A) PNGs without interlacing are read")
    step = 4 if colour == 6 else 3
    stride = width * step
    raw = zlib.decompress(idat)
    rows, prior = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        row = bytearray(raw[y * (stride + 1) + 1 : (y + 1) * (stride + 1)])
        for x in range(stride):
            left = row[x - step] if x >= step else 0
            up = prior[x]
            corner = prior[x - step] if x >= step else 0
            if kind == 1:
                row[x] = (row[x] + left) & 0xFF
            elif kind == 2:
                row[x] = (row[x] + up) & 0xFF
            elif kind == 3:
                row[x] = (row[x] + (left + up) // 2) & 0xFF
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                predictor = left if pa <= pb and pa <= pc else up if pb <= pc else corner
                row[x] = (row[x] + predictor) & 0xFF
        rows.append(bytes(row) if step == 4 else b"".join(row[i : i + 3] + b"\xff" for i in range(0, stride, 3)))
        prior = row
    return width, height, rows, data


def dib(width, height, rows):
    """BITMAPINFOHEADER (twice the height: colour then mask), BGRA rows bottom-up, AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, width, 2 * height, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(
        bytes(b for i in range(0, width * 4, 4) for b in (row[i + 2], row[i + 1], row[i], row[i + 3]))
        for row in reversed(rows)
    )
    mask_stride = (width + 31) // 32 * 4
    mask = b""
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x in range(width):
            if row[x * 4 + 3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + colour + mask


def main():
    if len(sys.argv) < 3:
        sys.exit("usage: make-ico.py <out.ico> <picture.png>...")
    images = []
    for path in sys.argv[2:]:
        width, height, rows, png = read_png(path)
        if width != height or width > 256:
            sys.exit(f"{path}: an icon picture is square, at most 256 pixels")
        images.append((width, png if width >= 256 else dib(width, height, rows)))
    images.sort(key=lambda image: image[0])
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, body in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(body), offset)
        offset += len(body)
    out += b"".join(body for _, body in images)
    with open(sys.argv[1], "wb") as file:
        file.write(out)


if __name__ == "__main__":
    main()
