#!/usr/bin/env python3
"""Draws the program's two pictures into data/, and its desktop icon.

  title.png  324 x 119, 24-bit RGB: the title picture of the series list
             screen: the name "Velmorant" above six coloured group frames
             with term cards sorted into them and one card on its way.
  icon.png   32 x 32, 16-colour palette: a few cards sorted into two frames.

  packaging/icons/velmorant-<size>.png (16, 22, 32, 48, 64, 128, 256; RGBA) and
  packaging/icons/velmorant.svg: the same picture as smooth shapes, for the
  desktop's icon theme.

Everything is drawn here with the standard library only: a small canvas with
supersampled shapes, a block-letter font defined below, and a PNG writer.
Running the script again gives the same bytes.

Usage: tools/make-images.py [--preview DIR]
  --preview DIR   also write enlarged copies (x3 and x8) into DIR for viewing
"""

import os
import struct
import sys
import zlib

TOOLS_DIR = os.path.dirname(os.path.abspath(__file__))
DATA_DIR = os.path.join(os.path.dirname(TOOLS_DIR), "data")
ICONS_DIR = os.path.join(os.path.dirname(TOOLS_DIR), "packaging", "icons")

# The six group colours of the board: caption / card colour, frame fill
# (None: frame without fill) and frame border, in group order.
GROUPS = [
    ((255, 255, 128), (255, 255, 192), (128, 128, 0)),
    ((128, 255, 128), (192, 255, 192), (0, 64, 0)),
    ((255, 128, 255), (255, 192, 255), (128, 0, 128)),
    ((0, 192, 192), None, (0, 128, 128)),
    ((255, 192, 128), (255, 255, 192), (128, 64, 0)),
    ((192, 192, 255), (224, 224, 255), (128, 0, 128)),
]

# ------------------------------------------------------------------ PNG out

def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def write_png_rgb(path, width, height, pixels):
    """pixels: rows of (r, g, b) tuples."""
    raw = bytearray()
    for row in pixels:
        raw.append(0)  # filter type: none
        for r, g, b in row:
            raw += bytes((r, g, b))
    data = b"\x89PNG\r\n\x1a\n"
    data += png_chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    data += png_chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    data += png_chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(data)


def write_png_palette(path, width, height, indices, palette, alpha=None):
    """4-bit palette image; indices: rows of palette indices (0..15)."""
    assert len(palette) <= 16
    raw = bytearray()
    for row in indices:
        raw.append(0)
        for x in range(0, width, 2):
            hi = row[x]
            lo = row[x + 1] if x + 1 < width else 0
            raw.append((hi << 4) | lo)
    data = b"\x89PNG\r\n\x1a\n"
    data += png_chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 4, 3, 0, 0, 0))
    data += png_chunk(b"PLTE", b"".join(bytes(c) for c in palette))
    if alpha is not None:
        data += png_chunk(b"tRNS", bytes(alpha))
    data += png_chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    data += png_chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(data)


# ------------------------------------------------------------------- canvas

