#!/usr/bin/env python3
"""Draws the installer's icon: a compact disc with an arrow pointing down into
it (copy to the hard disk), as one .ico with a 32x32 and a 16x16 image in the
16 standard Windows colours. Usage: make-icon.py OUTPUT.ico"""
import struct
import sys

# The 16-colour VGA palette, as Windows uses it for 4-bit icons.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
    (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARK_GREY, LIGHT_GREY, WHITE, CYAN, GREEN, DARK_GREEN = 0, 8, 7, 15, 14, 10, 2


def draw(size):
    """Returns rows (top first) of palette indices, None for transparent."""
    s = size / 32.0
    centre = (size - 1) / 2.0
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            d = ((x - centre) ** 2 + (y - centre) ** 2) ** 0.5
            pixel = None
            if d <= 15.5 * s:
                pixel = DARK_GREY if d > 14.5 * s else LIGHT_GREY
                if 8 * s < d < 12 * s and x > y:
                    pixel = CYAN  # the disc's sheen
                if d < 5.5 * s:
                    pixel = WHITE
                if d < 3 * s:
                    pixel = None  # the hole
            # The arrow: a shaft and a head, over the disc's upper half.
            ax, ay = x / s, y / s
            if 13 <= ax <= 18 and 1 <= ay <= 13:
                pixel = GREEN if 14 <= ax <= 17 else DARK_GREEN
            if 13 <= ay <= 21 and abs(ax - 15.5) <= (21 - ay) * 0.9:
                pixel = GREEN if abs(ax - 15.5) <= (21 - ay) * 0.9 - 1 else DARK_GREEN
            row.append(pixel)
        rows.append(row)
    return rows


def image(size):
    rows = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    xor_stride = ((size * 4 + 31) // 32) * 4
    and_stride = ((size + 31) // 32) * 4
    xor, mask = b'', b''
    for row in reversed(rows):  # bitmaps are stored bottom-up
        nibbles = [p if p is not None else 0 for p in row]
        line = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
        xor += line.ljust(xor_stride, b'\0')
        bits = 0
        out = b''
        for i, p in enumerate(row):
            bits = (bits << 1) | (1 if p is None else 0)
            if i % 8 == 7:
                out += bytes([bits])
                bits = 0
        mask += out.ljust(and_stride, b'\0')
    return header + palette + xor + mask


def main():
    images = [(32, image(32)), (16, image(16))]
    data = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, body in images:
        data += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(body), offset)
        offset += len(body)
    data += b''.join(body for _, body in images)
    with open(sys.argv[1], 'wb') as out:
        out.write(data)


if __name__ == '__main__':
    main()
