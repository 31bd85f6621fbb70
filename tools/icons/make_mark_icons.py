#!/usr/bin/env python3
"""Draws the mark symbols (our own simple grey artwork) as PNG files.

Each symbol is a 24 x 24 point image with a "_c" layer and "@2x" forms: the
plain image holds a dark outline and a dark dot on the symbol's hot spot (the
point that sits on the mark's position); the "_c" layer is the grey body that
the application tints with the mark's colour. Hot spots follow the table the
application uses. Run from the repository root:
    python3 tools/icons/make_mark_icons.py resources/images
"""
import math
import sys

from make_ownship_icons import png

SIZE = 24
OUTLINE = 1.5  # points
DOT = 1.3      # radius of the hot-spot dot, points

# name: (hot spot x fraction, y fraction, body primitives in points)
ICONS = {
    "Flag": (0.0862, 0.875, [("seg", 2.07, 2, 2.07, 21, 1.2), ("box", 2.07, 2, 20, 11)]),
    "Dot": (0.486, 0.486, [("circle", 11.66, 11.66, 6)]),
    "Pin": (0.937, 0.937, [("circle", 8, 8, 6), ("seg", 8, 8, 22.5, 22.5, 1.5)]),
    "Person": (0.592, 0.875, [("circle", 14.2, 5, 3.5), ("box", 10.2, 9, 18.2, 21)]),
    "X": (0.5, 0.5, [("seg", 4, 4, 20, 20, 2.5), ("seg", 4, 20, 20, 4, 2.5)]),
    "Anchor": (0.4375, 0.875, [("seg", 10.5, 3, 10.5, 21, 1.8), ("seg", 5, 8, 16, 8, 1.5),
                               ("seg", 3, 15, 10.5, 21, 1.8), ("seg", 18, 15, 10.5, 21, 1.8)]),
    "Boat": (0.4375, 0.6, [("poly", [(2, 12), (22, 12), (18, 19), (6, 19)]), ("seg", 10.5, 3, 10.5, 12, 1.2),
                           ("poly", [(11, 3), (19, 11), (11, 11)])]),
    "Buoy_can": (11 / 24, 15 / 19, [("box", 6, 5, 16, 18.9)]),
    "Buoy_cardinal": (0.5625, 35 / 38, [("poly", [(13.5, 2), (18, 9), (9, 9)]), ("box", 10, 10, 17, 22.1)]),
    "Buoy_conical": (11 / 24, 0.84, [("poly", [(11, 3), (18, 20.2), (4, 20.2)])]),
    "Buoy_round": (11 / 24, 0.84, [("circle", 11, 14, 6.2)]),
    "Car": (0.5625, 0.53125, [("box", 3, 9, 21, 17), ("box", 7, 5, 17, 9)]),
    "Circle": (6 / 13, 6 / 13, [("ring", 11.08, 11.08, 8, 2.5)]),
    "Deer": (0.5625, 0.53125, [("circle", 13.5, 12.75, 6.5), ("seg", 9, 4, 12, 8, 1.2),
                               ("seg", 18, 4, 15, 8, 1.2)]),
    "Exit": (16 / 31, 7 / 15, [("box", 4, 4, 20, 20)]),
    "First_aid": (0.5, 0.5, [("box", 9, 3, 15, 21), ("box", 3, 9, 21, 15)]),
    "Fish": (0.40625, 8 / 17, [("circle", 9.75, 11.3, 6), ("poly", [(15, 11.3), (22, 6), (22, 17)])]),
    "Fuel": (0.46875, 0.84375, [("box", 5, 4, 16, 20.25), ("seg", 16, 8, 20, 12, 1.2)]),
    "G_pin": (0.28125, 31 / 33, [("circle", 6.75, 7, 5), ("seg", 6.75, 7, 6.75, 22.5, 1.5)]),
    "Geocache": (0.53125, 8 / 13, [("box", 4, 8, 21.5, 20), ("poly", [(4, 8), (12.75, 3), (21.5, 8)])]),
    "House": (0.625, 0.8125, [("box", 8, 11, 22, 19.5), ("poly", [(6, 11), (15, 3), (24, 11)])]),
    "MOB": (10 / 21, 10 / 21, [("ring", 11.43, 11.43, 8, 3)]),
    "Skull": (0.5, 0.71875, [("circle", 12, 9, 7), ("box", 8, 12, 16, 18)]),
    "Square": (4 / 9, 4 / 9, [("box", 4.67, 4.67, 16.67, 16.67)]),
    "Tent": (0.6875, 0.71875, [("poly", [(16.5, 4), (23, 17.25), (8, 17.25)])]),
    "Tinydot": (1 / 3, 1 / 3, [("circle", 8, 8, 3.5)]),
    "Trackback": (4 / 9, 4 / 9, [("poly", [(10.67, 3), (18.67, 16), (2.67, 16)])]),
    "Triangle": (7 / 15, 7 / 13, [("poly", [(11.2, 4), (20, 19), (2.4, 19)])]),
    "Warning": (0.5, 0.5625, [("poly", [(12, 2), (22, 20), (2, 20)])]),
    "Wreck": (0.40625, 9 / 11, [("poly", [(2, 14), (18, 8), (20, 19.6), (4, 19.6)]),
                                ("seg", 9.75, 4, 9.75, 19.6, 1.2)]),
}