class Canvas:
    """An RGB canvas drawn at SS times the final size and box-filtered down,
    so that rounded corners and edges come out smooth."""

    SS = 4

    def __init__(self, width, height):
        self.width, self.height = width, height
        self.w, self.h = width * self.SS, height * self.SS
        self.px = [[0.0, 0.0, 0.0] for _ in range(self.w * self.h)]

    def _span(self, x0, y0, x1, y1):
        s = self.SS
        return (max(0, int(round(x0 * s))), max(0, int(round(y0 * s))),
                min(self.w, int(round(x1 * s))), min(self.h, int(round(y1 * s))))

    def _blend(self, i, color, alpha):
        p = self.px[i]
        p[0] += (color[0] - p[0]) * alpha
        p[1] += (color[1] - p[1]) * alpha
        p[2] += (color[2] - p[2]) * alpha

    def gradient(self, top, bottom):
        for y in range(self.h):
            t = y / (self.h - 1)
            c = [top[k] + (bottom[k] - top[k]) * t for k in range(3)]
            for x in range(self.w):
                self.px[y * self.w + x] = list(c)

    def rect(self, x0, y0, x1, y1, color, alpha=1.0, radius=0.0, shade=None):
        """Fills a rectangle in final-pixel coordinates (x1, y1 exclusive),
        with rounded corners of the given radius. shade(t) may give the colour
        from the top (t = 0) to the bottom (t = 1) instead of a fixed colour."""
        sx0, sy0, sx1, sy1 = self._span(x0, y0, x1, y1)
        r = radius * self.SS
        for y in range(sy0, sy1):
            c = shade((y - sy0) / max(1, sy1 - sy0 - 1)) if shade else color
            for x in range(sx0, sx1):
                if r > 0:
                    cx = min(max(x + 0.5, sx0 + r), sx1 - r)
                    cy = min(max(y + 0.5, sy0 + r), sy1 - r)
                    dx, dy = x + 0.5 - cx, y + 0.5 - cy
                    if dx * dx + dy * dy > r * r:
                        continue
                self._blend(y * self.w + x, c, alpha)

    def frame(self, x0, y0, x1, y1, width, color, radius=0.0):
        """Outline of a rounded rectangle: the ring between two rounded rects."""
        sx0, sy0, sx1, sy1 = self._span(x0, y0, x1, y1)
        r = radius * self.SS
        inner = width * self.SS
        ri = max(0.0, r - inner)
        for y in range(sy0, sy1):
            for x in range(sx0, sx1):
                px, py = x + 0.5, y + 0.5
                if r > 0:
                    cx = min(max(px, sx0 + r), sx1 - r)
                    cy = min(max(py, sy0 + r), sy1 - r)
                    if (px - cx) ** 2 + (py - cy) ** 2 > r * r:
                        continue
                ix0, iy0, ix1, iy1 = sx0 + inner, sy0 + inner, sx1 - inner, sy1 - inner
                inside = ix0 <= px <= ix1 and iy0 <= py <= iy1
                if inside and ri > 0:
                    cx = min(max(px, ix0 + ri), ix1 - ri)
                    cy = min(max(py, iy0 + ri), iy1 - ri)
                    inside = (px - cx) ** 2 + (py - cy) ** 2 <= ri * ri
                if not inside:
                    self._blend(y * self.w + x, color, 1.0)

    def pixels(self):
        s = self.SS
        out = []
        for y in range(self.height):
            row = []
            for x in range(self.width):
                acc = [0.0, 0.0, 0.0]
                for yy in range(y * s, y * s + s):
                    base = yy * self.w + x * s
                    for p in self.px[base:base + s]:
                        acc[0] += p[0]
                        acc[1] += p[1]
                        acc[2] += p[2]
                n = s * s
                row.append(tuple(max(0, min(255, int(round(v / n)))) for v in acc))
            out.append(row)
        return out


# --------------------------------------------------------------------- font

# Block letters on a grid nine cells high: capitals use rows 0-8, small
# letters rows 3-8 (t reaches up to row 1). '#' is ink.
GLYPHS = {
    "V": [
        "##...##",
        "##...##",
        "##...##",
        "##...##",
        ".##.##.",
        ".##.##.",
        ".##.##.",
        "..###..",
        "...#...",
    ],
    "e": [
        ".####.",
        "##..##",
        "######",
        "##....",
        "##..##",
        ".####.",
    ],
    "l": [
        "##",
        "##",
        "##",
        "##",
        "##",
        "##",
        "##",
        "##",
        "##",
    ],
    "m": [
        "#######.",
        "##.##.##",
        "##.##.##",
        "##.##.##",
        "##.##.##",
        "##.##.##",
    ],
    "o": [
        ".####.",
        "##..##",
        "##..##",
        "##..##",
        "##..##",
        ".####.",
    ],
    "r": [
        "##.###",
        "####..",
        "##....",
        "##....",
        "##....",
        "##....",
    ],
    "a": [
        ".####.",
        "....##",
        ".#####",
        "##..##",
        "##..##",
        ".#####",
    ],
    "n": [
        "#####.",
        "##..##",
        "##..##",
        "##..##",
        "##..##",
        "##..##",
    ],
    "t": [
        ".##..",
        ".##..",
        "#####",
        ".##..",
        ".##..",
        ".##..",
        ".##..",
        "..###",
    ],
}
GLYPH_ROWS = 9


