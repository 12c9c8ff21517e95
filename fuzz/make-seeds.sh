#!/bin/sh
# Writes a seed corpus into $1: a 384 x 64 picture as every kind of BMP and PNG
# the readers take, made by ImageMagick, plus an RLE4 BMP and a 16-bit one with
# a 56-byte header that it cannot write; and with $2, the program that makes the
# sample disc, CHDs of that disc as chdman makes them of a CD and of a DVD.
set -eu
out=$1
sample=${2:-}
mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work" <<'PY'
import struct, sys
work = sys.argv[1]
w, h = 384, 64
pixels = bytes(((x * 3 + y * 5 + (x * y) % 7) % 256) for y in range(h) for x in range(w))
open(f"{work}/logo.pgm", "wb").write(b"P5 384 64 255\n" + pixels)
colours = bytes(v for y in range(h) for x in range(w) for v in (x * 7 % 256, (y * 9 + x) % 256, x * y % 256))
open(f"{work}/colour.ppm", "wb").write(b"P6 384 64 255\n" + colours)

# RLE4: 16 greys, each row as two-colour runs.
rows = b""
for y in range(h - 1, -1, -1):
    for x in range(0, w, 2):
        a, b = pixels[y * w + x] >> 4, pixels[y * w + x + 1] >> 4
        rows += bytes([2, a << 4 | b])
    rows += b"\0\0"
rows += b"\0\1"
palette = b"".join(bytes([n * 17] * 3 + [0]) for n in range(16))
offset = 14 + 40 + len(palette)
info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 4, 2, len(rows), 2835, 2835, 16, 0)
open(f"{work}/rle4.bmp", "wb").write(b"BM" + struct.pack("<IHHI", offset + len(rows), 0, 0, offset) + info + palette + rows)

# 16-bit X1R5G5B5 with a 56-byte header: the 40-byte one and four colour masks.
rows = b"".join(struct.pack("<H", (pixels[y * w + x] >> 3) * 0x421) for y in range(h - 1, -1, -1) for x in range(w))
offset = 14 + 56
info = struct.pack("<IiiHHIIiiII", 56, w, h, 1, 16, 3, len(rows), 2835, 2835, 0, 0)
info += struct.pack("<IIII", 0x7C00, 0x03E0, 0x001F, 0)
open(f"{work}/v3-16.bmp", "wb").write(b"BM" + struct.pack("<IHHI", offset + len(rows), 0, 0, offset) + info + rows)
PY

cp "$work/rle4.bmp" "$work/v3-16.bmp" "$out/"
n=0
for kind in "-type Palette BMP" "-type Palette BMP3" "-type Palette -compress None BMP3" \
            "-flip -type Palette -compress None BMP3" "-colors 16 -type Palette -compress None BMP3" \
            "-colors 2 -type Palette BMP3" "-type TrueColor BMP3" "-type TrueColorAlpha BMP" \
            "-define bmp:subtype=RGB565 BMP" "-type Palette BMP2" "-colors 16 -type Palette BMP2"; do
    n=$((n + 1))
    # shellcheck disable=SC2086
    convert "$work/logo.pgm" ${kind% *} "${kind##* }:$out/seed-$n.bmp"
done
n=0
grey="-define png:color-type=0 -define png:bit-depth="
for kind in "logo.pgm ${grey}8 PNG" "logo.pgm -threshold 50% ${grey}1 PNG" "logo.pgm -posterize 4 ${grey}2 PNG" \
            "logo.pgm -depth 16 ${grey}16 PNG" "logo.pgm -alpha set -define png:color-type=4 PNG" \
            "logo.pgm -interlace PNG ${grey}8 PNG" "colour.ppm PNG8" \
            "colour.ppm +dither -colors 16 -define png:bit-depth=4 PNG8" "colour.ppm PNG24" \
            "colour.ppm -alpha set PNG32" "colour.ppm -depth 16 PNG48" "colour.ppm -interlace PNG -alpha set PNG64"; do
    n=$((n + 1))
    # shellcheck disable=SC2086
    convert "$work/"${kind% *} "${kind##* }:$out/seed-$n.png"
done

if [ -n "$sample" ] && command -v chdman >/dev/null; then
    # The sample disc grown to 80 sectors (chdman reads back some CHDs of fewer wrongly), and its ISO.
    "$sample" "$work/sample.bin"
    python3 - "$work" <<'PY'
import sys
work = sys.argv[1]
raw = open(f"{work}/sample.bin", "rb").read()
raw += bytes(80 * 2352 - len(raw))
open(f"{work}/cd.bin", "wb").write(raw)
open(f"{work}/cd.cue", "w").write('FILE "cd.bin" BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n')
open(f"{work}/dvd.iso", "wb").write(b"".join(raw[n * 2352 + 24:n * 2352 + 2072] for n in range(80)))
PY
    (cd "$work" &&
        chdman createcd -i cd.cue -o "$out/cd.chd" -f &&
        chdman createcd -i cd.cue -o "$out/cd-cdfl.chd" -c cdfl -f &&
        chdman createraw -i dvd.iso -o dvd-raw.chd --unitsize 2048 --hunksize 4096 -c none -f &&
        chdman addmeta -i dvd-raw.chd --tag "DVD " --valuetext "" &&
        chdman copy -i dvd-raw.chd -o "$out/dvd.chd" -c lzma,zlib,huff,flac -f &&
        chdman copy -i dvd-raw.chd -o "$out/dvd-huff.chd" -c huff -f) >/dev/null 2>&1
fi
