#!/usr/bin/env python3
"""Writes the Windows icon (.ico) from the icon's letters in ui/common/include/ui/common/app_icon_letters.h.

The cross build cannot run programs it builds, so this host step draws the icon:
18 x 16 as both windows show it, and square sizes for Explorer and dense screens.
Usage: make-icon.py app_icon_letters.h OUTPUT.ico
"""
import re
import struct
import sys


def read_letters(header):
    text = open(header, encoding="utf-8").read()
    grid = re.search(r"kIconLetters\[3\]\[7\]\s*=\s*\{(.*?)\};", text, re.S)
    rows = re.findall(r'"([.#]{5})"', grid.group(1)) if grid else []
    blue = re.search(r"kIconBlue\[3\]\s*=\s*\{\s*(0x[0-9A-Fa-f]+),\s*(0x[0-9A-Fa-f]+),\s*(0x[0-9A-Fa-f]+)\s*\}", text)
    constants = dict(re.findall(r"constexpr int (kIcon\w+) = (\d+);", text))
    if len(rows) != 21 or not blue or len(constants) != 4:
        sys.exit(f"make-icon.py: {header} does not hold the icon's letters in the expected form")
    letters = [rows[k * 7:(k + 1) * 7] for k in range(3)]
    return letters, tuple(int(v, 16) for v in blue.groups()), {k: int(v) for k, v in constants.items()}


def draw(letters, width, height, left, top, scale, gap):
    """Rows of booleans, top first: True where a letter's pixel is."""
    pixels = [[False] * width for _ in range(height)]
    for k, letter in enumerate(letters):
        for y, row in enumerate(letter):
            for x, cell in enumerate(row):
                if cell != "#":
                    continue
                for dy in range(scale):
                    for dx in range(scale):
                        pixels[top + y * scale + dy][left + k * (5 * scale + gap) + x * scale + dx] = True
    return pixels


def icon_image(pixels, blue):
    """One icon entry: a 32-bit DIB (rows bottom first, height doubled for the mask) and an empty AND mask."""
    height, width = len(pixels), len(pixels[0])
    header = struct.pack("<IiiHHIIiiII", 40, width, 2 * height, 1, 32, 0, 0, 0, 0, 0, 0)
    on = bytes((blue[2], blue[1], blue[0], 255))
    off = bytes((0, 0, 0, 255))
    colour = b"".join(on if cell else off for row in reversed(pixels) for cell in row)
    mask_stride = (width + 31) // 32 * 4
    return header + colour + bytes(mask_stride * height)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__.strip().splitlines()[-1])
    letters, blue, c = read_letters(sys.argv[1])
    width, height = c["kIconWidth"], c["kIconHeight"]
    images = [draw(letters, width, height, c["kIconLetterLeft"], c["kIconLetterTop"], 1, 1)]
    # Square icons: letters at 2 and 4 times, half a letter pixel apart, centred.
    for size, scale in ((32, 2), (64, 4)):
        images.append(draw(letters, size, size, 0, (size - 7 * scale) // 2, scale, scale // 2))
    entries, data = b"", b""
    offset = 6 + 16 * len(images)
    for pixels in images:
        image = icon_image(pixels, blue)
        entries += struct.pack("<BBBBHHII", len(pixels[0]), len(pixels), 0, 0, 1, 32, len(image), offset + len(data))
        data += image
    with open(sys.argv[2], "wb") as out:
        out.write(struct.pack("<HHH", 0, 1, len(images)) + entries + data)


main()
