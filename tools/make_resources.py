#!/usr/bin/env python3
"""Writes the monitor's bitmap and icon files (app/res/) from their colour
tables and picture descriptions, so the images are reproducible byte for byte.

    python3 tools/make_resources.py [OUTPUT_FOLDER]

The default output folder is app/res beside this script's parent. The files
are committed; the test suite regenerates them into the build folder and
compares, so an edit here without regenerating is caught.

Every image is an uncompressed bottom-up DIB with a 40-byte
BITMAPINFOHEADER. The ramps are 1 pixel wide, 8 bits per pixel, with a full
256-entry palette (colours-used 0). Icons carry the usual XOR image plus a
1-bit AND mask, and the header's height counts both.
"""

import os
import struct
import sys

# ---------------------------------------------------------------- colour ramps
# Rows top first, colours #RRGGBB. A colour belongs to a height of the graph
# column, so the tables are by row, not by value.

GRAPH_FILL = (
    [0xFF0000] * 2 + [0xFF3300] * 4 + [0xFF6600] * 4 + [0xFF9900] * 4 +
    [0xFFCC00] * 4 + [0xFFFF00] * 4 + [0xCCFF00] * 4 + [0x99FF00] * 4 +
    [0x66FF00] * 5 + [0x33FF33] * 1 + [0x00FF00] * 4)

ICON_FILL = [
    0xFF0000, 0xFF3300, 0xFF3300, 0xFF6600, 0xFF9900, 0xFF9900, 0xFFCC00, 0xFFFF00,
    0xFFFF00, 0xCCFF00, 0xCCCC00, 0x99CC00, 0x66CC00, 0x339900, 0x339900, 0x008000]

ICON_FILL_ALT = [
    0xFF0000, 0xFF3300, 0xFF3300, 0xFF6600, 0xFF9900, 0xFF9900, 0xFFCC00, 0xFFCC00,
    0xFFFF00, 0xCCFF00, 0xCCFF00, 0x99FF00, 0x66FF00, 0x66FF00, 0x00FF00, 0x00FF00]

assert len(GRAPH_FILL) == 40 and len(ICON_FILL) == 16 and len(ICON_FILL_ALT) == 16

# ------------------------------------------------------------------- palettes

# The standard 16-colour palette, in the platform's index order.
VGA16 = [
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF]

# The four greys of a 2-bit display.
GREY4 = [0x000000, 0x808080, 0xC0C0C0, 0xFFFFFF]


def rgbquads(colours, count):
    """Palette entries (blue, green, red, 0), padded with black to count."""
    colours = list(colours) + [0] * (count - len(colours))
    return b''.join(struct.pack('<BBBB', c & 0xFF, (c >> 8) & 0xFF, c >> 16, 0) for c in colours)


def info_header(width, height, bpp, image_bytes):
    return struct.pack('<IiiHHIIiiII', 40, width, height, 1, bpp, 0, image_bytes, 0, 0, 0, 0)


def pack_rows(rows, bpp):
    """Pixel rows (top first, palette indices) as bottom-up DIB rows padded to 4 bytes."""
    out = bytearray()
    for row in reversed(rows):
        bits = 0
        nbits = 0
        line = bytearray()
        for index in row:
            bits = (bits << bpp) | index
            nbits += bpp
            if nbits == 8:
                line.append(bits)
                bits = nbits = 0
        if nbits:
            line.append(bits << (8 - nbits))
        while len(line) % 4:
            line.append(0)
        out += line
    return bytes(out)


# ---------------------------------------------------------------------- ramps

def ramp_bitmap(colours):
    """A .bmp file: 1 pixel wide, 8 bits, 256-entry palette, bottom-up."""
    palette = []
    for c in colours:
        if c not in palette:
            palette.append(c)
    rows = [[palette.index(c)] for c in colours]
    bits = pack_rows(rows, 8)
    info = info_header(1, len(colours), 8, len(bits)) + rgbquads(palette, 256)
    offset = 14 + len(info)
    file_header = struct.pack('<2sIHHI', b'BM', offset + len(bits), 0, 0, offset)
    return file_header + info + bits


# ---------------------------------------------------------------------- icons

def icon_image(pixels, mask, bpp, palette):
    """One icon image: header, palette, XOR bits, AND bits (1 = transparent)."""
    size = len(pixels)
    xor_bits = pack_rows(pixels, bpp)
    and_bits = pack_rows(mask, 1)
    header = info_header(size, 2 * size, bpp, len(xor_bits) + len(and_bits))
    return header + rgbquads(palette, 1 << bpp) + xor_bits + and_bits


