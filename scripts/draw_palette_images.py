#!/usr/bin/env python3
"""Draws the designer's images into resources/: one PNG (8-bit RGBA) per class, named after the
class in upper case. Every image is a rounded tile in its family's colour with a white glyph,
drawn from shapes in unit coordinates (0..1, y down) and anti-aliased by supersampling, so the
same drawing serves 16, 24 and 32 pixels. Run it again after changing a drawing; the output is
deterministic."""

import math
import os
import struct
import sys
import zlib

SUPERSAMPLE = 4

# Tile colours: top and bottom of the gradient, and the border.
SONVERA = ((0x3B, 0x7D, 0xD8), (0x1F, 0x4E, 0x9C), (0x16, 0x38, 0x70))
SONVERA_ALT = ((0xF0, 0x8A, 0x24), (0xC4, 0x62, 0x0E), (0x8E, 0x45, 0x08))
SIGNAL = ((0x3D, 0xA3, 0x7F), (0x1F, 0x6E, 0x52), (0x15, 0x4D, 0x39))
STREAM = ((0x8A, 0x4F, 0xCF), (0x5B, 0x2C, 0x99), (0x40, 0x1E, 0x6C))
STRUCTURE = ((0xD9, 0x9A, 0x2B), (0xA8, 0x6B, 0x12), (0x75, 0x4A, 0x0C))
OPTION = ((0x7A, 0x87, 0x94), (0x4D, 0x58, 0x63), (0x36, 0x3E, 0x46))
WHITE = (0xFF, 0xFF, 0xFF)
ORANGE = (0xFF, 0xB3, 0x47)


# --- Shapes: signed distances, negative inside ------------------------------------------------

def rounded_rect(x0, y0, x1, y1, r):
    cx, cy, hx, hy = (x0 + x1) / 2, (y0 + y1) / 2, (x1 - x0) / 2 - r, (y1 - y0) / 2 - r

    def sdf(x, y):
        dx, dy = abs(x - cx) - hx, abs(y - cy) - hy
        return math.hypot(max(dx, 0), max(dy, 0)) + min(max(dx, dy), 0) - r
    return sdf


def rect(x0, y0, x1, y1):
    return rounded_rect(x0, y0, x1, y1, 0)


def outline(shape, w):
    return lambda x, y: abs(shape(x, y)) - w / 2


def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def segment(ax, ay, bx, by, w):
    def sdf(x, y):
        px, py, vx, vy = x - ax, y - ay, bx - ax, by - ay
        t = max(0.0, min(1.0, (px * vx + py * vy) / (vx * vx + vy * vy)))
        return math.hypot(px - vx * t, py - vy * t) - w / 2
    return sdf


def polyline(points, w):
    parts = [segment(*a, *b, w) for a, b in zip(points, points[1:])]
    return lambda x, y: min(p(x, y) for p in parts)


def polygon(points):
    def sdf(x, y):
        inside = False
        for (ax, ay), (bx, by) in zip(points, points[1:] + points[:1]):
            if (ay > y) != (by > y) and x < ax + (y - ay) * (bx - ax) / (by - ay):
                inside = not inside
        edge = min(segment(*a, *b, 0)(x, y) for a, b in zip(points, points[1:] + points[:1]))
        return -edge if inside else edge
    return sdf


def arc(cx, cy, r, a0, a1, w):
    """A stroke along a circle from angle a0 to a1 (degrees, 0 = right, counter-clockwise)."""
    steps = 16
    pts = [(cx + r * math.cos(math.radians(a0 + (a1 - a0) * i / steps)),
            cy - r * math.sin(math.radians(a0 + (a1 - a0) * i / steps))) for i in range(steps + 1)]
    return polyline(pts, w)


def arrow(ax, ay, bx, by, w, head):
    """A shaft from a to b with a triangular head at b."""
    length = math.hypot(bx - ax, by - ay)
    ux, uy = (bx - ax) / length, (by - ay) / length
    base = (bx - ux * head, by - uy * head)
    left = (base[0] - uy * head * 0.8, base[1] + ux * head * 0.8)
    right = (base[0] + uy * head * 0.8, base[1] - ux * head * 0.8)
    shaft = segment(ax, ay, base[0], base[1], w)
    tip = polygon([(bx, by), left, right])
    return lambda x, y: min(shaft(x, y), tip(x, y))