def glyph_cells(text):
    """Ink cells (column, row) of a text, one blank column between letters."""
    cells = []
    col = 0
    for ch in text:
        rows = GLYPHS[ch]
        top = GLYPH_ROWS - len(rows)
        for r, line in enumerate(rows):
            for c, mark in enumerate(line):
                if mark == "#":
                    cells.append((col + c, top + r))
        col += len(rows[0]) + 1
    return cells, col - 1


def draw_text(canvas, text, left, top, cell, fill_top, fill_bottom):
    cells, columns = glyph_cells(text)
    height = GLYPH_ROWS * cell

    def at(c, r):
        return left + c * cell, top + r * cell

    # Soft shadow, a little down and to the right.
    for c, r in cells:
        x, y = at(c, r)
        canvas.rect(x + 2.0, y + 2.5, x + cell + 2.0, y + cell + 2.5, (20, 40, 90), 0.22)
    # White outline: every cell grown on all sides.
    grow = 1.6
    for c, r in cells:
        x, y = at(c, r)
        canvas.rect(x - grow, y - grow, x + cell + grow, y + cell + grow, (255, 255, 255))
    # Ink, shaded from top to bottom over the whole line of text.
    for c, r in cells:
        x, y = at(c, r)
        t0 = (y - top) / height
        t1 = (y + cell - top) / height

        def shade(t, t0=t0, t1=t1):
            u = t0 + (t1 - t0) * t
            return tuple(fill_top[k] + (fill_bottom[k] - fill_top[k]) * u for k in range(3))
        canvas.rect(x, y, x + cell, y + cell, None, shade=shade)
    return columns * cell


# -------------------------------------------------------------------- title

def card(canvas, x, y, w, h, color, alpha=1.0):
    """A term card: a small rounded label in a group colour with a text line."""
    canvas.rect(x, y, x + w, y + h, (90, 90, 90), alpha, radius=1.6)
    canvas.rect(x + 0.8, y + 0.8, x + w - 0.8, y + h - 0.8, color, alpha, radius=1.1)
    canvas.rect(x + 3, y + h / 2 - 0.7, x + w * 0.62, y + h / 2 + 0.7, (70, 70, 70), 0.55 * alpha)


def cursor(canvas, x, y, scale=1.0):
    """A mouse pointer with its tip at (x, y)."""
    shape = [
        "#..........",
        "##.........",
        "#o#........",
        "#oo#.......",
        "#ooo#......",
        "#oooo#.....",
        "#ooooo#....",
        "#oooooo#...",
        "#ooooooo#..",
        "#oooo#####.",
        "#o##o#.....",
        "##..#o#....",
        "#...#o#....",
        ".....#o#...",
        ".....#o#...",
        "......##...",
    ]
    s = scale
    for r, line in enumerate(shape):
        for c, m in enumerate(line):
            if m == "#":
                canvas.rect(x + c * s, y + r * s, x + (c + 1) * s, y + (r + 1) * s, (20, 20, 30))
            elif m == "o":
                canvas.rect(x + c * s, y + r * s, x + (c + 1) * s, y + (r + 1) * s, (255, 255, 255))


