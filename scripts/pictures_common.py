"""What the picture scripts share: the repository root, RGBA PNG writing, smooth shape sampling
and the way to ImageMagick and the fonts for the pictures that carry text.

Shapes are predicates over a point in pixel units (0,0 is the top left corner of the picture);
every pixel is sampled 4 x 4 times for smooth edges. Only the standard library is used here;
ImageMagick (Debian packages imagemagick and fonts-dejavu-core) is looked up only when a script
asks for it.
"""
import math
import os
import shutil
import struct
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FONT_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
FONT_PLAIN = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
SAMPLES = 4


def resource_folder(name):
    folder = os.path.join(ROOT, "resources", name)
    os.makedirs(folder, exist_ok=True)
    return folder


def png(path, pixels):
    """Writes rows of (r, g, b, a) pixels as an RGBA PNG."""
    height, width = len(pixels), len(pixels[0])

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    rows = b"".join(b"\x00" + bytes(c for px in row for c in px) for row in pixels)
    data = (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows, 9))
            + chunk(b"IEND", b""))
    with open(path, "wb") as out:
        out.write(data)


def disc(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, outer, inner):
    return lambda x, y: inner * inner <= (x - cx) ** 2 + (y - cy) ** 2 <= outer * outer


def arc(cx, cy, outer, inner, start, end):
    """Part of a ring, angles in degrees, clockwise from twelve o'clock."""
    inside_ring = ring(cx, cy, outer, inner)

    def inside(x, y):
        if not inside_ring(x, y):
            return False
        angle = math.degrees(math.atan2(x - cx, cy - y)) % 360
        return start <= angle <= end if start <= end else angle >= start or angle <= end

    return inside


def box(left, top, right, bottom):
    return lambda x, y: left <= x <= right and top <= y <= bottom


def stroke(x0, y0, x1, y1, width):
    """A line with round ends."""
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy or 1e-9

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


def outline(points, width):
    """The closed outline of a polygon."""
    strokes = [stroke(*points[i - 1], *points[i], width) for i in range(len(points))]
    return lambda x, y: any(s(x, y) for s in strokes)


def both(a, b):
    return lambda x, y: a(x, y) and b(x, y)


def render(width, height, layers):
    """layers: (shape, (r, g, b)) painted in order, later ones on top; a layer whose colour is
    None cuts a hole into what lies below it."""
    pixels = []
    n = SAMPLES * SAMPLES
    for py in range(height):
        row = []
        for px in range(width):
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
            if a:
                row.append((round(r / a), round(g / a), round(b / a), round(255 * a / n)))
            else:
                row.append((0, 0, 0, 0))
        pixels.append(row)
    return pixels


def imagemagick():
    """The ImageMagick converter of the distribution, never a wrapper of the same name."""
    for name in ("convert-im6.q16", "convert-im6", "magick"):
        path = shutil.which(name)
        if path:
            return path
    raise SystemExit("ImageMagick is needed for this picture: apt-get install imagemagick")


def font(path):
    if not os.path.exists(path):
        raise SystemExit(f"{os.path.basename(path)} is needed: apt-get install fonts-dejavu-core")
    return path
