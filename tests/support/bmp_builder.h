// BMP files built in code, of the kinds image editors write.
#pragma once

#include "logo/picture/grey_picture.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tolvane::testing {

struct Rgb {
    Byte red, green, blue;
};

struct BmpHeaders {
    std::uint32_t infoHeaderSize = 40;  // 12: OS/2 1.x (no compression field, 3-byte palette entries)
    std::int32_t width = 384;
    std::int32_t height = 64;  // negative: top row first
    std::uint16_t bitsPerPixel = 8;
    std::uint32_t compression = 0;
    std::vector<Rgb> palette{};         // written as is
    std::uint32_t coloursUsed = 0;      // the header field
    std::uint32_t gapBeforePixels = 0;  // extra bytes between palette and pixels
};

// A file with these headers whose pixel rows are `rows` (already padded, in file
// order). The pixel data offset and sizes are filled in from the parts; header
// bytes past the 40-byte layout are zero.
std::vector<Byte> buildBmp(const BmpHeaders& headers, const std::vector<Byte>& rows);

// An 8-bit file showing the logo with the palette given: pixel = index of its
// grey level in `greyToIndex`.
std::vector<Byte> buildIndexedBmp(const LogoImage& logo, const BmpHeaders& headers,
                                  const std::array<Byte, 256>& greyToIndex);

std::vector<Rgb> greyPalette();

// The logo a 384 x 64 bitmap decodes to; messages call the file name.
LogoImage decodedLogo(std::span<const Byte> file, const std::string& name);

// Palette indices of a picture, 64 rows of 384, in file order (bottom row first).
std::vector<Byte> indicesBottomUp(const LogoImage& logo, const std::array<Byte, 256>& greyToIndex);

// Indices packed 1, 4 or 8 to a pixel, each row padded to 4 bytes.
std::vector<Byte> packRows(const std::vector<Byte>& indices, int bits);

// RLE8: repeated pixels as runs, the rest as stored pixels; end-of-row after
// each row and end-of-picture at the end.
std::vector<Byte> encodeRle8(const std::vector<Byte>& indices);
// RLE4: even rows as stored pixels, odd rows as two-colour runs.
std::vector<Byte> encodeRle4(const std::vector<Byte>& indices);

}  // namespace tolvane::testing
