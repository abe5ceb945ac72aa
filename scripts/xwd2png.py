#!/usr/bin/env python3
"""An X window dump (32 bits a pixel, as Xvfb at depth 24 writes it) to PNG.
   xwd2png.py SCREEN.xwd OUTPUT.png"""
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
h = struct.unpack(">25I", data[:100])
size, width, height, order, per_line, colours = h[0], h[4], h[5], h[7], h[12], h[19]
masks = h[14:17]
pixels = data[size + colours * 12:]
shifts = [(m & -m).bit_length() - 1 for m in masks]
rows = []
for y in range(height):
    values = struct.unpack(("<" if order == 0 else ">") + "I" * width,
                           pixels[y * per_line:y * per_line + width * 4])
    rows.append(b"\0" + bytes(((v & m) >> s) for v in values for m, s in zip(masks, shifts)))
def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
open(sys.argv[2], "wb").write(b"\x89PNG\r\n\x1a\n" +
    chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
    chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))