def union(*shapes):
    return lambda x, y: min(s(x, y) for s in shapes)


def wave(x0, x1, cy, amplitude, w, periods=1.0):
    pts = [(x0 + (x1 - x0) * i / 32,
            cy - amplitude * math.sin(2 * math.pi * periods * i / 32)) for i in range(33)]
    return polyline(pts, w)


# --- Glyphs ---------------------------------------------------------------------------------

STROKE = 0.085


def speaker():
    body = polygon([(0.18, 0.40), (0.32, 0.40), (0.50, 0.22), (0.50, 0.78), (0.32, 0.60),
                    (0.18, 0.60)])
    return union(body, arc(0.50, 0.5, 0.16, -45, 45, STROKE), arc(0.50, 0.5, 0.30, -45, 45, STROKE))


def box_with_arrow(inward):
    box = outline(rounded_rect(0.18, 0.24, 0.56, 0.76, 0.06), STROKE)
    shaft = arrow(0.86, 0.5, 0.38, 0.5, STROKE, 0.14) if inward else \
        arrow(0.38, 0.5, 0.86, 0.5, STROKE, 0.14)
    return union(box, shaft)


def mast(left, right):
    parts = [segment(0.5, 0.42, 0.5, 0.82, STROKE), circle(0.5, 0.38, 0.07)]
    if left:
        parts += [arc(0.5, 0.38, 0.18, 135, 225, STROKE), arc(0.5, 0.38, 0.32, 140, 220, STROKE)]
    if right:
        parts += [arc(0.5, 0.38, 0.18, -45, 45, STROKE), arc(0.5, 0.38, 0.32, -40, 40, STROKE)]
    return union(*parts)


def microphone():
    return union(segment(0.5, 0.22, 0.5, 0.46, 0.2), arc(0.5, 0.44, 0.2, 180, 360, STROKE),
                 segment(0.5, 0.64, 0.5, 0.80, STROKE), segment(0.36, 0.80, 0.64, 0.80, STROKE))


def faders():
    parts = []
    for x, knob in ((0.3, 0.62), (0.5, 0.36), (0.7, 0.52)):
        parts += [segment(x, 0.2, x, 0.8, 0.05), rounded_rect(x - 0.08, knob - 0.05, x + 0.08,
                                                               knob + 0.05, 0.02)]
    return union(*parts)


def splitter():
    return union(segment(0.16, 0.5, 0.46, 0.5, STROKE),
                 polyline([(0.46, 0.5), (0.66, 0.24), (0.84, 0.24)], STROKE),
                 segment(0.46, 0.5, 0.84, 0.5, STROKE),
                 polyline([(0.46, 0.5), (0.66, 0.76), (0.84, 0.76)], STROKE))


def clock():
    return union(outline(circle(0.5, 0.5, 0.3), STROKE), segment(0.5, 0.5, 0.5, 0.3, STROKE),
                 segment(0.5, 0.5, 0.64, 0.58, STROKE))


def squeeze(outward):
    bar = segment(0.5, 0.26, 0.5, 0.74, STROKE)
    if outward:
        return union(bar, arrow(0.42, 0.5, 0.14, 0.5, STROKE, 0.13),
                     arrow(0.58, 0.5, 0.86, 0.5, STROKE, 0.13))
    return union(bar, arrow(0.12, 0.5, 0.40, 0.5, STROKE, 0.13),
                 arrow(0.88, 0.5, 0.60, 0.5, STROKE, 0.13))


def sampled_wave():
    """The audio-to-real converter: a wave (white) becoming sampled values (orange)."""
    return wave(0.12, 0.44, 0.5, 0.16, STROKE)


def sampled_values():
    stems = []
    for x, top in ((0.62, 0.40), (0.74, 0.28), (0.86, 0.46)):
        stems += [segment(x, 0.76, x, top, 0.06), circle(x, top, 0.06)]
    return union(*stems)


