#!/usr/bin/env python3
"""Writes the program's bitmaps and its icon into this folder.

The output is deterministic: running the script again gives the same bytes.
The build uses the files written here, not the script.

    indicator_on.bmp   bitmap 167  lit segment of the activity indicator
    indicator_off.bmp  bitmap 168  unlit segment
    flag_de.bmp        bitmap 161  German flag
    flag_uk.bmp        bitmap 162  flag of the United Kingdom
    banner.bmp         bitmap 169  maker's banner
    cribwatch.ico      icon 107    16x16 and 32x32, 16 and 256 colours

Python 3 standard library only.
"""

import math
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))

BLACK = (0, 0, 0)
WHITE = (255, 255, 255)


# ---------------------------------------------------------------------------
# File writers


def bmp24(width, height, pixel):
    """A 24-bit bottom-up BMP; pixel(x, y) gives (r, g, b) with y = 0 at the top."""
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += bytes(stride - len(row))
        rows.append(bytes(row))
    bits = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(bits),
                       2835, 2835, 0, 0)
    offset = 14 + len(info)
    head = struct.pack("<2sIHHI", b"BM", offset + len(bits), 0, 0, offset)
    return head + info + bits


def ico_image(size, bpp, palette, index, opaque):
    """One icon image: BITMAPINFOHEADER (double height), palette, XOR bits, AND mask.

    index(x, y) gives the palette index, opaque(x, y) whether the pixel is part
    of the picture (AND bit 0) or transparent (AND bit 1, XOR index 0).
    """
    colours = 1 << bpp
    pal = list(palette) + [BLACK] * (colours - len(palette))
    assert len(pal) == colours
    xor_stride = ((size * bpp + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for y in range(size - 1, -1, -1):
        row = bytearray(xor_stride)
        mrow = bytearray(and_stride)
        for x in range(size):
            inside = opaque(x, y)
            v = index(x, y) if inside else 0
            assert 0 <= v < colours
            if bpp == 8:
                row[x] = v
            else:  # 4 bits, high nibble first
                row[x // 2] |= v << (4 if x % 2 == 0 else 0)
            if not inside:
                mrow[x // 8] |= 0x80 >> (x % 8)
        xor += row
        mask += mrow
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    pal_bytes = b"".join(bytes((b, g, r, 0)) for (r, g, b) in pal)
    return header + pal_bytes + bytes(xor) + bytes(mask)


def ico_file(images):
    """images: list of (size, bpp, data)."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, bpp, data in images:
        colour_count = (1 << bpp) if bpp < 8 else 0
        entries += struct.pack("<BBBBHHII", size, size, colour_count, 0, 1, bpp,
                               len(data), offset)
        offset += len(data)
    return out + entries + b"".join(d for _, _, d in images)


# ---------------------------------------------------------------------------
# Indicator segments: 14 x 6, black frame around a 12 x 4 field whose colour
# changes by column.


def indicator(column_colour):
    def pixel(x, y):
        if x == 0 or y == 0 or x == 13 or y == 5:
            return BLACK
        return column_colour(x - 1)
    return bmp24(14, 6, pixel)


def indicator_on():
    return indicator(lambda k: (255, 16 * k, 16 * k))


def indicator_off():
    return indicator(lambda k: (4 * k, 4 * k, 4 * k))


# ---------------------------------------------------------------------------
# Flags, 16 x 12


def flag_de():
    stripes = [(0, 0, 0), (221, 0, 0), (255, 206, 0)]
    return bmp24(16, 12, lambda x, y: stripes[y // 4])


def flag_uk():
    blue = (1, 33, 105)
    red = (200, 16, 46)
    w, h = 16, 12

    def pixel(x, y):
        cx, cy = x + 0.5, y + 0.5
        # St George's cross: red centre two pixels wide, white one pixel each side.
        dx = abs(cx - w / 2)
        dy = abs(cy - h / 2)
        if dx < 1 or dy < 1:
            return red
        if dx < 2 or dy < 2:
            return WHITE
        # Saltires along the two diagonals, drawn row by row: the pixels whose
        # centres the diagonal passes in this row are red, one pixel on each
        # side of that run white.
        x0, x1 = y * w / h, (y + 1) * w / h
        for mx in (x, w - 1 - x):                # the diagonal and its mirror
            if x0 <= mx + 0.5 < x1:
                return red
            if x0 - 1 <= mx + 0.5 < x1 + 1:
                return WHITE
        return blue
    return bmp24(w, h, pixel)


# ---------------------------------------------------------------------------
# Banner, 128 x 27: the maker's name in white on a blue ground that darkens
# towards the bottom.

FONT = {  # 5 x 7 glyphs, '#' = ink
    "K": ["#...#",
          "#..#.",
          "#.#..",
          "##...",
          "#.#..",
          "#..#.",
          "#...#"],
    "e": [".....",
          ".....",
          ".###.",
          "#...#",
          "#####",
          "#....",
          ".###."],
    "s": [".....",
          ".....",
          ".####",
          "#....",
          ".###.",
          "....#",
          "####."],
    "t": [".#...",
          ".#...",
          "####.",
          ".#...",
          ".#...",
          ".#..#",
          "..##."],
    "r": [".....",
          ".....",
          "#.##.",
          "##..#",
          "#....",
          "#....",
          "#...."],
    "l": [".##..",
          "..#..",
          "..#..",
          "..#..",
          "..#..",
          "..#..",
          ".###."],
    "o": [".....",
          ".....",
          ".###.",
          "#...#",
          "#...#",
          "#...#",
          ".###."],
    "n": [".....",
          ".....",
          "#.##.",
          "##..#",
          "#...#",
          "#...#",
          "#...#"],
}


def text_mask(text, scale):
    """Set of (x, y) ink pixels of text, one blank column between glyphs."""
    ink = set()
    x0 = 0
    for ch in text:
        glyph = FONT[ch]
        for gy, line in enumerate(glyph):
            for gx, c in enumerate(line):
                if c == "#":
                    for sy in range(scale):
                        for sx in range(scale):
                            ink.add(((x0 + gx) * scale + sx, gy * scale + sy))
        x0 += len(glyph[0]) + 1
    width = (x0 - 1) * scale
    height = 7 * scale
    return ink, width, height


def banner():
    w, h = 128, 27
    top, bottom = (60, 110, 220), (8, 24, 96)
    ink, tw, th = text_mask("Kestrelon", 2)
    ox, oy = (w - tw) // 2, (h - th) // 2
    letters = {(x + ox, y + oy) for (x, y) in ink}
    shadow = {(x + 1, y + 1) for (x, y) in letters}

    def pixel(x, y):
        if (x, y) in letters:
            return WHITE
        t = y / (h - 1)
        r, g, b = (round(a + (c - a) * t) for a, c in zip(top, bottom))
        if (x, y) in shadow:
            r, g, b = r // 2, g // 2, b // 2
        return (r, g, b)
    return bmp24(w, h, pixel)


# ---------------------------------------------------------------------------
# Icon: a crescent moon over a sound wave on a round night-blue ground.
# Drawn on a 32-unit canvas and sampled at 16 or 32 pixels.

VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
NAVY, YELLOW, LIME, WHITE_I, GREY, BLACK_I = 4, 11, 10, 15, 8, 0


def wave_height(u):
    """Half height of the wave bar at canvas x u (0..32)."""
    return [1.5, 3, 5, 7.5, 5, 9, 6, 3.5, 6, 8, 4, 2.5, 1.5][min(12, max(0, int((u - 3) / 2)))]


def icon_shape(u, v):
    """What lies at canvas point (u, v): 'out', 'rim', 'moon', 'wave' or 'sky'."""
    r = math.hypot(u - 16, v - 16)
    if r > 15.5:
        return "out"
    if r > 14.3:
        return "rim"
    # crescent: disc minus an offset disc
    if math.hypot(u - 12, v - 10) < 6 and math.hypot(u - 15, v - 8) >= 5:
        return "moon"
    # sound wave: vertical bars along a line at v = 22
    if 5 <= u < 29:
        col = int(u - 5) // 2
        if (int(u - 5) % 2 == 0) and abs(v - 22) <= wave_height(5 + col * 2) * 0.6:
            return "wave"
    return "sky"


def icon_images():
    images = []
    for size in (32, 16):
        scale = 32 / size

        def shape_at(x, y):
            # Sample the pixel's centre; at 16 px also look at the four
            # quarter points, and draw the wave in whole pixels (one-pixel
            # bars with one-pixel gaps) so that its bars stay apart.
            u, v = (x + 0.5) * scale, (y + 0.5) * scale
            kind = icon_shape(u, v)
            if size == 32 or kind in ("out", "moon"):
                return kind
            if kind == "wave" or kind == "sky":
                if 3 <= x <= 13 and x % 2 == 1:
                    half = max(0.6, wave_height(x * 2) * 0.3)  # in pixels
                    if abs(y + 0.5 - 10.5) <= half:
                        return "wave"
                if kind == "wave":
                    kind = "sky"
            quarter = [icon_shape((x + fx) * scale, (y + fy) * scale)
                       for fx in (0.25, 0.75) for fy in (0.25, 0.75)]
            if quarter.count("moon") >= 2:
                return "moon"
            if "rim" in quarter:
                return "rim"
            return kind

        # 16 colours: the standard VGA palette, flat fills.
        idx16 = {"rim": BLACK_I, "moon": YELLOW, "wave": LIME, "sky": NAVY}
        images.append((size, 4, ico_image(
            size, 4, VGA16,
            lambda x, y: idx16[shape_at(x, y)],
            lambda x, y: shape_at(x, y) != "out")))

        # 256 colours: VGA first, then a blue ramp for the sky so that it
        # lightens towards the top, and softer moon and wave colours.
        ramp = [(10 + 3 * i, 30 + 4 * i, 90 + 7 * i) for i in range(16)]
        palette = VGA16 + ramp + [(255, 226, 90), (120, 230, 120), (30, 30, 60)]
        moon8, wave8, rim8 = 32, 33, 34

        def idx256(x, y):
            kind = shape_at(x, y)
            if kind == "moon":
                return moon8
            if kind == "wave":
                return wave8
            if kind == "rim":
                return rim8
            t = 1 - y / (size - 1)          # 1 at the top, 0 at the bottom
            return 16 + min(15, int(t * 15.99))
        images.append((size, 8, ico_image(
            size, 8, palette, idx256,
            lambda x, y: shape_at(x, y) != "out")))
    return images


# ---------------------------------------------------------------------------


def main(argv):
    out = argv[1] if len(argv) > 1 else HERE
    files = {
        "indicator_on.bmp": indicator_on(),
        "indicator_off.bmp": indicator_off(),
        "flag_de.bmp": flag_de(),
        "flag_uk.bmp": flag_uk(),
        "banner.bmp": banner(),
        "cribwatch.ico": ico_file(icon_images()),
    }
    for name, data in files.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
