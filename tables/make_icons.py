#!/usr/bin/env python3
"""Draws the timer's clock-face icon and writes icon.ico and icon2.ico, the
desktop's icons (hicolor/NN.png from 16 to 256 pixels, and
hicolor/scalable.svg, the same drawing as vectors) and the larger tray
images (tray-NN.png) for screens with more than one pixel to a point.

Usage: make_icons.py [output-directory]   (default: this script's directory)

Standard library only, and deterministic: the only floating-point
functions used are + - * / and sqrt, which are exactly rounded everywhere,
so every run on every machine draws the same pixels. The SVG file and
icon2.ico are the same bytes everywhere; a PNG's compressed bytes may
differ with the zlib release, its pixels do not, and so may icon.ico's,
whose 256-pixel image is a PNG, as Windows expects at that size.
"""

import math
import os
import struct
import sys
import zlib

SUPERSAMPLE = 8

# Colours per icon: icon.ico is the normal clock; icon2.ico shows the same
# face in warm tones so the two are never mistaken for each other.
SCHEMES = {
    "night": {
        "outline": (14, 22, 46),
        "rim_top": (232, 240, 252),
        "rim_bottom": (168, 186, 214),
        "face_centre": (40, 66, 138),
        "face_edge": (14, 26, 72),
        "moon": (252, 222, 120),
        "hands": (248, 250, 255),
    },
    "ember": {
        "outline": (48, 16, 10),
        "rim_top": (252, 238, 220),
        "rim_bottom": (214, 176, 140),
        "face_centre": (150, 52, 26),
        "face_edge": (82, 20, 12),
        "moon": (255, 228, 140),
        "hands": (255, 250, 240),
    },
}

R_OUTER = 1.0
R_OUTLINE = 0.885
R_RIM = 0.75

# Crescent at nine o'clock: a disc with a smaller one bitten out of its right
# side, so its horns point up and down and stay clear of the hands.
MOON = (-0.40, -0.08, 0.31)
MOON_BITE = (-0.27, -0.13, 0.26)

# Hands as capsules (segment from the centre plus half-width).  The hour
# hand points at four o'clock; sqrt(3)/2 keeps the direction exact.
HALF_SQRT3 = math.sqrt(3.0) / 2.0
MINUTE_TIP, MINUTE_HALF_WIDTH = (0.0, -0.60), 0.075
HOUR_TIP, HOUR_HALF_WIDTH = (HALF_SQRT3 * 0.42, 0.5 * 0.42), 0.095
HUB_RADIUS = 0.12


