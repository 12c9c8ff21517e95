#!/usr/bin/env python3
"""PNG files of every kind as ImageMagick writes them, for png_kinds_test.

Writes into FOLDER, for each kind in KINDS, kind-NN.png (the file ImageMagick
wrote, checked to be of that kind) and kind-NN.rgb (its red, green and blue as
ImageMagick reads them, 8 bits each), then kinds.txt naming them. The Linux and
the Windows tests read the same files.

Usage: make_png_kinds.py FOLDER
Exit status 77 (skipped) when ImageMagick is missing, unless TOLVANE_REQUIRE_TOOLS=1.
"""
import os
import shutil
import subprocess
import sys

W, H = 384, 64


def netpbm(path, kind, maxval, sample):
    """A binary PGM (kind 5) or PPM (6) of the logo's size; a maxval above 255 takes two bytes a sample."""
    data = bytearray(f"P{kind} {W} {H} {maxval}\n".encode())
    for y in range(H):
        for x in range(W):
            for c in range(1 if kind == 5 else 3):
                v = sample(x, y, c) % (maxval + 1)
                data += v.to_bytes(2, "big") if maxval > 255 else bytes([v])
    with open(path, "wb") as f:
        f.write(data)


def inputs(folder):
    # The tests' patternLogo(11): every row and column differ.
    netpbm(f"{folder}/grey.pgm", 5, 255, lambda x, y, c: x * 3 + y * 5 + 11 * 17)
    # 16-bit samples of every remainder by 257, so that rounding to 8 bits shows.
    netpbm(f"{folder}/grey16.pgm", 5, 65535, lambda x, y, c: (x + W * y) * 4099 + x * y)
    # Colours, with every fifth column grey.
    netpbm(f"{folder}/colour.ppm", 6, 255,
           lambda x, y, c: x + y if x % 5 == 0 else (x * 7, y * 9 + x, x * y)[c])
    netpbm(f"{folder}/colour16.ppm", 6, 65535,
           lambda x, y, c: ((x + W * y) * 4099, (x + W * y) * 2053 + 7, x * y * 97)[c])


GREY = "-define png:color-type=0 -define png:bit-depth="
GREY_ALPHA = "-alpha set -channel A -fx i/w +channel -define png:color-type=4 -define png:bit-depth="
ALPHA = "-alpha set -channel A -fx j/h +channel "
# ImageMagick's arguments, and the bits a sample, colour type and interlace method it must write.
KINDS = [
    ("grey.pgm " + GREY + "8 PNG:out.png", 8, 0, 0),
    ("grey.pgm -threshold 50% " + GREY + "1 PNG:out.png", 1, 0, 0),
    ("grey.pgm -posterize 4 " + GREY + "2 PNG:out.png", 2, 0, 0),
    ("grey.pgm -posterize 16 " + GREY + "4 PNG:out.png", 4, 0, 0),
    ("grey16.pgm " + GREY + "16 PNG:out.png", 16, 0, 0),
    ("grey.pgm -transparent 'gray(10)' " + GREY + "8 PNG:out.png", 8, 0, 0),
    ("grey.pgm " + GREY_ALPHA + "8 PNG:out.png", 8, 4, 0),
    ("grey16.pgm " + GREY_ALPHA + "16 PNG:out.png", 16, 4, 0),
    ("colour.ppm PNG8:out.png", 8, 3, 0),
    ("colour.ppm -transparent black PNG8:out.png", 8, 3, 0),
    ("colour.ppm +dither -colors 16 -define png:bit-depth=4 PNG8:out.png", 4, 3, 0),
    ("colour.ppm +dither -colors 4 -define png:bit-depth=2 PNG8:out.png", 2, 3, 0),
    ("colour.ppm +dither -colors 2 -define png:bit-depth=1 PNG8:out.png", 1, 3, 0),
    ("colour.ppm PNG24:out.png", 8, 2, 0),
    ("colour.ppm " + ALPHA + "PNG32:out.png", 8, 6, 0),
    ("colour16.ppm PNG48:out.png", 16, 2, 0),
    ("colour16.ppm " + ALPHA + "PNG64:out.png", 16, 6, 0),
    ("grey.pgm -interlace PNG " + GREY + "8 PNG:out.png", 8, 0, 1),
    ("grey.pgm -threshold 50% -interlace PNG " + GREY + "1 PNG:out.png", 1, 0, 1),
    ("grey16.pgm -interlace PNG " + GREY_ALPHA + "16 PNG:out.png", 16, 4, 1),
    ("colour.ppm +dither -colors 4 -interlace PNG -define png:bit-depth=2 PNG8:out.png", 2, 3, 1),
    ("colour16.ppm -interlace PNG PNG48:out.png", 16, 2, 1),
    ("colour.ppm -interlace PNG " + ALPHA + "PNG32:out.png", 8, 6, 1),
]


def run(folder, command):
    subprocess.run(command, shell=True, cwd=folder, check=True)


def main():
    folder = sys.argv[1]
    shutil.rmtree(folder, ignore_errors=True)  # no files of an earlier run read as this one's
    missing = [p for p in ("convert", "stream") if not shutil.which(p)]
    if missing:
        print(f"{' and '.join(missing)} not on PATH (make test installs ImageMagick)")
        sys.exit(1 if os.environ.get("TOLVANE_REQUIRE_TOOLS") == "1" else 77)
    os.makedirs(folder)
    inputs(folder)
    listing = []
    for n, (arguments, bits, colour_type, interlace) in enumerate(KINDS, 1):
        run(folder, "convert " + arguments)
        with open(f"{folder}/out.png", "rb") as f:
            header = f.read(29)
        if (header[24], header[25], header[28]) != (bits, colour_type, interlace):
            sys.exit(f"ImageMagick wrote another kind for {arguments}: {header[24]}, {header[25]}, {header[28]}")
        # Its samples scaled to 8 bits: stream for 16 bits, round(v / 257) (convert's
        # -depth 8 truncates them in ImageMagick 6), convert for the rest (stream
        # hands out 1- to 4-bit grey unscaled).
        if bits == 16:
            run(folder, "stream -map rgb -storage-type char out.png out.rgb")
        else:
            run(folder, "convert out.png -depth 8 rgb:out.rgb")
        name = f"kind-{n:02}"
        os.replace(f"{folder}/out.png", f"{folder}/{name}.png")
        os.replace(f"{folder}/out.rgb", f"{folder}/{name}.rgb")
        listing.append(f"{name} {arguments}\n")
    with open(f"{folder}/kinds.txt", "w") as f:
        f.writelines(listing)


if __name__ == "__main__":
    main()