def make_title(path):
    W, H = 324, 119
    cv = Canvas(W, H)
    cv.gradient((226, 244, 255), (255, 251, 238))

    # A soft light band behind the name.
    cv.rect(-10, 6, W + 10, 50, (255, 255, 255), 0.35, radius=20)

    # The name.
    cell = 4
    _, columns = glyph_cells("Velmorant")
    text_w = columns * cell
    draw_text(cv, "Velmorant", (W - text_w) / 2, 9, cell, (40, 96, 200), (22, 44, 120))

    # Six group frames with their caption tabs and sorted cards.
    frame_w, gap = 46, 6
    left = (W - (6 * frame_w + 5 * gap)) / 2
    top, bottom = 66, 113
    counts = [3, 2, 3, 2, 1, 3]
    for g, (label, fill, border) in enumerate(GROUPS):
        x0 = left + g * (frame_w + gap)
        x1 = x0 + frame_w
        cv.rect(x0 + 1.5, top + 2, x1 + 1.5, bottom + 2, (40, 60, 90), 0.12, radius=3)
        if fill is not None:
            cv.rect(x0, top, x1, bottom, fill, radius=3)
        cv.frame(x0, top, x1, bottom, 1.6, border, radius=3)
        # caption tab overlapping the top edge
        tx0, tx1 = x0 + 11, x1 - 11
        cv.rect(tx0, top - 5, tx1, top + 4, (60, 60, 60), radius=1.5)
        cv.rect(tx0 + 0.8, top - 4.2, tx1 - 0.8, top + 3.2, label, radius=1)
        for k in range(counts[g]):
            cy = top + 8 + k * 11
            card(cv, x0 + 5, cy, frame_w - 10, 8, label)

    # One card on its way into the fifth frame's next free slot, with the
    # pointer still holding it.
    g = 4
    x0 = left + g * (frame_w + gap)
    cx, cy = x0 + 10, top + 21
    cv.rect(cx + 2, cy + 3, cx + 38, cy + 11, (30, 40, 70), 0.20, radius=2)
    cv.rect(cx - 1, cy - 1, cx + 36, cy + 9, (30, 30, 30), radius=2)
    cv.rect(cx, cy, cx + 35, cy + 8, (236, 233, 216), radius=1.5)
    cv.rect(cx + 3, cy + 3.3, cx + 22, cy + 4.7, (70, 70, 70), 0.55)
    cursor(cv, cx + 25, cy + 4, 0.75)

    # A faint rule under the name.
    cv.rect(40, 53.5, W - 40, 54.3, (120, 160, 210), 0.45)

    pixels = cv.pixels()
    write_png_rgb(path, W, H, pixels)
    return pixels


# --------------------------------------------------------------------- icon

ICON_PALETTE = [
    (0, 0, 0),          # 0 transparent
    (20, 20, 30),       # 1 outline
    (255, 255, 255),    # 2 white
    (128, 128, 128),    # 3 grey
    (192, 255, 255),    # 4 window background
    (0, 128, 128),      # 5 teal border
    (255, 255, 128),    # 6 yellow card
    (255, 255, 192),    # 7 yellow frame fill
    (128, 128, 0),      # 8 olive frame border
    (128, 255, 128),    # 9 green card
    (192, 255, 192),    # 10 green frame fill
    (0, 100, 0),        # 11 green frame border
    (255, 128, 255),    # 12 magenta card
    (128, 0, 128),      # 13 purple
    (30, 60, 150),      # 14 navy
    (224, 224, 224),    # 15 light grey
]