def graph():
    nodes = [(0.26, 0.30), (0.74, 0.34), (0.46, 0.74)]
    links = [segment(*a, *b, 0.07) for a, b in zip(nodes, nodes[1:] + nodes[:1])]
    return union(*links, *[circle(x, y, 0.12) for x, y in nodes])


def brackets():
    return union(polyline([(0.36, 0.22), (0.22, 0.22), (0.22, 0.78), (0.36, 0.78)], 0.1),
                 polyline([(0.64, 0.22), (0.78, 0.22), (0.78, 0.78), (0.64, 0.78)], 0.1),
                 circle(0.5, 0.5, 0.09))


FONT = {
    "2": ["111", "001", "111", "100", "111"], "3": ["111", "001", "011", "001", "111"],
    "4": ["101", "101", "111", "001", "001"], "6": ["111", "100", "111", "101", "111"],
    "8": ["111", "101", "111", "101", "111"], "A": ["010", "101", "111", "101", "101"],
    "B": ["110", "101", "110", "101", "110"], "R": ["110", "101", "110", "101", "101"],
}


def text(chars):
    """Two characters of a 3x5 pixel font, on a grid of eighths so that 16 pixels stay crisp."""
    cell, rects = 1 / 8, []
    for i, char in enumerate(chars):
        for row, bits in enumerate(FONT[char]):
            for col, bit in enumerate(bits):
                if bit == "1":
                    x, y = cell * (0.5 + 4 * i + col), cell * (1.5 + row)
                    rects.append(rect(x, y, x + cell, y + cell))
    return union(*rects)


def play():
    return polygon([(0.34, 0.22), (0.34, 0.78), (0.80, 0.5)])


def funnel():
    return polygon([(0.18, 0.24), (0.82, 0.24), (0.56, 0.54), (0.56, 0.80), (0.44, 0.74),
                    (0.44, 0.54)])


def page():
    return union(outline(rounded_rect(0.24, 0.18, 0.76, 0.82, 0.05), STROKE),
                 *[segment(0.36, y, 0.64, y, 0.06) for y in (0.36, 0.5, 0.64)])


def magnifier():
    return union(outline(circle(0.42, 0.42, 0.2), STROKE), segment(0.57, 0.57, 0.8, 0.8, 0.12))


def gauge():
    return union(arc(0.5, 0.64, 0.32, 0, 180, STROKE), segment(0.5, 0.64, 0.68, 0.40, STROKE),
                 circle(0.5, 0.64, 0.07))


def generator():
    return union(wave(0.22, 0.84, 0.5, 0.2, STROKE), circle(0.2, 0.5, 0.08))


# --- Rendering ------------------------------------------------------------------------------