def icon_file(images):
    """A .ico file from (size, bpp, image bytes) entries, in the given order."""
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, bpp, data in images:
        colour_count = (1 << bpp) if bpp < 8 else 0
        out += struct.pack('<BBBBHHII', size, size, colour_count, 0, 1, bpp, len(data), offset)
        offset += len(data)
    for _, _, data in images:
        out += data
    return out


def solid_icon(colour):
    """A probe icon: 16x16 at 4 and at 2 bits, every pixel the colour, fully opaque."""
    images = []
    for bpp, palette in ((4, VGA16), (2, GREY4)):
        index = palette.index(colour)
        pixels = [[index] * 16 for _ in range(16)]
        mask = [[0] * 16 for _ in range(16)]
        images.append((16, bpp, icon_image(pixels, mask, bpp, palette)))
    return icon_file(images)


# Names of the program icon's colours; None is transparent.
OUTLINE, FRAME, DOT, SCREEN, RIM = 'outline', 'frame', 'dot', 'screen', 'rim'
COLOURS = {
    OUTLINE: 0x000000,
    FRAME: 0xC0C0C0,
    DOT: 0xFFFF00,
    SCREEN: 0x808080,
    RIM: 0x000000,
}


def program_picture(size):
    """A small display on a short stand, as rows of colour names (top first).

    The body fills the top three quarters: a dark outline with its four
    corner pixels cut off, a light-grey frame dotted with yellow, and a grey
    screen whose outer ring is checkered. Below it a short stand; the
    pixels beside the stand are transparent.
    """
    unit = size // 16               # 1 for 16x16, 2 for 32x32
    body = 12 * unit                # rows 0 .. body-1
    frame = 2 * unit                # frame thickness inside the outline
    grid = [[None] * size for _ in range(size)]
    for y in range(body):
        for x in range(size):
            edge = x == 0 or y == 0 or x == size - 1 or y == body - 1
            inset = min(x, y, size - 1 - x, body - 1 - y)
            if edge:
                grid[y][x] = OUTLINE
            elif inset <= frame:
                # dots on the frame's middle line, every fourth pixel
                on_line = inset == (frame + 1) // 2 or (unit == 1 and inset == 1)
                grid[y][x] = DOT if on_line and (x + y) % 4 == 0 else FRAME
            elif inset <= frame + unit:
                grid[y][x] = RIM if (x // unit + y // unit) % 2 == 0 else SCREEN
            else:
                grid[y][x] = SCREEN
    for corner_y in (0, body - 1):
        for corner_x in (0, size - 1):
            grid[corner_y][corner_x] = None
    # the stand: a neck, then a foot, each with dark sides
    neck = range(size // 2 - 2 * unit, size // 2 + 2 * unit)
    foot = range(size // 2 - 4 * unit, size // 2 + 4 * unit)
    for y in range(body, size):
        columns = neck if y < body + 2 * unit else foot
        for x in columns:
            side = x in (columns[0], columns[-1]) or y == size - 1
            grid[y][x] = OUTLINE if side else FRAME
    return grid


def nearest(colour, palette):
    def distance(c):
        return sum((((colour >> s) & 0xFF) - ((c >> s) & 0xFF)) ** 2 for s in (0, 8, 16))
    return min(range(len(palette)), key=lambda i: distance(palette[i]))


def program_image(size, bpp):
    palette = {2: GREY4, 4: VGA16, 8: VGA16}[bpp]
    picture = program_picture(size)
    pixels = [[0 if name is None else nearest(COLOURS[name], palette) for name in row] for row in picture]
    mask = [[1 if name is None else 0 for name in row] for row in picture]
    return (size, bpp, icon_image(pixels, mask, bpp, palette))


# ----------------------------------------------------------------------- main

def outputs():
    return {
        'graph_fill.bmp': ramp_bitmap(GRAPH_FILL),
        'icon_fill.bmp': ramp_bitmap(ICON_FILL),
        'icon_fill_alt.bmp': ramp_bitmap(ICON_FILL_ALT),
        'probe_a.ico': solid_icon(0x000000),
        'probe_b.ico': solid_icon(0xFFFFFF),
        'program.ico': icon_file([program_image(32, 2), program_image(16, 2), program_image(16, 4),
                                  program_image(32, 4), program_image(16, 8)]),
        'program_alt.ico': icon_file([program_image(16, 4), program_image(32, 4)]),
    }


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, '..', 'app', 'res')
    os.makedirs(folder, exist_ok=True)
    for name, data in outputs().items():
        with open(os.path.join(folder, name), 'wb') as f:
            f.write(data)


if __name__ == '__main__':
    main()
