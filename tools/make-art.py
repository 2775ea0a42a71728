#!/usr/bin/env python3
"""Draws the program's pictures: the bitmaps heart and linnet (232 x 112,
16 colours) and the program icon (32 x 32, 16 colours). Deterministic: the
same files come out on every run.

The bitmaps are stored run-length encoded (BI_RLE4), which LoadBitmap and
CreateDIBitmap decode on every Windows since 3.0; they are drawn in flat
areas and horizontal stripes so that each row is a few long runs. Every
encoded bitmap is decoded again here and compared with its picture. An icon
cannot be compressed and stays as it is.

usage: make-art.py OUTPUT_DIR
"""
import math
import struct
import sys

# The standard 16-colour palette, as (r, g, b).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GREY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(8, 16)

FONT = {  # 5 x 7 glyphs, one string a row
    'Z': ["#####", "    #", "   # ", "  #  ", " #   ", "#    ", "#####"],
    'E': ["#####", "#    ", "#    ", "#### ", "#    ", "#    ", "#####"],
    'V': ["#   #", "#   #", "#   #", "#   #", "#   #", " # # ", "  #  "],
    '!': ["  #  ", "  #  ", "  #  ", "  #  ", "  #  ", "     ", "  #  "],
    'S': [" ####", "#    ", "#    ", " ### ", "    #", "    #", "#### "],
    'T': ["#####", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  "],
    'U': ["#   #", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "],
    'P': ["#### ", "#   #", "#   #", "#### ", "#    ", "#    ", "#    "],
    'L': ["#    ", "#    ", "#    ", "#    ", "#    ", "#    ", "#####"],
    'I': ["#####", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", "#####"],
    'N': ["#   #", "##  #", "# # #", "#  ##", "#   #", "#   #", "#   #"],
    '4': ["   # ", "  ## ", " # # ", "#  # ", "#####", "   # ", "   # "],
    '2': [" ### ", "#   #", "    #", "   # ", "  #  ", " #   ", "#####"],
    '0': [" ### ", "#   #", "#  ##", "# # #", "##  #", "#   #", " ### "],
    ' ': ["     "] * 7,
}


class Canvas:
    def __init__(self, width, height, colour):
        self.width, self.height = width, height
        self.pixels = [[colour] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def fill(self, inside, colour):
        for y in range(self.height):
            for x in range(self.width):
                if inside(x + 0.5, y + 0.5):
                    self.pixels[y][x] = colour

    def ellipse(self, cx, cy, rx, ry, colour):
        self.fill(lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1, colour)

    def text(self, x, y, words, scale, colour, shadow=None):
        """Block letters; a shadow one pixel below them, under the letters."""
        layers = ((0, 1, shadow), (0, 0, colour)) if shadow is not None else ((0, 0, colour),)
        for dx, dy, paint in layers:
            for i, ch in enumerate(words):
                for row, line in enumerate(FONT[ch]):
                    for col, bit in enumerate(line):
                        if bit != '#':
                            continue
                        for sy in range(scale):
                            for sx in range(scale):
                                self.put(x + i * 6 * scale + col * scale + sx + dx,
                                         y + row * scale + sy + dy, paint)


def striped_sky(canvas, top, bottom):
    """From the top colour to the bottom colour in stripes across the whole
    width that grow from row to row: flat rows, unlike a dither."""
    for y in range(canvas.height):
        level = y * 9 // canvas.height  # 0 .. 8 rows of each 8 in the bottom colour
        canvas.pixels[y] = [bottom if y % 8 < level else top] * canvas.width


def heart_picture():
    c = Canvas(232, 112, NAVY)
    striped_sky(c, BLUE, NAVY)

    def heart(cx, cy, size):
        def inside(x, y):
            u, v = (x - cx) / size, -(y - cy) / size
            return (u * u + v * v - 1) ** 3 - u * u * v ** 3 <= 0
        return inside

    c.fill(heart(56, 50, 36), MAROON)
    c.fill(heart(54, 48, 34), RED)
    c.ellipse(38, 34, 7, 4, FUCHSIA)
    c.ellipse(36, 33, 3, 2, WHITE)
    c.text(110, 18, "ZEV!", 5, WHITE, shadow=BLACK)
    c.text(112, 66, "SETUP", 3, YELLOW, shadow=BLACK)
    return c


def linnet_picture():
    c = Canvas(232, 112, TEAL)
    striped_sky(c, AQUA, TEAL)
    # a branch across the lower left
    c.fill(lambda x, y: 92 <= y - 0.12 * x <= 97 and x < 120, OLIVE)
    c.fill(lambda x, y: abs((y - 70) - 0.9 * (x - 78)) < 2 and 70 < x < 95, OLIVE)
    # the bird: tail, body with its red breast, grey head, beak and eye
    c.fill(lambda x, y: 18 <= x <= 44 and abs(y - (64 + 0.4 * (44 - x))) < 4 + 0.15 * (44 - x), MAROON)
    c.ellipse(62, 62, 24, 17, MAROON)
    c.ellipse(68, 68, 15, 10, RED)
    c.ellipse(84, 46, 12, 11, GREY)
    c.fill(lambda x, y: 94 <= x <= 104 and abs(y - 47) <= (104 - x) * 0.35, BLACK)
    c.ellipse(87, 43, 2.2, 2.2, BLACK)
    c.ellipse(87.5, 42.5, 0.8, 0.8, WHITE)
    c.fill(lambda x, y: 48 <= x <= 70 and 54 <= y <= 60 and (x + y) % 6 < 2, BLACK)
    c.fill(lambda x, y: abs(x - 62) < 1.2 and 78 <= y <= 88, BLACK)
    c.fill(lambda x, y: abs(x - 68) < 1.2 and 77 <= y <= 87, BLACK)
    c.text(124, 18, "LINNET", 3, WHITE, shadow=NAVY)
    c.text(130, 60, "VT420", 3, NAVY)
    return c


def icon_picture():
    c = Canvas(32, 32, BLACK)
    c.fill(lambda x, y: 2 <= x <= 30 and 4 <= y <= 26, SILVER)
    c.fill(lambda x, y: 4 <= x <= 28 and 6 <= y <= 22, NAVY)
    c.fill(lambda x, y: 10 <= x <= 22 and 26 <= y <= 30, GREY)
    c.text(6, 9, "Z", 1, LIME)
    c.text(12, 9, "E", 1, LIME)
    c.text(18, 9, "V", 1, LIME)
    return c


def packed_rows(canvas):
    """4-bit rows, bottom-up, each padded to a multiple of 4 bytes."""
    out = bytearray()
    stride = ((canvas.width * 4 + 31) // 32) * 4
    for y in range(canvas.height - 1, -1, -1):
        row = bytearray()
        line = canvas.pixels[y]
        for x in range(0, canvas.width, 2):
            high = line[x]
            low = line[x + 1] if x + 1 < canvas.width else 0
            row.append(high << 4 | low)
        row.extend(b"\0" * (stride - len(row)))
        out.extend(row)
    return bytes(out)


def rle4_row(line):
    """One row in BI_RLE4's shortest form: encoded runs (a count, then a byte
    whose two colours alternate, high one first) and absolute stretches (0, a
    count of 3 or more, the colours two to a byte, padded to a whole word),
    chosen by the least bytes from each pixel to the row's end."""
    n = len(line)
    cost = [0] * (n + 1)
    step = [None] * (n + 1)
    for i in range(n - 1, -1, -1):
        cost[i] = None
        pair = (line[i], line[i + 1] if i + 1 < n else line[i])
        length = 1
        while i + length < n and length < 255 and line[i + length] == pair[length % 2]:
            length += 1
        for count in range(1, length + 1):
            if cost[i] is None or 2 + cost[i + count] < cost[i]:
                cost[i], step[i] = 2 + cost[i + count], ("run", count)
        for count in range(3, min(255, n - i) + 1):
            size = 2 + 2 * ((count + 3) // 4)
            if size + cost[i + count] < cost[i]:
                cost[i], step[i] = size + cost[i + count], ("absolute", count)
    out = bytearray()
    i = 0
    while i < n:
        kind, count = step[i]
        if kind == "run":
            second = line[i + 1] if count > 1 else line[i]
            out += bytes((count, line[i] << 4 | second))
        else:
            colours = line[i:i + count] + [0]
            data = bytes(colours[j] << 4 | colours[j + 1] for j in range(0, count, 2))
            out += bytes((0, count)) + data + b"\0" * (len(data) % 2)
        i += count
    return bytes(out)


def rle4_rows(canvas):
    """The rows bottom-up, each ended by an end-of-line escape, the last by
    the end-of-bitmap escape."""
    out = bytearray()
    for y in range(canvas.height - 1, -1, -1):
        out += rle4_row(canvas.pixels[y]) + (b"\0\0" if y else b"\0\1")
    return bytes(out)


def rle4_decode(data, width, height):
    """The pixels of BI_RLE4 data, top row first, as Windows decodes them;
    None for anything the encoder never writes (a delta, a row too long)."""
    rows, row, i = [], [], 0
    while i + 1 < len(data):
        count, value = data[i], data[i + 1]
        i += 2
        if count:
            row += [value >> 4 if k % 2 == 0 else value & 15 for k in range(count)]
        elif value in (0, 1):
            if len(row) != width:
                return None
            rows.append(row)
            row = []
            if value == 1:
                break
        elif value == 2:
            return None
        else:
            packed = data[i:i + (value + 1) // 2]
            row += [packed[k // 2] >> 4 if k % 2 == 0 else packed[k // 2] & 15 for k in range(value)]
            i += (value + 1) // 2 + ((value + 1) // 2) % 2
    if len(rows) != height or i != len(data):
        return None
    return rows[::-1]


def palette_bytes():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)


def info_header(width, height, image_size, compression=0):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, compression, image_size, 2835, 2835, 16, 16)


def bmp_file(canvas):
    image = rle4_rows(canvas)
    if rle4_decode(image, canvas.width, canvas.height) != canvas.pixels:
        sys.exit("make-art.py: the run-length encoding does not give the picture back")
    bi_rle4 = 2
    body = info_header(canvas.width, canvas.height, len(image), bi_rle4) + palette_bytes() + image
    offset = 14 + 40 + 64
    return struct.pack("<2sIHHI", b"BM", 14 + len(body), 0, 0, offset) + body


def ico_file(canvas):
    image = packed_rows(canvas)
    mask_stride = ((canvas.width + 31) // 32) * 4
    mask = b"\0" * (mask_stride * canvas.height)
    body = info_header(canvas.width, canvas.height * 2, len(image) + len(mask)) + palette_bytes() + image + mask
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", canvas.width, canvas.height, 16, 0, 1, 4, len(body), 6 + 16)
    return header + entry + body


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    for name, data in (("heart.bmp", bmp_file(heart_picture())),
                       ("linnet.bmp", bmp_file(linnet_picture())),
                       ("setup1.ico", ico_file(icon_picture()))):
        with open(f"{out}/{name}", "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
