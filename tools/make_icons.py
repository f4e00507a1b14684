#!/usr/bin/env python3
"""Turn the text pictures in SRC_DIR/*.txt into Windows icons OUT_DIR/<stem>.ico.

Usage: python3 tools/make_icons.py SRC_DIR OUT_DIR

A file holds one or more square pictures, one after the other: a picture of
N characters per line is N lines long, and each character is one pixel, named
by the legend below. Blank lines and lines starting with '#' are ignored, so
the pictures may carry comments. Each picture becomes one image of the icon,
in file order, with 16 colours (4 bits per pixel), the format every Windows
version since 3.0 loads; the file is the same byte for byte on every run.

Sizes: 32x32 for the window class and the About box, and 16x16, 20x20 and
24x24 for the tray at 100%, 125% and 150% scaling. Windows picks the image
of the size asked for; only a size that is missing is shrunk from another
one, by default AND-ing the colours of each 2x2 block (a transparent pixel
counts as black there), which is why the 32x32 pictures keep what must stay
visible in whole 2x2 blocks starting on even coordinates.
"""

import pathlib
import struct
import sys

MAX_SIZE = 255               # the directory holds a size in one byte
BITS_PER_PIXEL = 4           # 16 colours
PALETTE_SIZE = 1 << BITS_PER_PIXEL

# The 16 standard Windows VGA colours, in palette order (index = position),
# each with the character that names it in the pictures.
PALETTE = [
    ('K', (0x00, 0x00, 0x00)),  # 0  black
    ('m', (0x80, 0x00, 0x00)),  # 1  maroon (dark red)
    ('g', (0x00, 0x80, 0x00)),  # 2  dark green
    ('o', (0x80, 0x80, 0x00)),  # 3  olive (dark yellow)
    ('n', (0x00, 0x00, 0x80)),  # 4  navy (dark blue)
    ('p', (0x80, 0x00, 0x80)),  # 5  purple (dark magenta)
    ('t', (0x00, 0x80, 0x80)),  # 6  teal (dark cyan)
    ('s', (0xC0, 0xC0, 0xC0)),  # 7  silver (light grey)
    ('d', (0x80, 0x80, 0x80)),  # 8  dark grey
    ('R', (0xFF, 0x00, 0x00)),  # 9  red
    ('G', (0x00, 0xFF, 0x00)),  # 10 green (lime)
    ('Y', (0xFF, 0xFF, 0x00)),  # 11 yellow
    ('B', (0x00, 0x00, 0xFF)),  # 12 blue
    ('M', (0xFF, 0x00, 0xFF)),  # 13 magenta
    ('C', (0x00, 0xFF, 0xFF)),  # 14 cyan
    ('W', (0xFF, 0xFF, 0xFF)),  # 15 white
]
# '.' is a transparent pixel: colour 0 in the colour bitmap, bit set in the
# mask, so the screen shows through.
TRANSPARENT = '.'
TRANSPARENT_INDEX = 0

COLOUR_INDEX = {ch: i for i, (ch, _) in enumerate(PALETTE)}
assert len(PALETTE) == PALETTE_SIZE and len(COLOUR_INDEX) == PALETTE_SIZE

ICONDIR = struct.Struct('<HHH')               # reserved, type, count
ICONDIRENTRY = struct.Struct('<BBBBHHII')     # w, h, colours, reserved,
                                              # planes, bit count, size, offset
BITMAPINFOHEADER = struct.Struct('<IiiHHIIiiII')
ICON_TYPE = 1                                 # 1 = icon, 2 = cursor
BI_RGB = 0                                    # uncompressed


def row_bytes(size, bits_per_pixel):
    """Bytes in one bitmap row: rows are padded to whole 32-bit words."""
    return (size * bits_per_pixel + 31) // 32 * 4


