#!/usr/bin/env python3
"""Draws Larkspool's artwork into OUTDIR: the program icon, the two list images, the five button glyphs
and the logo, as .ico and .bmp files for the resource script. Everything is drawn here from shapes and
a small pixel font, so the build needs nothing but Python.

usage: gen-artwork.py OUTDIR
"""
import os
import struct
import sys

TRANSPARENT = (0, 0, 0, 0)


class Canvas:
    def __init__(self, width, height, fill=TRANSPARENT):
        self.width, self.height = width, height
        self.pixels = [[fill] * width for _ in range(height)]

    def set(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour if len(colour) == 4 else colour + (255,)

    def rect(self, x0, y0, x1, y1, colour):
        """Fills the rectangle with corners (x0, y0) and (x1, y1), both included."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.set(x, y, colour)

    def frame(self, x0, y0, x1, y1, colour):
        for x in range(x0, x1 + 1):
            self.set(x, y0, colour)
            self.set(x, y1, colour)
        for y in range(y0, y1 + 1):
            self.set(x0, y, colour)
            self.set(x1, y, colour)

    def polygon(self, points, colour):
        """Fills a polygon by testing each pixel centre (even-odd rule)."""
        for y in range(self.height):
            for x in range(self.width):
                px, py = x + 0.5, y + 0.5
                inside = False
                for i in range(len(points)):
                    (ax, ay), (bx, by) = points[i], points[i - 1]
                    if (ay > py) != (by > py) and px < ax + (py - ay) * (bx - ax) / (by - ay):
                        inside = not inside
                if inside:
                    self.set(x, y, colour)

    def disc(self, cx, cy, radius, colour):
        for y in range(self.height):
            for x in range(self.width):
                if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= radius ** 2:
                    self.set(x, y, colour)

    def text(self, x, y, text, colour, scale=1):
        for char in text:
            rows = FONT[char]
            for row, bits in enumerate(rows):
                for column, bit in enumerate(bits):
                    if bit == '#':
                        self.rect(x + column * scale, y + row * scale,
                                  x + column * scale + scale - 1, y + row * scale + scale - 1, colour)
            x += (len(rows[0]) + 1) * scale
        return x


# A 5 x 7 pixel font for the few characters the artwork writes.
FONT = {
    ' ': ['...'] * 7,
    '.': ['.', '.', '.', '.', '.', '.', '#'],
    '?': ['.###.', '#...#', '....#', '...#.', '..#..', '.....', '..#..'],
    '0': ['.###.', '#...#', '#..##', '#.#.#', '##..#', '#...#', '.###.'],
    '1': ['..#..', '.##..', '..#..', '..#..', '..#..', '..#..', '.###.'],
    'F': ['#####', '#....', '#....', '####.', '#....', '#....', '#....'],
    'L': ['#....', '#....', '#....', '#....', '#....', '#....', '#####'],
    'T': ['#####', '..#..', '..#..', '..#..', '..#..', '..#..', '..#..'],
    'a': ['.....', '.....', '.###.', '....#', '.####', '#...#', '.####'],
    'b': ['#....', '#....', '####.', '#...#', '#...#', '#...#', '####.'],
    'e': ['.....', '.....', '.###.', '#...#', '#####', '#....', '.###.'],
    'i': ['.#.', '...', '##.', '.#.', '.#.', '.#.', '###'],
    'k': ['#....', '#....', '#..#.', '#.#..', '##...', '#.#..', '#..#.'],
    'l': ['##.', '.#.', '.#.', '.#.', '.#.', '.#.', '###'],
    'o': ['.....', '.....', '.###.', '#...#', '#...#', '#...#', '.###.'],
    'p': ['.....', '.....', '####.', '#...#', '####.', '#....', '#....'],
    'r': ['.....', '.....', '#.##.', '##..#', '#....', '#....', '#....'],
    's': ['.....', '.....', '.####', '#....', '.###.', '....#', '####.'],
    'v': ['.....', '.....', '#...#', '#...#', '#...#', '.#.#.', '..#..'],
    'w': ['.....', '.....', '#...#', '#...#', '#.#.#', '#.#.#', '.#.#.'],
    'y': ['.....', '.....', '#...#', '#...#', '.####', '....#', '.###.'],
}

OUTLINE = (60, 60, 60)
FOLDER_YELLOW = (250, 210, 80)
FOLDER_DARK = (200, 150, 30)
PAGE_WHITE = (255, 255, 255)
PAGE_LINES = (150, 160, 190)
VIOLET = (120, 70, 170)
VIOLET_LIGHT = (175, 130, 220)
GREEN = (40, 150, 60)
BLUE = (40, 90, 190)


def folder(canvas, x, y, size, open_=False):
    s = size / 16.0
    canvas.polygon([(x + 1 * s, y + 3 * s), (x + 6 * s, y + 3 * s), (x + 7 * s, y + 4.5 * s),
                    (x + 15 * s, y + 4.5 * s), (x + 15 * s, y + 14 * s), (x + 1 * s, y + 14 * s)], OUTLINE)
    canvas.polygon([(x + 2 * s, y + 4 * s), (x + 5.5 * s, y + 4 * s), (x + 6.5 * s, y + 5.5 * s),
                    (x + 14 * s, y + 5.5 * s), (x + 14 * s, y + 13 * s), (x + 2 * s, y + 13 * s)], FOLDER_DARK)
    if open_:
        canvas.polygon([(x + 4 * s, y + 7 * s), (x + 16 * s, y + 7 * s), (x + 13.5 * s, y + 14 * s),
                        (x + 1 * s, y + 14 * s)], OUTLINE)
        canvas.polygon([(x + 4.7 * s, y + 8 * s), (x + 14.8 * s, y + 8 * s), (x + 12.8 * s, y + 13 * s),
                        (x + 2.4 * s, y + 13 * s)], FOLDER_YELLOW)
    else:
        canvas.polygon([(x + 2 * s, y + 7 * s), (x + 14 * s, y + 7 * s), (x + 14 * s, y + 13 * s),
                        (x + 2 * s, y + 13 * s)], FOLDER_YELLOW)


def page(canvas, x, y, size):
    s = size / 16.0
    canvas.polygon([(x + 3 * s, y + 1 * s), (x + 10 * s, y + 1 * s), (x + 14 * s, y + 5 * s),
                    (x + 14 * s, y + 15 * s), (x + 3 * s, y + 15 * s)], OUTLINE)
    canvas.polygon([(x + 4 * s, y + 2 * s), (x + 9.5 * s, y + 2 * s), (x + 13 * s, y + 5.5 * s),
                    (x + 13 * s, y + 14 * s), (x + 4 * s, y + 14 * s)], PAGE_WHITE)
    canvas.polygon([(x + 9.5 * s, y + 2 * s), (x + 13 * s, y + 5.5 * s), (x + 9.5 * s, y + 5.5 * s)], PAGE_LINES)
    for row in (7, 9, 11):
        canvas.rect(int(x + 5 * s), int(y + row * s), int(x + 12 * s) - 1, int(y + row * s + max(1, s / 2)) - 1,
                    PAGE_LINES)


def plus(canvas, cx, cy, arm, thickness, colour):
    canvas.rect(cx - arm, cy - thickness // 2, cx + arm, cy + (thickness - 1) // 2, colour)
    canvas.rect(cx - thickness // 2, cy - arm, cx + (thickness - 1) // 2, cy + arm, colour)


def spool(canvas, size):
    """The program's icon: a violet spool with a zip fastener down its middle."""
    s = size / 32.0
    canvas.disc(16 * s, 16 * s, 15 * s, OUTLINE)
    canvas.disc(16 * s, 16 * s, 14 * s, VIOLET)
    canvas.disc(16 * s, 16 * s, 9 * s, VIOLET_LIGHT)
    canvas.disc(16 * s, 16 * s, 4 * s, PAGE_WHITE)
    tooth = max(1, int(2 * s))
    for i, y in enumerate(range(int(3 * s), int(29 * s), tooth * 2)):
        left = int(14 * s) if i % 2 == 0 else int(16 * s)
        canvas.rect(left, y, left + tooth, y + tooth - 1, FOLDER_YELLOW)


def arrow_down(canvas, cx, top, bottom, half, colour):
    canvas.rect(cx - half // 3, top, cx + half // 3, bottom - half, colour)
    canvas.polygon([(cx - half, bottom - half), (cx + half + 1, bottom - half), (cx + 0.5, bottom + 1)], colour)


def glyph_new(size):
    c = Canvas(size, size)
    page(c, 0, 0, size)
    plus(c, size - 6, size - 6, 4, 3, GREEN)
    return c


def glyph_open(size):
    c = Canvas(size, size)
    folder(c, 0, 0, size, open_=True)
    return c


def glyph_add(size):
    c = Canvas(size, size)
    folder(c, 0, 2, size - 2)
    plus(c, size - 6, 6, 5, 3, GREEN)
    return c


def glyph_extract(size):
    c = Canvas(size, size)
    folder(c, 0, 4, size - 4)
    arrow_down(c, size - 6, 1, size - 3, 5, BLUE)
    return c


def glyph_help(size):
    c = Canvas(size, size)
    c.disc(size / 2, size / 2, size / 2 - 0.5, OUTLINE)
    c.disc(size / 2, size / 2, size / 2 - 1.5, BLUE)
    c.text(size // 2 - 5, size // 2 - 7, '?', PAGE_WHITE, scale=2)
    return c


def logo():
    width, height = 180, 66
    c = Canvas(width, height)
    for y in range(height):
        for x in range(width):
            t = x / (width - 1)
            c.set(x, y, (int(245 - 40 * t), int(238 - 30 * t), int(255 - 10 * t)))
    c.frame(0, 0, width - 1, height - 1, VIOLET)
    # A spike of larkspur flowers on the left.
    c.rect(9, 14, 10, 58, GREEN)
    for i, y in enumerate(range(12, 56, 8)):
        cx = 6 if i % 2 == 0 else 13
        c.disc(cx + 0.5, y + 0.5, 3.5 - i * 0.25, VIOLET if i % 2 == 0 else VIOLET_LIGHT)
    c.text(20, 14, 'Larkspool', VIOLET, scale=3)
    c.text(20, 44, 'Freeware 0.1 by Talvik', OUTLINE)
    return c


def write_ico(path, canvases):
    """An icon file with one 32-bit image (with its AND mask) per canvas."""
    images = []
    for canvas in canvases:
        w, h = canvas.width, canvas.height
        header = struct.pack('<IiiHHIIiiII', 40, w, h * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        colours = b''.join(struct.pack('<BBBB', b, g, r, a) for row in reversed(canvas.pixels)
                           for (r, g, b, a) in row)
        mask_row_bytes = ((w + 31) // 32) * 4
        mask = b''
        for row in reversed(canvas.pixels):
            bits = bytearray(mask_row_bytes)
            for x, (_, _, _, a) in enumerate(row):
                if a == 0:
                    bits[x // 8] |= 0x80 >> (x % 8)
            mask += bytes(bits)
        images.append((w, h, header + colours + mask))
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for w, h, data in images:
        out += struct.pack('<BBBBHHII', w % 256, h % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b''.join(data for _, _, data in images)
    with open(path, 'wb') as f:
        f.write(out)


def write_bmp(path, canvas):
    """A 24-bit bottom-up bitmap file."""
    w, h = canvas.width, canvas.height
    row_bytes = (w * 3 + 3) // 4 * 4
    data = b''
    for row in reversed(canvas.pixels):
        line = b''.join(struct.pack('<BBB', b, g, r) for (r, g, b, _) in row)
        data += line + b'\0' * (row_bytes - len(line))
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    header = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(data), 0, 0, 14 + len(info))
    with open(path, 'wb') as f:
        f.write(header + info + data)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    icons = []
    for size in (32, 16):
        c = Canvas(size, size)
        spool(c, size)
        icons.append(c)
    write_ico(os.path.join(out, 'larkspool.ico'), icons)
    folder_icon = Canvas(16, 16)
    folder(folder_icon, 0, 0, 16)
    write_ico(os.path.join(out, 'folder.ico'), [folder_icon])
    file_icon = Canvas(16, 16)
    page(file_icon, 0, 0, 16)
    write_ico(os.path.join(out, 'file.ico'), [file_icon])
    for name, draw in (('new', glyph_new), ('open', glyph_open), ('add', glyph_add),
                       ('extract', glyph_extract), ('help', glyph_help)):
        write_ico(os.path.join(out, 'glyph-%s.ico' % name), [draw(24)])
    write_bmp(os.path.join(out, 'logo.bmp'), logo())


if __name__ == '__main__':
    main()
