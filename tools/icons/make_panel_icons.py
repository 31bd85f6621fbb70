#!/usr/bin/env python3
"""Draws the data panel's images (our own simple artwork) as PNG files.

movearrows: four arrows from the centre, the handle that moves a cell in
arrange mode. resizecorner: a diagonal arrow into the bottom-right corner,
the handle that resizes it. dvLogo: the logo cell, a blue disc with a white
wave. Each at 1x and @2x. Run from the repository root:
    python3 tools/icons/make_panel_icons.py resources/images
"""
import math
import sys

from make_ownship_icons import coverage, png

DARK = (20, 60, 140)


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


def arrow_alpha(x, y, tip, back, half_width, head):
    """Coverage of an arrow from `back` to `tip` (points in the icon's units)."""
    shaft = coverage(segment_distance(x, y, *back, *tip), -1.0, half_width)
    ux, uy = tip[0] - back[0], tip[1] - back[1]
    length = math.hypot(ux, uy)
    ux, uy = ux / length, uy / length
    # The head: a triangle whose base lies `head` behind the tip.
    along = (tip[0] - x) * ux + (tip[1] - y) * uy
    across = abs((x - tip[0]) * -uy + (y - tip[1]) * ux)
    inside = max(0.0, min(1.0, head - along + 0.5)) * max(0.0, min(1.0, along + 0.5))
    inside *= max(0.0, min(1.0, along * 0.8 - across + 0.5))
    return max(shaft, inside)


def move_arrows(scale):
    def pixel(x, y):
        x, y = x / scale, y / scale
        a = 0.0
        for tip in ((0, -14), (0, 14), (-14, 0), (14, 0)):
            a = max(a, arrow_alpha(x, y, tip, (0, 0), 1.5, 6))
        ring = coverage(math.hypot(x, y), -1.0, 3.0)
        return (*DARK, int(255 * max(a, ring)))
    return pixel


def resize_corner(scale):
    def pixel(x, y):
        x, y = x / scale, y / scale
        a = arrow_alpha(x, y, (9, 9), (-9, -9), 1.5, 7)
        # The corner itself: a bracket along the right and bottom edges.
        a = max(a, coverage(segment_distance(x, y, 13.5, -2, 13.5, 13.5), -1.0, 1.5))
        a = max(a, coverage(segment_distance(x, y, -2, 13.5, 13.5, 13.5), -1.0, 1.5))
        return (*DARK, int(255 * a))
    return pixel


def logo(scale):
    def pixel(x, y):
        x, y = x / scale, y / scale
        r = math.hypot(x, y)
        disc = coverage(r, -1.0, 44.0)
        wave_y = 6 * math.sin(x / 9.0)
        wave = coverage(abs(y - wave_y), -1.0, 3.5) * coverage(r, -1.0, 36.0)
        boat = 0.0
        if -18 < x < 18 and -26 < y < 0:
            # A sail: a triangle above the wave.
            boat = 1.0 if (y > -26 + abs(x + 4) * 1.6 and x > -4 and y < -6) else 0.0
        white = max(wave, boat)
        red = int(DARK[0] * (1 - white) + 255 * white)
        green = int(DARK[1] * (1 - white) + 255 * white)
        blue = int(DARK[2] * (1 - white) + 255 * white)
        return (red, green, blue, int(255 * disc))
    return pixel


def main(folder):
    for scale, suffix in ((1, ""), (2, "@2x")):
        png(f"{folder}/movearrows{suffix}.png", 32 * scale, move_arrows(scale))
        png(f"{folder}/resizecorner{suffix}.png", 32 * scale, resize_corner(scale))
        png(f"{folder}/dvLogo{suffix}.png", 96 * scale, logo(scale))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "resources/images")
