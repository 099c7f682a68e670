#!/usr/bin/env python3
"""Writes the small pictures of the bundled site: GIF89a files drawn from a
few coloured rectangles, encoded with a fixed 9-bit LZW code (a clear code
every 254 pixels keeps the code size from growing)."""
import struct
import sys


def encode_pixels(pixels):
    clear, end = 256, 257
    codes = []
    for i, p in enumerate(pixels):
        if i % 254 == 0:
            codes.append(clear)
        codes.append(p)
    codes.append(end)
    bits, nbits, out = 0, 0, bytearray()
    for c in codes:
        bits |= c << nbits
        nbits += 9
        while nbits >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8
    if nbits:
        out.append(bits & 0xFF)
    blocks = bytearray([8])
    for i in range(0, len(out), 255):
        chunk = out[i:i + 255]
        blocks.append(len(chunk))
        blocks += chunk
    blocks.append(0)
    return bytes(blocks)


def gif(width, height, palette, draw):
    pal = list(palette) + [(0, 0, 0)] * (256 - len(palette))
    head = b"GIF89a" + struct.pack("<HHBBB", width, height, 0xF7, 0, 0)
    head += b"".join(bytes(c) for c in pal)
    image = b"," + struct.pack("<HHHHB", 0, 0, width, height, 0)
    pixels = [draw(x, y) for y in range(height) for x in range(width)]
    return head + image + encode_pixels(pixels) + b";"


def rect_drawer(background, shapes):
    def draw(x, y):
        for (x0, y0, x1, y1, colour) in shapes:
            if x0 <= x < x1 and y0 <= y < y1:
                return colour
        return background
    return draw


PALETTE = [(255, 255, 255), (99, 125, 188), (255, 192, 1), (233, 248, 254), (255, 0, 0), (0, 128, 0),
           (128, 0, 128), (0, 0, 119)]
PICTURES = {
    "logo.gif": (64, 64, rect_drawer(1, [(8, 8, 56, 40, 0), (16, 40, 28, 52, 0), (14, 16, 50, 20, 1), (14, 26, 42, 30, 1)])),
    "line3.gif": (200, 1, rect_drawer(2, [])),
    "side1.gif": (8, 8, rect_drawer(2, [(0, 0, 4, 8, 1)])),
    "bt.gif": (380, 40, rect_drawer(1, [(10, 10, 370, 30, 3)])),
    "system.gif": (32, 32, rect_drawer(3, [(4, 4, 28, 28, 1)])),
    "sensibility.gif": (31, 31, rect_drawer(3, [(6, 8, 25, 24, 4)])),
    "amusement.gif": (32, 28, rect_drawer(3, [(4, 4, 28, 24, 2)])),
    "sport.gif": (25, 31, rect_drawer(3, [(4, 6, 21, 25, 5)])),
    "tech.gif": (32, 32, rect_drawer(3, [(4, 8, 28, 22, 7)])),
    "other1.gif": (32, 32, rect_drawer(3, [(8, 8, 24, 24, 6)])),
    "other.gif": (64, 64, rect_drawer(0, [(0, 0, 64, 2, 3)])),
    "hall.gif": (64, 64, rect_drawer(3, [(0, 60, 64, 64, 2)])),
}


# The pictures of the password recovery page sit on its grey background, so
# they get two greys after the colours above (the pictures above keep their
# palette, and so their bytes).
GREY, PALE_GREY = 8, 9
GREY_PALETTE = PALETTE + [(232, 232, 232), (246, 246, 246)]


def lattice_drawer(period, background, line):
    """Thin diagonal lines that cross into diamonds; a tile whose sides are
    multiples of the period joins its neighbours without a seam."""
    def draw(x, y):
        return line if (x + y) % period == 0 or (x - y) % period == 0 else background
    return draw


def ribbon_drawer(width, height, spacing):
    """A band in the site's blue with V-cut ends, white edges and a row of
    amber beads (small diamonds), one every spacing pixels from the middle."""
    middle = height // 2
    def draw(x, y):
        depth = abs(y - middle)
        if depth > middle - 3:
            return GREY
        notch = middle - 3 - depth
        if x < notch or x >= width - notch:
            return GREY
        if depth == middle - 3:
            return 0  # white
        to_bead = (x - width // 2 + spacing // 2) % spacing - spacing // 2
        if abs(to_bead) + depth <= 4 and 14 <= x < width - 14:
            return 2  # amber
        return 1  # blue
    return draw


GREY_PICTURES = {
    "01.gif": (32, 32, lattice_drawer(16, GREY, PALE_GREY)),
    "bq.gif": (250, 25, ribbon_drawer(250, 25, 25)),
}

if __name__ == "__main__":
    folder = sys.argv[1]
    for pictures, palette in ((PICTURES, PALETTE), (GREY_PICTURES, GREY_PALETTE)):
        for name, (w, h, draw) in pictures.items():
            with open(f"{folder}/{name}", "wb") as f:
                f.write(gif(w, h, palette, draw))
