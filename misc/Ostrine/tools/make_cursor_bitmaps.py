#!/usr/bin/env python3
"""Writes the two 32 x 32 bitmaps of the capture pointer into res/:
cursor_mask.bmp (1 bpp AND mask, 0 = opaque) and cursor_color.bmp (24 bpp colour image).

The picture is the classic arrow pointing up and to the left, tip at (10, 5): a vertical left side
down to row 22, a 45-degree right side down to row 18, the lower edge of the head back to the left,
and a tail about 5 pixels thick running down and to the right to row 26. A 1-pixel black outline
surrounds a diagonal rainbow from blue at the tip to cyan at the end of the tail. Outside the arrow
the mask is 1 and the colour black, so the screen shows through unchanged.

Run it from anywhere; it rewrites both files. The output is deterministic."""

import os
import struct

SIZE = 32
TIP_X, TIP_Y = 10, 5

# Rainbow stops from the tip to the end of the tail.
STOPS = [
    (0, 0, 255),      # blue
    (255, 0, 255),    # magenta
    (255, 0, 0),      # red
    (255, 150, 0),    # orange
    (255, 255, 0),    # yellow
    (0, 255, 0),      # green
    (0, 255, 255),    # cyan
]


def arrow_spans():
    """Filled column ranges (inclusive), per row relative to the tip."""
    spans = {}
    for r in range(0, 14):  # head: left side vertical, right side at 45 degrees
        spans[r] = [(0, r)]
    for r in range(14, 22):
        tail_left = 4 + (r - 13) // 2  # two rows down for one column right
        row = [(tail_left, tail_left + 4)]
        if r <= 17:  # the head's lower-left edge climbs from the left side to the tail
            left_end = 17 - r
            if left_end >= tail_left - 1:
                row = [(0, tail_left + 4)]
            else:
                row.insert(0, (0, left_end))
        spans[r] = row
    return spans


def arrow_pixels():
    inside = set()
    for r, row in arrow_spans().items():
        for a, b in row:
            for c in range(a, b + 1):
                inside.add((TIP_X + c, TIP_Y + r))
    return inside


def rainbow(t):
    t = min(max(t, 0.0), 1.0) * (len(STOPS) - 1)
    i = min(int(t), len(STOPS) - 2)
    f = t - i
    a, b = STOPS[i], STOPS[i + 1]
    return tuple(round(a[k] + (b[k] - a[k]) * f) for k in range(3))


def images():
    inside = arrow_pixels()

    def is_outline(x, y):
        return any((x + dx, y + dy) not in inside for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))

    interior = [p for p in inside if not is_outline(*p)]
    # Diagonal gradient: position along x + y, from the tip to the farthest interior pixel.
    d0 = TIP_X + TIP_Y
    d1 = max(x + y for x, y in interior)
    mask = [[1] * SIZE for _ in range(SIZE)]
    color = [[(0, 0, 0)] * SIZE for _ in range(SIZE)]
    for x, y in inside:
        mask[y][x] = 0
        if not is_outline(x, y):
            color[y][x] = rainbow((x + y - d0) / (d1 - d0))
    return mask, color


def bmp(bits_per_pixel, palette, rows):
    """rows: top-down list of already packed row bytes (each padded to 4 bytes)."""
    pixels = b"".join(reversed(rows))  # BMP rows go bottom-up
    offset = 14 + 40 + len(palette) * 4
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE, 1, bits_per_pixel, 0, len(pixels), 2835,
                       2835, len(palette), len(palette))
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    return header + info + pal + pixels


def mask_bmp(mask):
    rows = []
    for row in mask:
        value = 0
        for bit in row:
            value = (value << 1) | bit
        rows.append(struct.pack(">I", value))  # 32 pixels: exactly one padded row
    return bmp(1, [(0, 0, 0), (255, 255, 255)], rows)


def color_bmp(color):
    rows = [b"".join(struct.pack("<BBB", b, g, r) for r, g, b in row) for row in color]
    return bmp(24, [], rows)


def main():
    mask, color = images()
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "res")
    with open(os.path.join(out, "cursor_mask.bmp"), "wb") as f:
        f.write(mask_bmp(mask))
    with open(os.path.join(out, "cursor_color.bmp"), "wb") as f:
        f.write(color_bmp(color))


if __name__ == "__main__":
    main()