def lerp(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def in_capsule(u, v, tip, half_width):
    tx, ty = tip
    length2 = tx * tx + ty * ty
    t = (u * tx + v * ty) / length2
    t = 0.0 if t < 0.0 else 1.0 if t > 1.0 else t
    dx, dy = u - tx * t, v - ty * t
    return dx * dx + dy * dy <= half_width * half_width


def in_circle(u, v, circle):
    cx, cy, r = circle
    dx, dy = u - cx, v - cy
    return dx * dx + dy * dy <= r * r


def sample(u, v, c, hand_width):
    """Colour at (u, v) in [-1, 1]^2 (y down), or None outside the disc."""
    r2 = u * u + v * v
    if r2 > R_OUTER * R_OUTER:
        return None
    if (in_circle(u, v, (0.0, 0.0, HUB_RADIUS))
            or in_capsule(u, v, MINUTE_TIP, max(MINUTE_HALF_WIDTH, hand_width))
            or in_capsule(u, v, HOUR_TIP, max(HOUR_HALF_WIDTH, hand_width))):
        return c["hands"]
    if in_circle(u, v, MOON) and not in_circle(u, v, MOON_BITE):
        return c["moon"]
    if r2 > R_OUTLINE * R_OUTLINE:
        return c["outline"]
    if r2 > R_RIM * R_RIM:
        return lerp(c["rim_top"], c["rim_bottom"], (v + 1.0) * 0.5)
    # Light falls from the upper left, so the face brightens there.
    dx, dy = u + 0.3, v + 0.3
    t = min(1.0, math.sqrt(dx * dx + dy * dy) / (R_RIM + 0.3))
    return lerp(c["face_centre"], c["face_edge"], t)


def draw(size, scheme):
    """Returns size rows (top first) of (r, g, b, a) tuples, straight alpha."""
    c = SCHEMES[scheme]
    n = SUPERSAMPLE
    step = 2.0 / (size * n)
    # Hands at least two whole pixels wide: at 16 and 24 px the centre lies on
    # a pixel boundary, so the upright hand then fills two columns exactly
    # instead of smearing over three.
    hand_width = 2.0 / size
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0]
            hits = 0
            for sy in range(n):
                v = (py * n + sy + 0.5) * step - 1.0
                for sx in range(n):
                    u = (px * n + sx + 0.5) * step - 1.0
                    col = sample(u, v, c, hand_width)
                    if col is not None:
                        acc[0] += col[0]
                        acc[1] += col[1]
                        acc[2] += col[2]
                        hits += 1
            if hits == 0:
                row.append((0, 0, 0, 0))
            else:
                rgb = tuple(int(x / hits + 0.5) for x in acc)
                row.append(rgb + ((hits * 255 + n * n // 2) // (n * n),))
        rows.append(row)
    return rows


def opaque(px):
    return px[3] >= 128


def median_cut(colours, limit):
    """Reduces a {rgb: count} histogram to at most `limit` colours."""
    if len(colours) <= limit:
        return sorted(colours)
    boxes = [sorted(colours.items())]
    while len(boxes) < limit:
        best, best_key = None, None
        for i, box in enumerate(boxes):
            if len(box) < 2:
                continue
            spans = [max(c[k] for c, _ in box) - min(c[k] for c, _ in box) for k in range(3)]
            weight = sum(n for _, n in box)
            key = (max(spans) * weight, -i)
            if best_key is None or key > best_key:
                best, best_key = i, key
        if best is None:
            break
        box = boxes.pop(best)
        spans = [max(c[k] for c, _ in box) - min(c[k] for c, _ in box) for k in range(3)]
        axis = spans.index(max(spans))
        box.sort(key=lambda item: (item[0][axis], item[0]))
        half = sum(n for _, n in box) / 2.0
        running, cut = 0, 1
        for j, (_, n) in enumerate(box[:-1]):
            running += n
            cut = j + 1
            if running >= half:
                break
        boxes[best:best] = [box[:cut], box[cut:]]
    palette = []
    for box in boxes:
        weight = sum(n for _, n in box)
        palette.append(tuple(int(sum(c[k] * n for c, n in box) / weight + 0.5) for k in range(3)))
    return palette


def nearest(palette, rgb):
    best, best_d = 0, None
    for i, p in enumerate(palette):
        d = (p[0] - rgb[0]) ** 2 + (p[1] - rgb[1]) ** 2 + (p[2] - rgb[2]) ** 2
        if best_d is None or d < best_d:
            best, best_d = i, d
    return best


def stride(bits_per_row):
    return (bits_per_row + 31) // 32 * 4


def and_mask(rows, transparent):
    size = len(rows)
    out = bytearray()
    for row in reversed(rows):
        line = bytearray(stride(size))
        for x, px in enumerate(row):
            if transparent(px):
                line[x >> 3] |= 0x80 >> (x & 7)
        out += line
    return bytes(out)


def bmp_entry(rows, bits):
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, 0, 0, 0, 0, 0)
    xor = bytearray()
    palette_bytes = b""
    if bits == 8:
        histogram = {}
        for row in rows:
            for px in row:
                if opaque(px):
                    histogram[px[:3]] = histogram.get(px[:3], 0) + 1
        # Index 0 stays black for the masked-out pixels.
        palette = [(0, 0, 0)] + median_cut(histogram, 255)
        lookup = {rgb: nearest(palette[1:], rgb) + 1 for rgb in histogram}
        palette += [(0, 0, 0)] * (256 - len(palette))
        palette_bytes = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
        for row in reversed(rows):
            line = bytes(lookup[px[:3]] if opaque(px) else 0 for px in row)
            xor += line + bytes(stride(size * 8) - len(line))
        mask = and_mask(rows, lambda px: not opaque(px))
    elif bits == 24:
        for row in reversed(rows):
            line = bytearray()
            for px in row:
                line += bytes((px[2], px[1], px[0])) if opaque(px) else bytes(3)
            xor += line + bytes(stride(size * 24) - len(line))
        mask = and_mask(rows, lambda px: not opaque(px))
    elif bits == 32:
        for row in reversed(rows):
            for r, g, b, a in row:
                xor += bytes((b, g, r, a) if a else (0, 0, 0, 0))
        mask = and_mask(rows, lambda px: False)
    else:
        raise ValueError("unsupported depth %d" % bits)
    return header + palette_bytes + bytes(xor) + mask


def ico(images):
    """images: list of (rows, bits), bits "png" for a 32-bit image stored as
    PNG.  Directory first, then the images in order."""
    entries = [(len(rows), 32, png(rows)) if bits == "png" else
               (len(rows), bits, bmp_entry(rows, bits)) for rows, bits in images]
    out = bytearray(struct.pack("<HHH", 0, 1, len(entries)))
    offset = 6 + 16 * len(entries)
    for size, bits, data in entries:
        # 0 stands for 256 in the directory's one-byte sizes.
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, bits, len(data),
                           offset)
        offset += len(data)
    for _, _, data in entries:
        out += data
    return bytes(out)


def png(rows):
    """An 8-bit RGBA PNG of the rows (straight alpha, as drawn)."""
    size = len(rows)
    raw = b"".join(b"\0" + bytes(v for px in row for v in px) for row in rows)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + \
            struct.pack(">I", zlib.crc32(kind + body) & 0xffffffff)
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def svg(scheme):
    """The drawing of sample() as vectors, on a 256-unit square."""
    c = SCHEMES[scheme]
    half = 128

    def at(x):
        return "%g" % (half + x * half)

    def length(x):
        return "%g" % (x * half)

    def rgb(colour):
        return "#%02x%02x%02x" % colour

    def circle(cx, cy, r, fill, extra=""):
        return '<circle cx="%s" cy="%s" r="%s" fill="%s"%s/>' % (at(cx), at(cy), length(r), fill,
                                                                   extra)

    def crescent(fill):
        # The moon's disc from one crossing of the bite's circle round to the
        # other, then back along the bite's circle.
        (mx, my, mr), (bx, by, br) = MOON, MOON_BITE
        dx, dy = bx - mx, by - my
        d = math.sqrt(dx * dx + dy * dy)
        a = (mr * mr - br * br + d * d) / (2 * d)
        h = math.sqrt(mr * mr - a * a)
        px, py = mx + a * dx / d, my + a * dy / d
        first = (px + h * dy / d, py - h * dx / d)
        second = (px - h * dy / d, py + h * dx / d)
        return ('<path d="M %s %s A %s %s 0 1 0 %s %s A %s %s 0 0 1 %s %s Z" fill="%s"/>'
                % (at(first[0]), at(first[1]), length(mr), length(mr), at(second[0]),
                   at(second[1]), length(br), length(br), at(first[0]), at(first[1]), fill))

    def capsule(tip, half_width):
        return ('<line x1="%s" y1="%s" x2="%s" y2="%s" stroke="%s" stroke-width="%s" '
                'stroke-linecap="round"/>' % (at(0), at(0), at(tip[0]), at(tip[1]),
                                              rgb(c["hands"]), length(2 * half_width)))
    return "\n".join([
        '<?xml version="1.0" encoding="UTF-8"?>',
        '<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">',
        '<defs>',
        '<linearGradient id="rim" x1="%s" y1="%s" x2="%s" y2="%s" gradientUnits="userSpaceOnUse">'
        '<stop offset="0" stop-color="%s"/><stop offset="1" stop-color="%s"/></linearGradient>'
        % (at(0), at(-1), at(0), at(1), rgb(c["rim_top"]), rgb(c["rim_bottom"])),
        # The face brightens towards the upper left, out to the rim.
        '<radialGradient id="face" cx="%s" cy="%s" r="%s" gradientUnits="userSpaceOnUse">'
        '<stop offset="0" stop-color="%s"/><stop offset="1" stop-color="%s"/></radialGradient>'
        % (at(-0.3), at(-0.3), length(R_RIM + 0.3), rgb(c["face_centre"]), rgb(c["face_edge"])),
        '</defs>',
        circle(0, 0, R_OUTER, rgb(c["outline"])),
        circle(0, 0, R_OUTLINE, "url(#rim)"),
        circle(0, 0, R_RIM, "url(#face)"),
        crescent(rgb(c["moon"])),
        capsule(MINUTE_TIP, MINUTE_HALF_WIDTH),
        capsule(HOUR_TIP, HOUR_HALF_WIDTH),
        circle(0, 0, HUB_RADIUS, rgb(c["hands"])),
        '</svg>', ''])


MAIN_LAYOUT = [(16, 8), (24, 8), (32, 8), (48, 8), (64, 8),
               (16, 32), (24, 32), (48, 32), (64, 32),
               (32, 24), (256, "png")]
DESKTOP_SIZES = [16, 22, 24, 32, 48, 64, 128, 256]
TRAY_SIZES = [32, 48, 64]


def main(argv):
    out_dir = argv[1] if len(argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    drawings = {}

    def art(size, scheme):
        if (size, scheme) not in drawings:
            drawings[size, scheme] = draw(size, scheme)
        return drawings[size, scheme]

    main_icon = ico([(art(size, "night"), bits) for size, bits in MAIN_LAYOUT])
    second_icon = ico([(art(16, "ember"), 8)])
    # All but the PNG image's compressed bytes.
    big = len(png(art(256, "night")))
    assert len(main_icon) - big == 48326, len(main_icon) - big
    assert len(second_icon) == 1406, len(second_icon)
    files = [("icon.ico", main_icon), ("icon2.ico", second_icon),
             (os.path.join("hicolor", "scalable.svg"), svg("night").encode())]
    files += [(os.path.join("hicolor", "%d.png" % size), png(art(size, "night")))
              for size in DESKTOP_SIZES]
    files += [("tray-%d.png" % size, png(art(size, "ember"))) for size in TRAY_SIZES]
    os.makedirs(os.path.join(out_dir, "hicolor"), exist_ok=True)
    for name, data in files:
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main(sys.argv)
