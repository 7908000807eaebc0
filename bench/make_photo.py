#!/usr/bin/env python3
"""Writes a colour picture that compresses like a photograph or a scanned page (soft shading,
objects with edges, grain), not like flat colour: the comic pages and covers of the benchmarks.

usage: make_photo.py W H SEED > OUT.ppm     (binary PPM; `cjpeg` makes a JPEG of it)
As a module: photo_rows(w, h, seed) gives the RGB rows, png_rgb(w, h, rows) a PNG of them.
"""
import math
import random
import struct
import sys
import zlib


def photo_rows(w, h, seed):
    rng = random.Random(seed)
    # Soft light across the picture: a few slow waves along each axis and a diagonal.
    def waves(n, count):
        parts = [(rng.uniform(0.5, 4.0) * 2 * math.pi / n, rng.uniform(0, 6.3), rng.uniform(10, 40))
                 for _ in range(count)]
        return [sum(a * math.sin(f * i + p) for f, p, a in parts) for i in range(n)]
    along_x, along_y, diagonal = waves(w, 3), waves(h, 4), waves(w + h, 3)
    # Objects: ellipses of their own tone with hard edges, as figures and panels in a scan.
    shapes = [(rng.randrange(w), rng.randrange(h), rng.randrange(20, max(21, w // 3)),
               rng.randrange(20, max(21, h // 6)), rng.randrange(-90, 90)) for _ in range(24)]
    tint = [rng.uniform(0.8, 1.2) for _ in range(3)]
    rows = []
    for y in range(h):
        noise = rng.randbytes(w)
        row = bytearray(3 * w)
        inside = [(cx, rx, shift, (1 - ((y - cy) / ry) ** 2)) for cx, cy, rx, ry, shift in shapes
                  if abs(y - cy) < ry]
        base_y = 128 + along_y[y]
        for x in range(w):
            v = base_y + along_x[x] + diagonal[x + y] + (noise[x] & 31) - 16
            for cx, rx, shift, room in inside:
                if ((x - cx) / rx) ** 2 < room:
                    v += shift
            for k in range(3):
                c = int(v * tint[k])
                row[3 * x + k] = 0 if c < 0 else 255 if c > 255 else c
        rows.append(bytes(row))
    return rows


def png_rgb(w, h, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    header = struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)
    raw = b"".join(b"\x00" + r for r in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def main():
    w, h, seed = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
    sys.stdout.buffer.write(b"P6 %d %d 255\n" % (w, h) + b"".join(photo_rows(w, h, seed)))


if __name__ == "__main__":
    main()