def render(size, family, glyph, accent=None):
    """Pixels (RGBA rows) of a tile in `family` with `glyph` in white; `accent` draws a second
    glyph in orange above it."""
    top, bottom, border = family
    outer = rounded_rect(0.02, 0.02, 0.98, 0.98, 0.2)
    inner = rounded_rect(0.02 + 1.0 / size, 0.02 + 1.0 / size, 0.98 - 1.0 / size,
                         0.98 - 1.0 / size, 0.2 - 1.0 / size)
    rows, n = [], SUPERSAMPLE
    for py in range(size):
        row = bytearray()
        for px in range(size):
            r = g = b = a = 0.0
            for sy in range(n):
                for sx in range(n):
                    x, y = (px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size
                    if outer(x, y) > 0:
                        continue
                    if accent and accent(x, y) <= 0:
                        colour = ORANGE
                    elif glyph(x, y) <= 0:
                        colour = WHITE
                    elif inner(x, y) <= 0:
                        colour = tuple(t + (u - t) * y for t, u in zip(top, bottom))
                    else:
                        colour = border
                    r, g, b, a = r + colour[0], g + colour[1], b + colour[2], a + 1
            count = n * n
            if a:
                row += bytes((round(r / a), round(g / a), round(b / a), round(255 * a / count)))
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return rows


def png(size, rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(
            ">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    raw = b"".join(b"\x00" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


SIGNAL_GLYPHS = {
    "TDATASOURCESTOOLBARCATEGORY": lambda: box_with_arrow(False),
    "TDATASINKSTOOLBARCATEGORY": lambda: box_with_arrow(True),
    "TGENERATORSTOOLBARCATEGORY": generator,
    "TFILTERSTOOLBARCATEGORY": funnel,
    "TOUTPUTTOOLBARCATEGORY": speaker,
    "TPLAYERSTOOLBARCATEGORY": play,
    "TLOGGERSTOOLBARCATEGORY": page,
    "TRECEIVERSTOOLBARCATEGORY": lambda: mast(True, False),
    "TBROADCASTERSTOOLBARCATEGORY": lambda: mast(True, True),
    "TINPUTTOOLBARCATEGORY": microphone,
    "TCONVERTERSTOOLBARCATEGORY": lambda: union(arrow(0.18, 0.36, 0.82, 0.36, STROKE, 0.13),
                                                arrow(0.82, 0.64, 0.18, 0.64, STROKE, 0.13)),
    "TSYNCHRONIZATIONTOOLBARCATEGORY": clock,
    "TCOMPRESSORSTOOLBARCATEGORY": lambda: squeeze(False),
    "TDECOMPRESSORSTOOLBARCATEGORY": lambda: squeeze(True),
    "TMIXERSTOOLBARCATEGORY": faders,
    "TSPLITTERSTOOLBARCATEGORY": splitter,
    "TANALYSISTOOLBARCATEGORY": magnifier,
    "TMEASUREMENTTOOLBARCATEGORY": gauge,
}

# name: (size, family, glyph, accent)
IMAGES = {name: (32, SIGNAL, glyph, None) for name, glyph in SIGNAL_GLYPHS.items()}
IMAGES.update({
    "TSONVERATOOLBARCATEGORY": (32, SONVERA, lambda: wave(0.16, 0.84, 0.5, 0.22, 0.1, 1.5), None),
    "TSONVERATOOLBARCATEGORY1": (32, SONVERA_ALT, lambda: wave(0.16, 0.84, 0.5, 0.22, 0.1, 1.5),
                                 None),
    "TSONVERAOUTPUTTOOLBARCATEGORY": (32, SONVERA, speaker, None),
    "TSONVERAINPUTTOOLBARCATEGORY": (32, SONVERA, microphone, None),
    "TSONVERAMIXERSTOOLBARCATEGORY": (32, SONVERA, faders, None),
    "TSVAUDIOTOREAL": (24, SONVERA, sampled_wave, sampled_values),
    "TSVAUDIOTOREAL16": (16, SONVERA, sampled_wave, sampled_values),
    "TSVAUDIOTOREAL32": (32, SONVERA, sampled_wave, sampled_values),
    "IPXSVAUDIOSTREAM": (16, STREAM, lambda: wave(0.16, 0.84, 0.5, 0.24, 0.14), None),
    "IPXRVGRAPHSTREAM": (16, STREAM, graph, None),
    "TSVAUDIOBUFFERMAKESTRUCTUREELEMENT": (16, STRUCTURE, brackets, None),
    "TRVLAVCOMPRESSIONOPTIONINTEGER": (16, OPTION, lambda: text("32"), None),
    "TRVLAVCOMPRESSIONOPTIONINT64": (16, OPTION, lambda: text("64"), None),
    "TRVLAVCOMPRESSIONOPTIONREAL": (16, OPTION, lambda: text("R8"), None),
    "TRVLAVCOMPRESSIONOPTIONSINGLE": (16, OPTION, lambda: text("R4"), None),
    "TRVLAVCOMPRESSIONOPTIONSTRING": (16, OPTION, lambda: text("AB"), None),
})


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "resources")
    os.makedirs(out, exist_ok=True)
    for name, (size, family, glyph, accent) in sorted(IMAGES.items()):
        with open(os.path.join(out, name + ".png"), "wb") as f:
            f.write(png(size, render(size, family, glyph(), accent and accent())))


if __name__ == "__main__":
    main()
