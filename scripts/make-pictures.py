#!/usr/bin/env python3
"""Draws the 16 x 16 button pictures of the keywords dialog into resources/dialogs/.

Only the standard library is used (see pictures_common.py).
"""
import os

from pictures_common import box, disc, png, polygon, render, resource_folder, ring, stroke

SIZE = 16

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
    folder = resource_folder("dialogs")
    for name, layers in PICTURES.items():
        png(os.path.join(folder, name + ".png"), render(SIZE, SIZE, layers))


if __name__ == "__main__":
    main()