def make_icon(path):
    N = 32
    img = [[0] * N for _ in range(N)]

    def fill(x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                img[y][x] = c

    def box(x0, y0, x1, y1, border, inside):
        fill(x0, y0, x1, y1, border)
        if inside is not None:
            fill(x0 + 1, y0 + 1, x1 - 1, y1 - 1, inside)

    # Tile: rounded square in the window colour with a teal edge.
    box(0, 0, 31, 31, 5, 4)
    for (x, y) in [(0, 0), (31, 0), (0, 31), (31, 31)]:
        img[y][x] = 0
    for (x, y) in [(1, 1), (30, 1), (1, 30), (30, 30)]:
        img[y][x] = 5

    # Two frames.
    box(2, 13, 15, 29, 8, 7)
    box(16, 13, 29, 29, 11, 10)
    # Caption tabs.
    box(5, 11, 12, 14, 1, 6)
    box(19, 11, 26, 14, 1, 9)

    def card(x, y, colour):
        box(x, y, x + 9, y + 4, 1, colour)
        fill(x + 2, y + 2, x + 5, y + 2, 3)

    card(4, 17, 6)
    card(4, 23, 6)
    card(18, 17, 9)
    card(18, 23, 9)

    # A card on its way, above the frames, held by the pointer.
    box(9, 3, 20, 8, 1, 12)
    fill(11, 5, 16, 5, 13)
    pointer = [
        "1.....",
        "11....",
        "121...",
        "1221..",
        "12221.",
        "1211..",
        "11.1..",
    ]
    for r, line in enumerate(pointer):
        for c, m in enumerate(line):
            if m != ".":
                img[4 + r][18 + c] = int(m)

    alpha = [0] + [255] * (len(ICON_PALETTE) - 1)
    write_png_palette(path, N, N, img, ICON_PALETTE, alpha)
    return [[ICON_PALETTE[i] for i in row] for row in img]


# ------------------------------------------------------------ desktop icon

# The icon's shapes on a 32 x 32 grid, back to front: ("rect", x0, y0, x1,
# y1, radius, colour) or ("poly", points, colour). Each frame and card is an
# outer shape in its border colour with its fill drawn inside.
def app_icon_shapes():
    outline = (20, 20, 30)
    shapes = [
        ("rect", 0.5, 0.5, 31.5, 31.5, 5.0, (0, 128, 128)),
        ("rect", 1.7, 1.7, 30.3, 30.3, 4.0, (192, 255, 255)),
    ]

    def boxed(x0, y0, x1, y1, radius, border, width, inside):
        shapes.append(("rect", x0, y0, x1, y1, radius, border))
        shapes.append(("rect", x0 + width, y0 + width, x1 - width, y1 - width,
                       max(0.0, radius - width), inside))

    # Two frames with their caption tabs.
    boxed(3, 13, 16, 29.5, 1.5, (128, 128, 0), 1.0, (255, 255, 192))
    boxed(16.5, 13, 29.5, 29.5, 1.5, (0, 100, 0), 1.0, (192, 255, 192))
    boxed(5.5, 11, 13.5, 15, 1.0, outline, 0.8, (255, 255, 128))
    boxed(19, 11, 27, 15, 1.0, outline, 0.8, (128, 255, 128))

    def card(x, y, colour):
        boxed(x, y, x + 9.5, y + 4.5, 1.0, outline, 0.7, colour)
        shapes.append(("rect", x + 2, y + 2, x + 6, y + 2.8, 0.0, (110, 110, 110)))

    card(4.7, 17, (255, 255, 128))
    card(4.7, 23, (255, 255, 128))
    card(18.2, 17, (128, 255, 128))
    card(18.2, 23, (128, 255, 128))

    # A card on its way into a frame, held by the pointer.
    boxed(8.5, 3, 21, 9, 1.2, outline, 0.8, (255, 128, 255))
    shapes.append(("rect", 10.8, 5.6, 16.5, 6.5, 0.0, (128, 0, 128)))
    tip = (17.5, 4.5)
    arrow = [(0, 0), (0, 8.5), (2.1, 6.6), (3.6, 9.8), (5.0, 9.2), (3.5, 6.0), (6.2, 6.0)]
    shapes.append(("poly", [(tip[0] + x, tip[1] + y) for x, y in arrow], outline))
    inner = [(0.8, 1.9), (0.8, 6.6), (2.4, 5.2), (3.9, 8.6), (4.1, 8.5), (2.6, 5.3), (4.4, 5.3)]
    shapes.append(("poly", [(tip[0] + x, tip[1] + y) for x, y in inner], (255, 255, 255)))
    return shapes


def inside_rounded(px, py, x0, y0, x1, y1, r):
    if not (x0 <= px < x1 and y0 <= py < y1):
        return False
    if r <= 0:
        return True
    cx = min(max(px, x0 + r), x1 - r)
    cy = min(max(py, y0 + r), y1 - r)
    return (px - cx) ** 2 + (py - cy) ** 2 <= r * r


def inside_polygon(px, py, points):
    inside = False
    n = len(points)
    for i in range(n):
        (xa, ya), (xb, yb) = points[i], points[(i + 1) % n]
        if (ya > py) != (yb > py) and px < xa + (py - ya) * (xb - xa) / (yb - ya):
            inside = not inside
    return inside


def render_app_icon(size):
    """RGBA rows of the icon at size x size, supersampled 4 x 4 per pixel."""
    ss = 4
    n = size * ss
    unit = n / 32.0
    rgb = [[0.0, 0.0, 0.0] for _ in range(n * n)]
    alpha = [0.0] * (n * n)
    for shape in app_icon_shapes():
        if shape[0] == "rect":
            _, x0, y0, x1, y1, r, colour = shape

            def hit(px, py, x0=x0, y0=y0, x1=x1, y1=y1, r=r):
                return inside_rounded(px, py, x0, y0, x1, y1, r)
            box = (x0, y0, x1, y1)
        else:
            _, points, colour = shape

            def hit(px, py, points=points):
                return inside_polygon(px, py, points)
            box = (min(p[0] for p in points), min(p[1] for p in points),
                   max(p[0] for p in points), max(p[1] for p in points))
        sx0, sy0 = max(0, int(box[0] * unit)), max(0, int(box[1] * unit))
        sx1, sy1 = min(n, int(box[2] * unit) + 1), min(n, int(box[3] * unit) + 1)
        for y in range(sy0, sy1):
            py = (y + 0.5) / unit
            for x in range(sx0, sx1):
                if hit((x + 0.5) / unit, py):
                    rgb[y * n + x] = list(colour)
                    alpha[y * n + x] = 1.0
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for yy in range(y * ss, y * ss + ss):
                for xx in range(x * ss, x * ss + ss):
                    a = alpha[yy * n + xx]
                    c = rgb[yy * n + xx]
                    acc[0] += c[0] * a
                    acc[1] += c[1] * a
                    acc[2] += c[2] * a
                    acc[3] += a
            if acc[3] == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(int(round(v / acc[3])) for v in acc[:3])
                           + (int(round(255 * acc[3] / (ss * ss))),))
        rows.append(row)
    return rows


