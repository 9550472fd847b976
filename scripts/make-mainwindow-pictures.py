#!/usr/bin/env python3
"""Draws the main window's pictures into resources/mainwindow/.

The button pictures, the seven menu images and the program icon are drawn with the standard
library alone (see pictures_common.py). The banner is a JPEG with text on it; it is drawn by
ImageMagick, which is needed only when the pictures are drawn again.

The files are committed; run this script again only to change a picture.
"""
import math
import os
import subprocess

from pictures_common import (FONT_BOLD, arc, both, box, disc, font, imagemagick, outline, png,
                             polygon, render, resource_folder, ring, stroke)


def side_by_side(left, right):
    return [a + b for a, b in zip(left, right)]


def greyed(pixels):
    """The disabled look: the picture's shape in flat grey with a white shadow below right."""
    height, width = len(pixels), len(pixels[0])
    out = [[(0, 0, 0, 0)] * width for _ in range(height)]
    for y in range(height):
        for x in range(width):
            if x > 0 and y > 0 and pixels[y - 1][x - 1][3] > 96:
                out[y][x] = (255, 255, 255, pixels[y - 1][x - 1][3])
    for y in range(height):
        for x in range(width):
            alpha = pixels[y][x][3]
            if alpha > 96:
                out[y][x] = (128, 128, 128, alpha)
    return out


WHITE = (255, 255, 255)
BLACK = (0, 0, 0)
DARK = (60, 60, 70)
GREY = (150, 150, 155)
LIGHT_GREY = (215, 215, 220)
RED = (205, 30, 30)
DARK_RED = (130, 10, 10)
GREEN = (40, 160, 60)
DARK_GREEN = (20, 100, 35)
BLUE = (50, 100, 200)
DARK_BLUE = (25, 55, 130)
SEA = (70, 140, 225)
LAND = (70, 170, 80)
YELLOW = (250, 210, 60)
FOLDER = (235, 190, 70)
FOLDER_DARK = (180, 130, 30)
BROWN = (150, 95, 45)
DARK_BROWN = (90, 55, 25)
GOLD = (200, 160, 40)


def octagon(cx, cy, r):
    return [(cx + r * math.sin(math.radians(22.5 + 45 * k)),
             cy - r * math.cos(math.radians(22.5 + 45 * k))) for k in range(8)]


def globe(cx, cy, r, line):
    meridian = ring(cx, cy, r, r - line)
    return [
        (disc(cx, cy, r), SEA),
        (both(disc(cx, cy, r), polygon([(cx - r * 0.75, cy - r * 0.55), (cx - r * 0.05, cy - r * 0.75),
                                         (cx + r * 0.1, cy - r * 0.2), (cx - r * 0.3, cy + r * 0.15),
                                         (cx - r * 0.2, cy + r * 0.8), (cx - r * 0.7, cy + r * 0.35)])), LAND),
        (both(disc(cx, cy, r), polygon([(cx + r * 0.35, cy - r * 0.1), (cx + r * 0.9, cy - r * 0.3),
                                         (cx + r * 0.85, cy + r * 0.5), (cx + r * 0.4, cy + r * 0.6)])), LAND),
        (both(disc(cx, cy, r), ring(cx, cy + 0, r * 0.52, r * 0.52 - line)), DARK_BLUE),
        (both(disc(cx, cy, r), lambda x, y: abs(((x - cx) / (r * 0.45)) ** 2 + ((y - cy) / r) ** 2 - 1) < line / r), DARK_BLUE),
        (both(disc(cx, cy, r), lambda x, y: abs(y - cy) <= line / 2), DARK_BLUE),
        (meridian, DARK_BLUE),
    ]


def start_picture():
    arrow = [(4.0, 1.5), (14.5, 7.5), (4.0, 13.5)]
    return render(17, 15, [(polygon(arrow), GREEN), (outline(arrow, 1.2), DARK_GREEN)])


def stop_picture():
    return render(16, 16, [
        (polygon(octagon(8, 8, 7.8)), DARK_RED),
        (polygon(octagon(8, 8, 6.9)), WHITE),
        (polygon(octagon(8, 8, 6.0)), RED),
        (polygon(octagon(7.3, 7.3, 3.2)), (230, 70, 70)),
    ])


def tools_cell():
    return render(16, 16, [
        # a screwdriver from the top right to the bottom left
        (stroke(2.5, 13.5, 8.5, 7.5, 1.6), GREY),
        (stroke(9.0, 7.0, 13.5, 2.5, 3.4), RED),
        # a wrench from the top left to the bottom right, its jaw open towards the corner
        (stroke(5.0, 5.0, 13.0, 13.0, 2.6), DARK),
        (disc(4.3, 4.3, 3.6), DARK),
        (both(disc(4.3, 4.3, 3.7), polygon([(-1.0, 2.4), (2.4, -1.0), (5.0, 1.6), (1.6, 5.0)])), None),
    ])


def settings_picture():
    normal = tools_cell()
    return side_by_side(normal, greyed(normal))


def page_of_text():
    sheet = [(3.0, 1.0), (10.5, 1.0), (13.5, 4.0), (13.5, 15.0), (3.0, 15.0)]
    layers = [(polygon(sheet), WHITE), (outline(sheet, 1.0), DARK),
              (polygon([(10.5, 1.0), (10.5, 4.0), (13.5, 4.0)]), LIGHT_GREY),
              (outline([(10.5, 1.0), (10.5, 4.0), (13.5, 4.0)], 0.8), DARK)]
    for y in (6.0, 8.5, 11.0):
        layers.append((box(5.0, y - 0.5, 11.5, y + 0.5), GREY))
    layers.append((box(5.0, 13.0, 9.0, 14.0), GREY))
    return render(16, 16, layers)


