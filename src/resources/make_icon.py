#!/usr/bin/env python3
"""Draws the source's icon (a flatbed scanner, 16 and 32 pixels) and writes
vorelsrc.ico: 32-bit images with an AND mask, as Windows reads them."""
import struct
import sys


def draw(size):
    s = size / 32.0
    px = [[(0, 0, 0, 0)] * size for _ in range(size)]

    def rect(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), max(int(y0 * s) + 1, int(y1 * s))):
            for x in range(int(x0 * s), max(int(x0 * s) + 1, int(x1 * s))):
                if 0 <= x < size and 0 <= y < size:
                    px[y][x] = colour

    rect(2, 12, 30, 26, (40, 40, 48, 255))       # body outline
    rect(3, 13, 29, 25, (196, 198, 204, 255))    # body
    rect(2, 8, 30, 12, (40, 40, 48, 255))        # lid outline
    rect(3, 9, 29, 11, (120, 160, 220, 255))     # glass under the lid
    rect(5, 16, 27, 18, (60, 100, 180, 255))     # scan light bar
    rect(23, 21, 26, 23, (40, 200, 80, 255))     # power light
    return px


def image_entry(size):
    px = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = b''
    for y in reversed(range(size)):
        for (r, g, b, a) in px[y]:
            rows += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = b''
    for y in reversed(range(size)):
        bits = 0
        row = bytearray(mask_stride)
        for x in range(size):
            if px[y][x][3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(row)
    return header + rows + mask


def main(path):
    sizes = (16, 32)
    images = [image_entry(n) for n in sizes]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', n, n, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'vorelsrc.ico')