def write_png_rgba(path, width, height, pixels):
    """pixels: rows of (r, g, b, a) tuples."""
    raw = bytearray()
    for row in pixels:
        raw.append(0)
        for p in row:
            raw += bytes(p)
    data = b"\x89PNG\r\n\x1a\n"
    data += png_chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    data += png_chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    data += png_chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(data)


def write_app_icon_svg(path):
    def fmt(v):
        return ("%.2f" % v).rstrip("0").rstrip(".")

    def colour(c):
        return "#%02x%02x%02x" % c
    out = ['<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" viewBox="0 0 32 32">']
    for shape in app_icon_shapes():
        if shape[0] == "rect":
            _, x0, y0, x1, y1, r, c = shape
            out.append('  <rect x="%s" y="%s" width="%s" height="%s" rx="%s" fill="%s"/>'
                       % (fmt(x0), fmt(y0), fmt(x1 - x0), fmt(y1 - y0), fmt(r), colour(c)))
        else:
            _, points, c = shape
            out.append('  <polygon points="%s" fill="%s"/>'
                       % (" ".join(fmt(x) + "," + fmt(y) for x, y in points), colour(c)))
    out.append("</svg>")
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(out) + "\n")


APP_ICON_SIZES = (16, 22, 32, 48, 64, 128, 256)


def make_app_icons():
    os.makedirs(ICONS_DIR, exist_ok=True)
    made = {}
    for size in APP_ICON_SIZES:
        pixels = render_app_icon(size)
        write_png_rgba(os.path.join(ICONS_DIR, f"velmorant-{size}.png"), size, size, pixels)
        made[size] = pixels
    write_app_icon_svg(os.path.join(ICONS_DIR, "velmorant.svg"))
    print("packaging/icons/: velmorant-{%s}.png, velmorant.svg"
          % ",".join(str(s) for s in APP_ICON_SIZES))
    return made


def enlarge(pixels, factor):
    return [[p for p in row for _ in range(factor)] for row in pixels for _ in range(factor)]


def main(argv):
    preview = None
    if len(argv) == 3 and argv[1] == "--preview":
        preview = argv[2]
    elif len(argv) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    os.makedirs(DATA_DIR, exist_ok=True)
    title = make_title(os.path.join(DATA_DIR, "title.png"))
    print("data/title.png: 324 x 119, RGB")
    icon = make_icon(os.path.join(DATA_DIR, "icon.png"))
    print("data/icon.png: 32 x 32, 16 colours")
    app_icons = make_app_icons()
    if preview:
        os.makedirs(preview, exist_ok=True)
        big = enlarge(title, 3)
        write_png_rgb(os.path.join(preview, "title-x3.png"), len(big[0]), len(big), big)
        big = enlarge(icon, 8)
        write_png_rgb(os.path.join(preview, "icon-x8.png"), len(big[0]), len(big), big)
        for size in (16, 48, 256):
            flat = [[tuple(int(round(p[k] * p[3] / 255 + 255 * (1 - p[3] / 255))) for k in range(3))
                     for p in row] for row in app_icons[size]]
            big = enlarge(flat, max(1, 256 // size))
            write_png_rgb(os.path.join(preview, f"app-icon-{size}.png"), len(big[0]), len(big), big)
        print(f"previews in {preview}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