def door():
    return render(16, 16, [
        (box(2.5, 0.5, 13.5, 15.5), DARK),
        (box(3.5, 1.5, 12.5, 15.5), (240, 240, 235)),
        (polygon([(3.5, 1.5), (10.5, 3.0), (10.5, 15.5), (3.5, 15.5)]), BROWN),
        (outline([(3.5, 1.5), (10.5, 3.0), (10.5, 15.5), (3.5, 15.5)], 0.9), DARK_BROWN),
        (disc(9.0, 9.0, 0.9), GOLD),
    ])


def floppy_disk():
    body = [(1.0, 1.0), (13.0, 1.0), (15.0, 3.0), (15.0, 15.0), (1.0, 15.0)]
    return render(16, 16, [
        (polygon(body), BLUE),
        (outline(body, 1.0), DARK_BLUE),
        (box(4.0, 1.5, 11.5, 6.0), LIGHT_GREY),
        (box(9.0, 2.3, 10.5, 5.2), DARK_BLUE),
        (box(3.5, 9.0, 12.5, 14.5), WHITE),
        (box(5.0, 10.7, 11.0, 11.3), GREY),
        (box(5.0, 12.5, 11.0, 13.1), GREY),
    ])


def open_folder():
    back = [(0.5, 3.0), (5.5, 3.0), (7.0, 4.5), (13.0, 4.5), (13.0, 14.0), (0.5, 14.0)]
    front = [(3.0, 7.5), (15.5, 7.5), (13.0, 14.0), (0.5, 14.0)]
    return render(16, 16, [
        (polygon(back), FOLDER_DARK),
        (outline(back, 0.8), DARK_BROWN),
        (box(2.5, 5.5, 11.5, 8.0), WHITE),
        (polygon(front), FOLDER),
        (outline(front, 0.8), DARK_BROWN),
    ])


def question_mark():
    return render(16, 16, [
        (disc(8, 8, 7.6), DARK_BLUE),
        (disc(8, 8, 6.8), BLUE),
        (arc(8, 6.0, 3.7, 2.1, 280, 150), WHITE),
        (stroke(9.6, 8.4, 8.0, 9.6, 1.6), WHITE),
        (box(7.2, 9.2, 8.8, 10.6), WHITE),
        (disc(8, 12.6, 1.05), WHITE),
    ])


def light_bulb():
    return render(16, 16, [
        (disc(8, 6.2, 5.4), DARK_BROWN),
        (polygon([(4.3, 9.0), (11.7, 9.0), (10.3, 12.0), (5.7, 12.0)]), DARK_BROWN),
        (disc(8, 6.2, 4.6), YELLOW),
        (polygon([(5.0, 8.8), (11.0, 8.8), (9.7, 11.2), (6.3, 11.2)]), YELLOW),
        (disc(6.4, 4.6, 1.3), (255, 250, 215)),
        (box(5.8, 12.0, 10.2, 13.4), GREY),
        (box(5.8, 13.8, 10.2, 14.6), GREY),
        (box(6.8, 14.6, 9.2, 15.6), DARK),
    ])


def globe_picture():
    return render(16, 16, globe(8, 8, 7.5, 0.8))


def program_icon(size):
    s = size / 32.0
    layers = globe(13 * s, 13 * s, 12 * s, max(0.8, 1.2 * s))
    layers += [
        (stroke(21 * s, 21 * s, 29.5 * s, 29.5 * s, 5.0 * s), DARK),
        (disc(20 * s, 20 * s, 7.5 * s), DARK),
        (disc(20 * s, 20 * s, 5.6 * s), (235, 245, 255)),
        (stroke(16.8 * s, 20.2 * s, 19.0 * s, 22.6 * s, 1.8 * s), GREEN),
        (stroke(19.0 * s, 22.6 * s, 23.4 * s, 17.2 * s, 1.8 * s), GREEN),
    ]
    return render(size, size, layers)


MENU_IMAGES = [
    ("menu0-page.png", page_of_text),
    ("menu1-door.png", door),
    ("menu2-floppy.png", floppy_disk),
    ("menu3-folder.png", open_folder),
    ("menu4-question.png", question_mark),
    ("menu5-globe.png", globe_picture),
    ("menu6-bulb.png", light_bulb),
]


def banner(path):
    subprocess.run([
        imagemagick(), "-size", "490x55", "gradient:#4a4d52-#2b2d31",
        "-fill", "#6fae5a", "-draw", "rectangle 0,0 5,54",
        "-font", font(FONT_BOLD), "-fill", "white",
        "-pointsize", "17", "-annotate", "+16+23", "Find a good domain name",
        "-pointsize", "13", "-annotate", "+16+44", "that already has traffic and links",
        "-quality", "90", "-sampling-factor", "4:2:0", "-strip",
        "-define", "jpeg:dct-method=float", path,
    ], check=True)


def main():
    folder = resource_folder("mainwindow")
    pictures = {
        "start.png": start_picture,
        "stop.png": stop_picture,
        "settings.png": settings_picture,
        "icon16.png": lambda: program_icon(16),
        "icon32.png": lambda: program_icon(32),
    }
    pictures.update(MENU_IMAGES)
    for name, draw in pictures.items():
        png(os.path.join(folder, name), draw())
    banner(os.path.join(folder, "banner.jpg"))


if __name__ == "__main__":
    main()
