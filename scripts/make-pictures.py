#!/usr/bin/env python3
"""Draws the 16 x 16 button pictures of the keywords dialog into resources/dialogs/.

Only the standard library is used: shapes are sampled 4 x 4 times per pixel for smooth edges,
and the result is written as an RGBA PNG.
"""
import math
import os
import struct
import zlib

SIZE = 16
SAMPLES = 4


def png(path, pixels):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    rows = b"".join(b"\x00" + bytes(c for px in row for c in px) for row in pixels)
    data = (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows, 9))
            + chunk(b"IEND", b""))
    with open(path, "wb") as out:
        out.write(data)


def disc(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, outer, inner):
    return lambda x, y: inner * inner <= (x - cx) ** 2 + (y - cy) ** 2 <= outer * outer


def box(left, top, right, bottom):
    return lambda x, y: left <= x <= right and top <= y <= bottom


def stroke(x0, y0, x1, y1, width):
    """A line with round ends."""
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy

    def inside(x, y):
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
        px, py = x0 + t * dx, y0 + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= (width / 2) ** 2

    return inside


def polygon(points):
    def inside(x, y):
        result = False
        j = len(points) - 1
        for i, (xi, yi) in enumerate(points):
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result

    return inside


def render(layers):
    """layers: (shape, (r, g, b)) painted in order, later ones on top."""
    pixels = []
    for py in range(SIZE):
        row = []
        for px in range(SIZE):
            r = g = b = a = 0.0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = px + (sx + 0.5) / SAMPLES
                    y = py + (sy + 0.5) / SAMPLES
                    colour = None
                    for shape, rgb in layers:
                        if shape(x, y):
                            colour = rgb
                    if colour:
                        r, g, b, a = r + colour[0], g + colour[1], b + colour[2], a + 1
            n = SAMPLES * SAMPLES
            if a:
                row.append((round(r / a), round(g / a), round(b / a), round(255 * a / n)))
            else:
                row.append((0, 0, 0, 0))
        pixels.append(row)
    return pixels


WHITE = (255, 255, 255)
GREEN = (40, 150, 50)
RED = (200, 40, 40)
DARK = (60, 60, 70)
GLASS = (170, 215, 245)
PINK = (240, 140, 160)
SLEEVE = (90, 120, 200)

PICTURES = {
    "add": [(disc(8, 8, 7.2), GREEN), (box(3.5, 6.8, 12.5, 9.2), WHITE), (box(6.8, 3.5, 9.2, 12.5), WHITE)],
    "remove": [(disc(8, 8, 7.2), RED), (box(3.5, 6.8, 12.5, 9.2), WHITE)],
    "clear": [
        (polygon([(1.5, 10.5), (7.5, 4.5), (14.5, 11.5), (11.5, 14.5), (5.5, 14.5)]), SLEEVE),
        (polygon([(5.5, 6.5), (9.5, 2.5), (15.0, 8.0), (11.0, 12.0)]), PINK),
        (stroke(1.5, 14.8, 14.5, 14.8, 1.0), DARK),
    ],
    "cancel": [(stroke(3.5, 3.5, 12.5, 12.5, 3.2), RED), (stroke(12.5, 3.5, 3.5, 12.5, 3.2), RED)],
    "search": [
        (disc(6.5, 6.5, 4.2), GLASS),
        (ring(6.5, 6.5, 5.6, 4.0), DARK),
        (stroke(10.3, 10.3, 14.3, 14.3, 3.0), DARK),
    ],
}


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    folder = os.path.join(root, "resources", "dialogs")
    os.makedirs(folder, exist_ok=True)
    for name, layers in PICTURES.items():
        png(os.path.join(folder, name + ".png"), render(layers))


if __name__ == "__main__":
    main()
