#!/usr/bin/env python3
"""Draws the program's pictures: the bitmaps heart and linnet (232 x 112,
16 colours) and the program icon (32 x 32, 16 colours). Deterministic: the
same files come out on every run.

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
        for i, ch in enumerate(words):
            for row, line in enumerate(FONT[ch]):
                for col, bit in enumerate(line):
                    if bit != '#':
                        continue
                    for dy in range(scale):
                        for dx in range(scale):
                            px = x + i * 6 * scale + col * scale + dx
                            py = y + row * scale + dy
                            if shadow is not None:
                                self.put(px + 2, py + 2, shadow)
                            self.put(px, py, colour)

    def frame(self, colour):
        for x in range(self.width):
            self.put(x, 0, colour)
            self.put(x, self.height - 1, colour)
        for y in range(self.height):
            self.put(0, y, colour)
            self.put(self.width - 1, y, colour)


def dithered_sky(canvas, top, bottom):
    """Two-colour ordered dither from top colour to bottom colour."""
    bayer = [[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]]
    for y in range(canvas.height):
        level = y * 16 // canvas.height
        for x in range(canvas.width):
            canvas.pixels[y][x] = bottom if bayer[y % 4][x % 4] < level else top


def heart_picture():
    c = Canvas(232, 112, NAVY)
    dithered_sky(c, BLUE, NAVY)

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
    c.frame(SILVER)
    return c


def linnet_picture():
    c = Canvas(232, 112, TEAL)
    dithered_sky(c, AQUA, TEAL)
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
    c.text(130, 60, "VT420", 3, YELLOW, shadow=NAVY)
    c.frame(SILVER)
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


def palette_bytes():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)


def info_header(width, height, image_size):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, image_size, 2835, 2835, 16, 16)


def bmp_file(canvas):
    image = packed_rows(canvas)
    body = info_header(canvas.width, canvas.height, len(image)) + palette_bytes() + image
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
