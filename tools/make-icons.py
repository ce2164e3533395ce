#!/usr/bin/env python3
"""Draws Ferrolink's icons and writes them as .ico files (32-bit BGRA DIBs).

Run from the repository root: tools/make-icons.py. The .ico files are kept in
res/ so the build needs no image tools.
"""
import math
import struct
import sys


def ico(size, pixel):
    """Encodes one size x size image; pixel(x, y) gives (r, g, b, a), y downward."""
    rows = []
    for y in range(size - 1, -1, -1):  # DIBs are stored bottom-up
        rows.append(b"".join(struct.pack("<BBBB", b, g, r, a)
                             for r, g, b, a in (pixel(x + 0.5, y + 0.5) for x in range(size))))
    xor = b"".join(rows)
    mask_row = ((size + 31) // 32) * 4
    and_mask = b"\0" * (mask_row * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    image = header + xor + and_mask
    return struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32,
                                                      len(image), 22) + image


def blend(layers):
    def pixel(x, y):
        out = (0, 0, 0, 0)
        for shape in layers:
            c = shape(x, y)
            if c:
                r, g, b, a = c
                oa = out[3] / 255
                na = a / 255 + oa * (1 - a / 255)
                if na == 0:
                    continue
                mix = lambda s, d: int((s * a / 255 + d * oa * (1 - a / 255)) / na)
                out = (mix(r, out[0]), mix(g, out[1]), mix(b, out[2]), int(na * 255))
        return out
    return pixel


def disc(cx, cy, rad, color):
    return lambda x, y: color if (x - cx) ** 2 + (y - cy) ** 2 <= rad * rad else None


def ring(cx, cy, rad, width, color):
    return lambda x, y: color if abs(math.hypot(x - cx, y - cy) - rad) <= width / 2 else None


def segment(x0, y0, x1, y1, width, color):
    def f(x, y):
        dx, dy = x1 - x0, y1 - y0
        t = max(0, min(1, ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy)))
        return color if math.hypot(x - (x0 + t * dx), y - (y0 + t * dy)) <= width / 2 else None
    return f


def polygon(points, color):
    def f(x, y):
        inside = False
        for (ax, ay), (bx, by) in zip(points, points[1:] + points[:1]):
            if (ay > y) != (by > y) and x < ax + (y - ay) * (bx - ax) / (by - ay):
                inside = not inside
        return color if inside else None
    return f


STEEL = (58, 84, 120, 255)
RUST = (200, 96, 40, 255)
LINK = (90, 90, 90, 255)
GREEN = (40, 150, 60, 255)
RED = (200, 40, 40, 255)
WHITE = (255, 255, 255, 255)

# The application: three computers joined by a ring of iron links.
app = blend([
    ring(16, 16, 10, 3, LINK),
    disc(16, 6, 5, STEEL), disc(7, 22, 5, STEEL), disc(25, 22, 5, STEEL),
    disc(16, 6, 2.2, RUST), disc(7, 22, 2.2, RUST), disc(25, 22, 2.2, RUST),
])
scan = blend([ring(6.5, 6.5, 4.5, 2, STEEL), segment(10, 10, 14.5, 14.5, 2.6, RUST)])
forward = blend([polygon([(2, 6), (9, 6), (9, 2), (15, 8), (9, 14), (9, 10), (2, 10)], GREEN)])
back = blend([polygon([(14, 6), (7, 6), (7, 2), (1, 8), (7, 14), (7, 10), (14, 10)], GREEN)])
stop = blend([polygon([(5, 1), (11, 1), (15, 5), (15, 11), (11, 15), (5, 15), (1, 11), (1, 5)], RED),
              segment(5, 8, 11, 8, 2, WHITE)])

for name, size, image in [("ferrolink", 32, app), ("scan", 16, scan), ("forward", 16, forward),
                          ("back", 16, back), ("stop", 16, stop)]:
    with open(f"res/{name}.ico", "wb") as f:
        f.write(ico(size, image))
sys.exit(0)
