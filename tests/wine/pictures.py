"""A run's picture as the program writes it: a PNG beside the protocol file,
read here with zlib alone, and the few things a parent looks for in it."""

import struct
import zlib

FRAME = (128, 128, 128)
THRESHOLD = (0, 0, 255)
ALARM_CALL = (255, 0, 0)
FAILED_CALL = (0, 0, 0)


def read_png(path):
    """(width, height, rows) of an 8-bit RGB or RGBA PNG without interlace;
    rows[y][x] is an (r, g, b) tuple."""
    data = path.read_bytes()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG: %s" % path
    at, idat, header = 8, b"", None
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    width, height, depth, color, _, _, interlace = header
    assert depth == 8 and color in (2, 6) and interlace == 0, header
    bpp = 3 if color == 2 else 4
    raw, stride = zlib.decompress(idat), width * bpp
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b, c = previous[i], previous[i - bpp] if i >= bpp else 0
            p = a + b - c
            pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
            predictor = (0, a, b, (a + b) // 2, a if pa <= pb and pa <= pc else (b if pb <= pc else c))[kind]
            line[i] = (line[i] + predictor) & 0xFF
        rows.append([tuple(line[x * bpp:x * bpp + 3]) for x in range(width)])
        previous = line
    return width, height, rows


class RunPicture:
    """The plot inside its grey frame, the threshold line and the marks."""

    def __init__(self, path):
        self.width, self.height, self.rows = read_png(path)
        framed = [y for y, row in enumerate(self.rows) if row.count(FRAME) > self.width // 2]
        assert framed, "no frame around the plot"
        top, bottom = min(framed), max(framed)
        middle = self.rows[(top + bottom) // 2]
        sides = [x for x in range(self.width) if middle[x] == FRAME
                 and sum(self.rows[y][x] == FRAME for y in range(top, bottom + 1)) > (bottom - top) // 2]
        self.left, self.top = min(sides) + 1, top + 1
        self.plot_width, self.plot_height = max(sides) - self.left, bottom - self.top

    def pixel(self, column, row):
        return self.rows[self.top + row][self.left + column]

    def threshold_row(self):
        """The plot's row that holds most of the threshold line."""
        counts = [sum(self.pixel(c, r) == THRESHOLD for c in range(self.plot_width))
                  for r in range(self.plot_height)]
        return counts.index(max(counts))

    def row_of(self, points):
        """Where the plot puts a level of `points` (0..100)."""
        h = self.plot_height
        return (h - 1) - int(round(points * 10)) * (h - 1) // 1000

    def marks(self, color):
        """The first plot column of each mark of `color` (a line the plot's height)."""
        full = [c for c in range(self.plot_width)
                if sum(self.pixel(c, r) == color for r in range(self.plot_height)) == self.plot_height]
        return [c for c in full if c - 1 not in full]

    def column_of(self, line, lines):
        """The column where the protocol's line `line` (0-based) of `lines` begins."""
        return line * self.plot_width // lines
