#!/usr/bin/env python3
"""Draws Ferrolink's icons and writes them as .ico files: each with a 32-bit
alpha image for XP and later, and 256- and 16-colour images with AND masks
for the systems before it. The application icon has them at 32 x 32 and at
16 x 16, drawn for that size, for captions and the taskbar.

The application icon is also written for the Linux desktop, as the PNGs of
the hicolor icon theme at 16, 32, 48 and 256 pixels: at 16 and 32 the .ico's
own alpha images, at 48 and 256 the 32-pixel drawing scaled, each pixel the
mean of 4 x 4 samples so that its edges are smooth.

Run from the repository root: tools/make-icons.py. The .ico and .png files
are kept in res/ so the build needs no image tools. tools/make-icons.py
--preview FILE.png draws each icon as 9x (16 and 256 colours, through the
mask) and XP show it.
"""
import math
import struct
import sys
import zlib


# The sixteen colours of a VGA display, the palette of 16-colour images.
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
       (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
       (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def nearest_vga(colour):
    # Steel reads as navy and rust as red; the nearest by distance would be
    # teal and olive.
    if colour in VGA_CHOICE:
        return VGA.index(VGA_CHOICE[colour])
    r, g, b = colour
    return min(range(16), key=lambda i: 3 * (VGA[i][0] - r) ** 2 + 4 * (VGA[i][1] - g) ** 2 + 2 * (VGA[i][2] - b) ** 2)


def sample(size, pixel):
    """Rows top-down of (r, g, b, a) for one size x size image."""
    return [[pixel(x + 0.5, y + 0.5) for x in range(size)] for y in range(size)]


def smooth(size, pixel, design, n=4):
    """Rows of (r, g, b, a) for a size x size image of a drawing made on a
    design x design grid, each pixel the mean of n x n samples (colours
    weighted by their opacity)."""
    scale = design / size
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            r = g = b = a = 0
            for j in range(n):
                for i in range(n):
                    sr, sg, sb, sa = pixel((x + (i + 0.5) / n) * scale, (y + (j + 0.5) / n) * scale)
                    r, g, b, a = r + sr * sa, g + sg * sa, b + sb * sa, a + sa
            row.append((r // a, g // a, b // a, (a + n * n // 2) // (n * n)) if a else (0, 0, 0, 0))
        rows.append(row)
    return rows


def png(path, rows, alpha):
    """Writes rows of (r, g, b[, a]) as a PNG: 8 bits a channel, no filter."""
    data = b"".join(b"\0" + bytes(c for px in row for c in px) for row in rows)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n"
                + chunk(b"IHDR", struct.pack(">IIBBBBB", len(rows[0]), len(rows), 8, 6 if alpha else 2, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(data, 9)) + chunk(b"IEND", b""))


def dib(size, bits, palette, row_bytes, rows, mask):
    """One icon image: header, palette, colour rows and AND mask, bottom-up."""
    def pad(b):
        return b + b"\0" * (-len(b) % 4)
    xor = b"".join(pad(row_bytes(row)) for row in reversed(rows))
    and_mask = b"".join(pad(bytes(sum(m[x + i] << (7 - i) for i in range(8) if x + i < size)
                                   for x in range(0, size, 8))) for m in reversed(mask))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, len(xor) + len(and_mask), 0, 0,
                         len(palette), 0)
    return header + b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette) + xor + and_mask


def images(size, pixel):
    """The 32-bit alpha image, and 256- and 16-colour images for systems
    before XP; each has the AND mask those systems draw with: a pixel less
    than half opaque is transparent, and its colour is black."""
    rows = sample(size, pixel)
    mask = [[1 if a < 128 else 0 for _, _, _, a in row] for row in rows]
    solid = [[(0, 0, 0) if m else (r, g, b) for (r, g, b, _), m in zip(row, mrow)]
             for row, mrow in zip(rows, mask)]
    alpha = dib(size, 32, [], lambda row: b"".join(struct.pack("<BBBB", b, g, r, a) for r, g, b, a in row),
                rows, mask)
    palette = [(0, 0, 0)] + sorted({c for row in solid for c in row} - {(0, 0, 0)})
    assert len(palette) <= 256, "more than 256 colours"
    index = {c: i for i, c in enumerate(palette)}
    colours256 = dib(size, 8, palette + [(0, 0, 0)] * (256 - len(palette)),
                     lambda row: bytes(index[c] for c in row), solid, mask)
    vga = [[nearest_vga(c) for c in row] for row in solid]
    colours16 = dib(size, 4, VGA, lambda row: bytes((row[x] << 4) | (row[x + 1] if x + 1 < size else 0)
                                                     for x in range(0, size, 2)), vga, mask)
    return [(32, alpha), (8, colours256), (4, colours16)]


def ico(drawings):
    """An .ico file of the images of each (size, drawing), in the order XP
    prefers them."""
    entries = [(size, bits, data) for size, pixel in drawings for bits, data in images(size, pixel)]
    offset = 6 + 16 * len(entries)
    directory = struct.pack("<HHH", 0, 1, len(entries))
    for size, bits, data in entries:
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 16 if bits == 4 else 0, 0, 1, bits,
                                 len(data), offset)
        offset += len(data)
    return directory + b"".join(data for _, _, data in entries)


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
VGA_CHOICE = {STEEL[:3]: (0, 0, 128), RUST[:3]: (255, 0, 0)}

# The application: three computers joined by a ring of iron links.
app = blend([
    ring(16, 16, 10, 3, LINK),
    disc(16, 6, 5, STEEL), disc(7, 22, 5, STEEL), disc(25, 22, 5, STEEL),
    disc(16, 6, 2.2, RUST), disc(7, 22, 2.2, RUST), disc(25, 22, 2.2, RUST),
])
# The same at 16 x 16: fewer, bolder strokes, on whole pixels.
app16 = blend([
    ring(8, 8.5, 5, 1.6, LINK),
    disc(8, 3.5, 3, STEEL), disc(3.5, 11.5, 3, STEEL), disc(12.5, 11.5, 3, STEEL),
    disc(8, 3.5, 1.2, RUST), disc(3.5, 11.5, 1.2, RUST), disc(12.5, 11.5, 1.2, RUST),
])
scan = blend([ring(6.5, 6.5, 4.5, 2, STEEL), segment(10, 10, 14.5, 14.5, 2.6, RUST)])
forward = blend([polygon([(2, 6), (9, 6), (9, 2), (15, 8), (9, 14), (9, 10), (2, 10)], GREEN)])
back = blend([polygon([(14, 6), (7, 6), (7, 2), (1, 8), (7, 14), (7, 10), (14, 10)], GREEN)])
stop = blend([polygon([(5, 1), (11, 1), (15, 5), (15, 11), (11, 15), (5, 15), (1, 11), (1, 5)], RED),
              segment(5, 8, 11, 8, 2, WHITE)])



def preview(path, icons, scale=4, grey=(192, 192, 192)):
    """Writes a PNG of every icon as the systems draw it, on a grey face: the
    16- and 256-colour images through their masks, as 9x and NT 4.0 do, and
    the alpha image blended, as XP does; one row per icon."""
    gap = 8
    width = gap + 3 * (32 * scale + gap)
    rows = []
    for size, pixel in icons:
        raw = sample(size, pixel)
        mask = [[a < 128 for *_, a in row] for row in raw]
        views = [[[grey if m else VGA[nearest_vga((r, g, b))] for (r, g, b, _), m in zip(row, mrow)]
                  for row, mrow in zip(raw, mask)],
                 [[grey if m else (r, g, b) for (r, g, b, _), m in zip(row, mrow)] for row, mrow in zip(raw, mask)],
                 [[tuple((c * a + k * (255 - a)) // 255 for c, k in zip((r, g, b), grey)) for r, g, b, a in row]
                  for row in raw]]
        band = [[grey] * width for _ in range(32 * scale + gap)]
        for v, view in enumerate(views):
            left = gap + v * (32 * scale + gap)
            for y in range(size * scale):
                for x in range(size * scale):
                    band[y][left + x] = view[y // scale][x // scale]
        rows += band
    png(path, rows, alpha=False)


ICONS = [("ferrolink", [(32, app), (16, app16)]), ("scan", [(16, scan)]), ("forward", [(16, forward)]),
         ("back", [(16, back)]), ("stop", [(16, stop)])]
if len(sys.argv) == 3 and sys.argv[1] == "--preview":
    preview(sys.argv[2], [drawing for _, drawings in ICONS for drawing in drawings])
else:
    for name, drawings in ICONS:
        with open(f"res/{name}.ico", "wb") as f:
            f.write(ico(drawings))
    # The desktop's: the same application icon, in the hicolor theme's sizes.
    for size, rows in [(16, sample(16, app16)), (32, sample(32, app)), (48, smooth(48, app, 32)),
                       (256, smooth(256, app, 32))]:
        png(f"res/ferrolink-{size}.png", rows, alpha=True)
sys.exit(0)
