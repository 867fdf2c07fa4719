#!/usr/bin/env python3
"""Draws the programs' window icon (a speech bubble with sound waves) and writes it as a
32-bit .ico with 16, 32, 48 and 128 pixel images: python3 tools/make_icon.py OUT.ico"""
import math
import struct
import sys

SAMPLES = 4  # per axis, for smooth edges


def coverage(x, y):
    """RGBA of the design at (x, y) in a 1x1 square, y pointing down."""
    # Rounded square in a deep teal, darker towards the bottom.
    r = 0.18
    cx = min(max(x, r), 1 - r)
    cy = min(max(y, r), 1 - r)
    if math.hypot(x - cx, y - cy) > r:
        return None
    shade = 1.0 - 0.35 * y
    colour = (int(20 * shade), int(130 * shade), int(160 * shade))
    # A white speech bubble: an ellipse with a tail to the lower left.
    ex, ey = (x - 0.5) / 0.36, (y - 0.45) / 0.27
    in_bubble = ex * ex + ey * ey <= 1.0
    in_tail = 0.22 <= x <= 0.42 and 0.62 <= y <= 0.86 and (x - 0.22) >= (y - 0.62) * 0.2 and \
        (y - 0.62) <= (0.42 - x) * 1.2
    if in_bubble or in_tail:
        colour = (250, 250, 250)
        # Sound waves inside the bubble: a dot and two arcs, in the teal.
        d = math.hypot(x - 0.32, y - 0.45)
        ang = abs(math.atan2(y - 0.45, x - 0.32))
        if d < 0.055 or (ang < 0.85 and (abs(d - 0.15) < 0.028 or abs(d - 0.25) < 0.028)):
            colour = (20, 120, 150)
    return colour


def render(size):
    pixels = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0]
            hits = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = coverage((px + (sx + 0.5) / SAMPLES) / size,
                                 (py + (sy + 0.5) / SAMPLES) / size)
                    if c:
                        hits += 1
                        for i in range(3):
                            acc[i] += c[i]
            n = SAMPLES * SAMPLES
            if hits:
                row.append((acc[0] // hits, acc[1] // hits, acc[2] // hits, 255 * hits // n))
            else:
                row.append((0, 0, 0, 0))
        pixels.append(row)
    return pixels


def dib(size):
    """A 32-bit BGRA DIB as an icon stores it: bottom-up, then an all-zero AND mask."""
    pixels = render(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    body = bytearray()
    for row in reversed(pixels):
        for r, g, b, a in row:
            body += bytes((b, g, r, a))
    mask_row = ((size + 31) // 32) * 4
    body += bytes(mask_row * size)
    return header + bytes(body)


def main():
    sizes = [16, 32, 48, 128]
    images = [dib(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, img in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    with open(sys.argv[1], "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main()
