#!/usr/bin/env python3
"""Draws the widget's "background" picture: a dusk gradient with the swept arcs of a
metronome's pendulum. 510 x 510 pixels (the small widget at 3x). Writes a PNG with
only the standard library, so it can be rebuilt anywhere:

    scripts/make_background.py resources/background.png
"""
import math
import struct
import sys
import zlib

SIZE = 510


def pixel(x, y):
    u, v = x / (SIZE - 1), y / (SIZE - 1)
    # Diagonal gradient from deep indigo (top left) to warm violet (bottom right).
    t = (u + v) / 2
    r = 30 + 120 * t
    g = 24 + 40 * t
    b = 90 + 70 * (1 - t)
    # Arcs around the pivot at the bottom centre, fading with distance.
    dx, dy = x - SIZE / 2, SIZE * 0.95 - y
    radius = math.hypot(dx, dy)
    angle = math.degrees(math.atan2(dx, dy))
    if abs(angle) < 38:
        ring = 0.5 + 0.5 * math.cos(radius / 18.0)
        strength = max(0.0, 1 - radius / (SIZE * 0.95)) * ring * 0.35
        r, g, b = r + 120 * strength, g + 150 * strength, b + 160 * strength
    # The pendulum rod, leaning right.
    rod = abs(dx * math.cos(math.radians(20)) - dy * math.sin(math.radians(20)))
    if rod < 5 and 0 < radius < SIZE * 0.72:
        r, g, b = 235, 225, 250
    return tuple(max(0, min(255, int(c))) for c in (r, g, b))


def png(width, height, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + bytes(c for p in row for c in p) for row in rows)
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "resources/background.png"
    rows = [[pixel(x, y) for x in range(SIZE)] for y in range(SIZE)]
    with open(out, "wb") as f:
        f.write(png(SIZE, SIZE, rows))


if __name__ == "__main__":
    main()
