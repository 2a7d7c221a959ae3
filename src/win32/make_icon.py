#!/usr/bin/env python3
"""Writes the updater's window icon: 32 x 32 pixels, 16 colours, a blue arrow going down into
an open box. The picture is drawn here, pixel by pixel, so no binary lives in the sources.

usage: make_icon.py OUTPUT.ico
"""

import struct
import sys

SIZE = 32

# The 16 colours of the classic Windows palette, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, OLIVE, NAVY, SILVER, GREY, YELLOW, BLUE, AQUA, WHITE = 0, 3, 4, 7, 8, 11, 12, 14, 15
CLEAR = None


def draw():
    """The picture as rows of palette indices (CLEAR for transparent), top row first."""
    pixels = [[CLEAR] * SIZE for _ in range(SIZE)]

    def fill(left, top, right, bottom, colour):
        for y in range(top, bottom + 1):
            for x in range(left, right + 1):
                pixels[y][x] = colour

    # The box: front face, its shaded side, the open top with flaps, and an outline.
    fill(4, 17, 27, 29, YELLOW)
    fill(22, 17, 27, 29, OLIVE)
    fill(4, 15, 27, 16, OLIVE)
    for x in range(4, 28):
        pixels[14][x] = BLACK
        pixels[30][x] = BLACK
    for y in range(14, 31):
        pixels[y][3] = BLACK
        pixels[y][28] = BLACK
    for x in range(4, 28):
        pixels[17][x] = BLACK
    for step in range(4):  # the flaps, folded out to both sides
        y = 13 - step
        edge = BLACK if step == 3 else OLIVE
        fill(3 - step, y, 9 - step, y, edge)
        fill(22 + step, y, 28 + step, y, edge)
        for x in (3 - step, 9 - step, 22 + step, 28 + step):
            pixels[y][x] = BLACK

    # The arrow: a shaft from the top and a head that reaches into the box.
    fill(13, 1, 18, 13, BLUE)
    for row, half in enumerate(range(9, 0, -1)):
        y = 12 + row
        fill(16 - half, y, 15 + half, y, BLUE)
    fill(14, 2, 14, 12, AQUA)  # light on the shaft's left edge
    # A dark outline around the arrow.
    outline = []
    for y in range(SIZE):
        for x in range(SIZE):
            if pixels[y][x] in (BLUE, AQUA):
                continue
            neighbours = [(x + dx, y + dy) for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1))]
            if any(0 <= nx < SIZE and 0 <= ny < SIZE and pixels[ny][nx] in (BLUE, AQUA)
                   for nx, ny in neighbours):
                outline.append((x, y))
    for x, y in outline:
        pixels[y][x] = NAVY
    return pixels


def icon_bytes(pixels):
    colour_rows = []
    mask_rows = []
    for row in reversed(pixels):  # bitmaps are stored bottom row first
        colours = [BLACK if p is CLEAR else p for p in row]
        colour_rows.append(bytes((colours[x] << 4) | colours[x + 1] for x in range(0, SIZE, 2)))
        mask = 0
        for p in row:
            mask = (mask << 1) | (1 if p is CLEAR else 0)
        mask_rows.append(mask.to_bytes(SIZE // 8, "big"))
    colour_bits = b"".join(colour_rows)
    mask_bits = b"".join(mask_rows)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0,
                         len(colour_bits) + len(mask_bits), 0, 0, 0, 0)
    image = header + palette + colour_bits + mask_bits
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open(sys.argv[1], "wb") as out:
        out.write(icon_bytes(draw()))


if __name__ == "__main__":
    main()