def seg_distance(x, y, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)
    t = max(0.0, min(1.0, t))
    return math.hypot(x - ax - t * dx, y - ay - t * dy)


def distance(shape, x, y):
    """Signed distance in points: negative inside."""
    kind = shape[0]
    if kind == "circle":
        _, cx, cy, r = shape
        return math.hypot(x - cx, y - cy) - r
    if kind == "ring":
        _, cx, cy, r, w = shape
        return abs(math.hypot(x - cx, y - cy) - r) - w / 2
    if kind == "seg":
        _, ax, ay, bx, by, w = shape
        return seg_distance(x, y, ax, ay, bx, by) - w
    if kind == "box":
        _, x0, y0, x1, y1 = shape
        qx, qy = max(x0 - x, x - x1), max(y0 - y, y - y1)
        outside = math.hypot(max(qx, 0), max(qy, 0))
        return outside if outside > 0 else max(qx, qy)
    if kind == "poly":
        pts = shape[1]
        d = min(seg_distance(x, y, *pts[i], *pts[(i + 1) % len(pts)]) for i in range(len(pts)))
        inside = False
        for i in range(len(pts)):
            (ax, ay), (bx, by) = pts[i], pts[(i + 1) % len(pts)]
            if (ay > y) != (by > y) and x < ax + (y - ay) * (bx - ax) / (by - ay):
                inside = not inside
        return -d if inside else d
    raise ValueError(kind)


def layers(hx, hy, shapes, scale):
    """Pixel functions of the plain image and of the "_c" layer."""
    samples = [(i + 0.5) / 4 for i in range(4)]
    size = SIZE * scale

    def coverage(x, y):
        # x, y: pixel offsets from the image centre (as the own-ship script gives them)
        outline = fill = dot = 0
        for sx in samples:
            for sy in samples:
                px = (x + size / 2 - 0.5 + sx) / scale
                py = (y + size / 2 - 0.5 + sy) / scale
                d = min(distance(s, px, py) for s in shapes)
                if math.hypot(px - hx, py - hy) <= DOT:
                    dot += 1
                elif abs(d) <= OUTLINE / 2:
                    outline += 1
                elif d < 0:
                    fill += 1
        return outline / 16, fill / 16, dot / 16

    def plain(x, y):
        o, _, d = coverage(x, y)
        return (30, 30, 30, int(255 * min(1.0, o + d)))

    def tint(x, y):
        _, f, _ = coverage(x, y)
        return (128, 128, 128, int(255 * f))

    return plain, tint


def main(folder):
    for name, (fx, fy, shapes) in ICONS.items():
        hx, hy = fx * SIZE, fy * SIZE
        for scale, suffix in ((1, ""), (2, "@2x")):
            plain, tint = layers(hx, hy, shapes, scale)
            png(f"{folder}/{name}{suffix}.png", SIZE * scale, plain)
            png(f"{folder}/{name}_c{suffix}.png", SIZE * scale, tint)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "resources/images")