def read_pictures(path):
    """Return the pictures as lists of strings of legend characters."""
    lines = [line.rstrip('\r\n') for line in path.read_text(encoding='ascii').splitlines()]
    rows = [line for line in lines if line.strip() and not line.startswith('#')]
    pictures = []
    while rows:
        size = len(rows[0])
        picture, rows = rows[:size], rows[size:]
        first = sum(len(p) for p in pictures) + 1
        if not 0 < size <= MAX_SIZE or len(picture) != size:
            raise ValueError(f'{path}: picture at line {first} is not {size} lines of {size}')
        for number, row in enumerate(picture, first):
            if len(row) != size:
                raise ValueError(f'{path}: picture line {number} has {len(row)} characters, need {size}')
            for ch in row:
                if ch != TRANSPARENT and ch not in COLOUR_INDEX:
                    raise ValueError(f'{path}: picture line {number}: unknown colour {ch!r}')
        if any(len(p) == size for p in pictures):
            raise ValueError(f'{path}: two pictures of {size}x{size}')
        pictures.append(picture)
    if not pictures:
        raise ValueError(f'{path}: no picture')
    return pictures


def colour_bitmap(rows):
    """The XOR (colour) bitmap, 4 bits per pixel, bottom row first."""
    out = bytearray()
    for row in reversed(rows):
        line = bytearray()
        indices = [TRANSPARENT_INDEX if ch == TRANSPARENT else COLOUR_INDEX[ch] for ch in row]
        indices += [TRANSPARENT_INDEX] * (len(indices) % 2)
        for high, low in zip(indices[0::2], indices[1::2]):
            line.append(high << 4 | low)      # leftmost pixel in the high nibble
        line.extend(bytes(row_bytes(len(rows), BITS_PER_PIXEL) - len(line)))
        out += line
    return bytes(out)


def mask_bitmap(rows):
    """The AND mask, 1 bit per pixel (1 = transparent), bottom row first."""
    out = bytearray()
    for row in reversed(rows):
        line = bytearray(row_bytes(len(rows), 1))
        for x, ch in enumerate(row):
            if ch == TRANSPARENT:
                line[x // 8] |= 0x80 >> (x % 8)   # leftmost pixel in the top bit
        out += line
    return bytes(out)


def image_bytes(rows):
    size = len(rows)
    xor = colour_bitmap(rows)
    mask = mask_bitmap(rows)
    palette = b''.join(bytes((b, g, r, 0)) for _, (r, g, b) in PALETTE)  # RGBQUAD
    header = BITMAPINFOHEADER.pack(
        BITMAPINFOHEADER.size, size,
        2 * size,                 # an icon's height counts colour bitmap + mask
        1, BITS_PER_PIXEL, BI_RGB, len(xor) + len(mask),
        0, 0, 0, 0)               # resolution, colours used/important: defaults
    return header + palette + xor + mask


def icon_bytes(pictures):
    images = [image_bytes(rows) for rows in pictures]
    offset = ICONDIR.size + ICONDIRENTRY.size * len(images)
    directory = ICONDIR.pack(0, ICON_TYPE, len(images))
    for rows, image in zip(pictures, images):
        directory += ICONDIRENTRY.pack(len(rows), len(rows), PALETTE_SIZE, 0, 1,
                                       BITS_PER_PIXEL, len(image), offset)
        offset += len(image)
    return directory + b''.join(images)


def main(argv):
    if len(argv) != 3:
        sys.stderr.write('usage: make_icons.py SRC_DIR OUT_DIR\n')
        return 2
    src, out = pathlib.Path(argv[1]), pathlib.Path(argv[2])
    sources = sorted(src.glob('*.txt'))
    if not sources:
        sys.stderr.write(f'make_icons.py: no *.txt pictures in {src}\n')
        return 1
    out.mkdir(parents=True, exist_ok=True)
    for path in sources:
        try:
            data = icon_bytes(read_pictures(path))
        except ValueError as error:
            sys.stderr.write(f'make_icons.py: {error}\n')
            return 1
        (out / (path.stem + '.ico')).write_bytes(data)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
