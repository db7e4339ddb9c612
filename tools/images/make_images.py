#!/usr/bin/env python3
"""Draws the pictures of the generated pages and writes them as GIF files.

    tools/images/make_images.py [OUTPUT-FOLDER]   (default: data/pages/images)

ovbg.gif (background tile), ovlogo.gif (logo of the page heads), ovsplash.gif (picture of the
welcome page), cleardot.gif (transparent spacer) and new.gif (marker of new topics and
documents). Only the standard library: a small palette canvas and a GIF89a writer whose image
data is a valid LZW stream of literal codes with clear codes often enough that the code width
never changes (larger than a compressed stream, and simple enough to be obviously right).
"""
import math
import os
import struct
import sys

FONT = {  # 5x7 capitals, one string of five bits per row
    'A': ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    'B': ["11110", "10001", "10001", "11110", "10001", "10001", "11110"],
    'C': ["01111", "10000", "10000", "10000", "10000", "10000", "01111"],
    'E': ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    'G': ["01111", "10000", "10000", "10011", "10001", "10001", "01111"],
    'H': ["10001", "10001", "10001", "11111", "10001", "10001", "10001"],
    'I': ["11111", "00100", "00100", "00100", "00100", "00100", "11111"],
    'L': ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    'N': ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    'O': ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    'R': ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    'S': ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    'T': ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    'V': ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    'W': ["10001", "10001", "10001", "10101", "10101", "10101", "01010"],
    ' ': ["00000"] * 7,
}


class Canvas:
    def __init__(self, width, height, palette, fill=0):
        self.width, self.height, self.palette = width, height, palette
        self.pixels = [fill] * (width * height)

    def set(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y * self.width + x] = colour

    def rect(self, x0, y0, x1, y1, colour):
        for y in range(y0, y1):
            for x in range(x0, x1):
                self.set(x, y, colour)

    def disc(self, cx, cy, r, colour, inner=0.0):
        for y in range(int(cy - r) - 1, int(cy + r) + 2):
            for x in range(int(cx - r) - 1, int(cx + r) + 2):
                d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
                if inner <= d <= r:
                    self.set(x, y, colour)

    def line(self, x0, y0, x1, y1, colour, width=1):
        steps = int(max(abs(x1 - x0), abs(y1 - y0)) * 2) + 1
        for i in range(steps + 1):
            x = x0 + (x1 - x0) * i / steps
            y = y0 + (y1 - y0) * i / steps
            self.disc(x, y, width / 2, colour)

    def text(self, x, y, words, colour, scale=1):
        for ch in words:
            glyph = FONT[ch]
            for row, bits in enumerate(glyph):
                for col, bit in enumerate(bits):
                    if bit == '1':
                        self.rect(x + col * scale, y + row * scale, x + (col + 1) * scale,
                                  y + (row + 1) * scale, colour)
            x += 6 * scale

    @staticmethod
    def text_width(words, scale=1):
        return len(words) * 6 * scale - scale


def lzw_literals(pixels, min_code_size):
    """An LZW stream of literal codes. A decoder adds a table entry for every code after the
    first that follows a clear code and widens its codes once the table reaches twice the clear
    code; a clear code before every (clear - 2) literals keeps that from ever happening."""
    clear, end = 1 << min_code_size, (1 << min_code_size) + 1
    run = clear - 2
    width = min_code_size + 1
    out, acc, nbits = bytearray(), 0, 0

    def emit(code):
        nonlocal acc, nbits
        acc |= code << nbits
        nbits += width
        while nbits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            nbits -= 8

    for i, p in enumerate(pixels):
        if i % run == 0:
            emit(clear)
        emit(p)
    emit(end)
    if nbits:
        out.append(acc & 0xFF)
    return bytes(out)


def gif(canvas, transparent=None):
    palette = list(canvas.palette)
    bits = max(1, math.ceil(math.log2(max(2, len(palette)))))
    while len(palette) < (1 << bits):
        palette.append((0, 0, 0))
    data = bytearray(b"GIF89a")
    data += struct.pack("<HHBBB", canvas.width, canvas.height, 0x80 | 0x70 | (bits - 1), 0, 0)
    for r, g, b in palette:
        data += bytes((r, g, b))
    if transparent is not None:
        data += bytes((0x21, 0xF9, 4, 1, 0, 0, transparent, 0))
    data += struct.pack("<BHHHHB", 0x2C, 0, 0, canvas.width, canvas.height, 0)
    min_code_size = max(2, bits)
    stream = lzw_literals(canvas.pixels, min_code_size)
    data.append(min_code_size)
    for i in range(0, len(stream), 255):
        block = stream[i:i + 255]
        data.append(len(block))
        data += block
    data += b"\x00\x3B"
    return bytes(data)


