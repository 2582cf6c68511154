#!/usr/bin/env python3
"""png_to_pixels.py IN.png OUT.pixels

Turns an 8-bit RGBA PNG, as rsvg-convert writes it, into the program's picture format: the
width and the height as 32-bit little-endian numbers, then the rows of RGBA bytes, top to
bottom. The program reads such a picture without an image decoder.
"""
import struct
import sys
import zlib


def fail(text):
    sys.exit(f"png_to_pixels: {text}")


def read_png(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        fail(f"{path}: not a PNG file")
    pos, header, idat = 8, None, bytearray()
    while pos < len(data):
        (length,) = struct.unpack(">I", data[pos:pos + 4])
        kind = data[pos + 4:pos + 8]
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
    if header is None:
        fail(f"{path}: no header")
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour != 6 or interlace != 0:
        fail(f"{path}: not 8-bit RGBA without interlacing")
    return width, height, zlib.decompress(bytes(idat))


def unfilter(width, height, raw):
    stride = width * 4
    out = bytearray(stride * height)
    previous = bytearray(stride)
    pos = 0
    for y in range(height):
        kind = raw[pos]
        row = bytearray(raw[pos + 1:pos + 1 + stride])
        pos += 1 + stride
        if kind == 1:
            for i in range(4, stride):
                row[i] = (row[i] + row[i - 4]) & 0xFF
        elif kind == 2:
            for i in range(stride):
                row[i] = (row[i] + previous[i]) & 0xFF
        elif kind == 3:
            for i in range(stride):
                left = row[i - 4] if i >= 4 else 0
                row[i] = (row[i] + ((left + previous[i]) >> 1)) & 0xFF
        elif kind == 4:
            for i in range(stride):
                a = row[i - 4] if i >= 4 else 0
                b = previous[i]
                c = previous[i - 4] if i >= 4 else 0
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                predictor = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                row[i] = (row[i] + predictor) & 0xFF
        elif kind != 0:
            fail(f"unknown filter {kind} in row {y}")
        out[y * stride:(y + 1) * stride] = row
        previous = row
    return out


def main():
    if len(sys.argv) != 3:
        fail("usage: png_to_pixels.py IN.png OUT.pixels")
    width, height, raw = read_png(sys.argv[1])
    pixels = unfilter(width, height, raw)
    with open(sys.argv[2], "wb") as f:
        f.write(struct.pack("<II", width, height))
        f.write(pixels)


if __name__ == "__main__":
    main()