def mix(a, b, t):
    return tuple(round(a[i] + (b[i] - a[i]) * t) for i in range(3))


PAPER = (247, 245, 238)
TEAL = (22, 96, 110)
AMBER = (232, 156, 40)
INK = (40, 48, 56)
WHITE = (255, 255, 255)


def background():
    c = Canvas(64, 64, [PAPER, (238, 235, 224), (242, 239, 230)])
    for y in range(64):
        for x in range(64):
            if (x + y) % 16 == 0:
                c.set(x, y, 2)
            if (x * 7 + y * 13) % 61 == 0:
                c.set(x, y, 1)
    return gif(c)


def orbit_mark(c, cx, cy, r, ring, dot):
    c.disc(cx, cy, r, ring, inner=r - max(2, r // 4))
    for i in range(40):
        a = i / 40 * 2 * math.pi
        c.disc(cx + math.cos(a) * r * 1.35, cy + math.sin(a) * r * 0.45, 0.8, ring)
    c.disc(cx + r * 1.1, cy - r * 0.55, max(2, r // 4), dot)


def logo():
    c = Canvas(180, 48, [PAPER, TEAL, AMBER, INK])
    orbit_mark(c, 24, 24, 14, 1, 2)
    c.text(50, 13, "ORVALIS", 3, scale=3)
    return gif(c, transparent=0)


def splash():
    top, bottom = (214, 232, 236), (250, 248, 240)
    palette = [mix(top, bottom, i / 63) for i in range(64)]
    palette += [TEAL, AMBER, INK, WHITE, mix(TEAL, WHITE, 0.55)]
    teal, amber, ink, white, pale = 64, 65, 66, 67, 68
    c = Canvas(320, 200, palette)
    for y in range(200):
        c.rect(0, y, 320, y + 1, min(63, y * 64 // 200))
    # A globe with meridians and parallels, and a magnifying glass over it.
    cx, cy, r = 110, 92, 56
    c.disc(cx, cy, r, pale)
    for k in (-2, -1, 0, 1, 2):
        y = cy + k * r / 3
        half = math.sqrt(max(0.0, r * r - (y - cy) ** 2))
        c.line(cx - half, y, cx + half, y, teal)
        for j in range(61):
            t = -math.pi / 2 + j / 60 * math.pi
            c.disc(cx + math.cos(t) * r * k / 2.5, cy + math.sin(t) * r, 0.7, teal)
    c.disc(cx, cy, r, teal, inner=r - 3)
    gx, gy, gr = 176, 120, 26
    c.disc(gx, gy, gr, white, inner=0)
    c.disc(gx, gy, gr, ink, inner=gr - 5)
    c.line(gx + gr * 0.7, gy + gr * 0.7, gx + gr * 1.7, gy + gr * 1.7, amber, width=8)
    c.text(214, 40, "ORVALIS", ink, scale=2)
    words = "WEB RESEARCH AGENT"
    c.text(320 - Canvas.text_width(words) - 12, 180, words, teal)
    return gif(c)


def cleardot():
    return gif(Canvas(1, 1, [WHITE, INK]), transparent=0)


def new_marker():
    red = (200, 40, 32)
    c = Canvas(28, 13, [WHITE, red, (255, 250, 235)])
    c.rect(1, 0, 27, 13, 1)
    c.rect(0, 1, 28, 12, 1)
    c.text(3, 3, "NEW", 2)
    c.set(0, 0, 0), c.set(27, 0, 0), c.set(0, 12, 0), c.set(27, 12, 0)
    return gif(c, transparent=0)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..", "data", "pages", "images")
    os.makedirs(folder, exist_ok=True)
    for name, data in (("ovbg.gif", background()), ("ovlogo.gif", logo()), ("ovsplash.gif", splash()),
                       ("cleardot.gif", cleardot()), ("new.gif", new_marker())):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
        print(name, len(data), "bytes")


if __name__ == "__main__":
    main()
