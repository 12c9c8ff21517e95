// PNG files that would import a wrong picture, or read past what they hold, if
// the reader believed them: one for each check, and the damage each check lets
// through.
#include "logo/picture/bitmap_exchange.h"
#include "logo/picture/png_exchange.h"
#include "support/png_builder.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

using testing::buildPng;
using testing::failureOf;
using testing::fixChunkCrc;
using testing::pngChunk;
using testing::PngHeader;
using testing::storedZlib;

// Rows of 2-bit palette indices, all 0 but the pixel at x 301, y 37: `index`.
// 301 x 2 bits puts it in the middle of a byte, at bits 5 and 4.
std::vector<Byte> twoBitRows(Byte index) {
    std::vector<Byte> rows(64 * (1 + 384 / 4));
    rows[37 * 97 + 1 + 75] = static_cast<Byte>(index << 4);
    return rows;
}

std::vector<Byte> palette(std::size_t entries) {
    const Byte colours[] = {10, 20, 30, 40, 50, 60, 70, 80, 90, 200, 100, 50};
    return pngChunk("PLTE", std::span<const Byte>(colours, 3 * entries));
}

// A grey picture's rows, each after filter byte 0.
std::vector<Byte> greyRows(const GreyPicture& picture) {
    std::vector<Byte> rows;
    for (std::size_t y = 0; y < picture.height(); ++y) {
        rows.push_back(0);
        rows.insert(rows.end(), picture.row(y).begin(), picture.row(y).end());
    }
    return rows;
}

TEST(PngDamage, IsRefusedWithTheCheckThatFoundIt) {
    const GreyPicture picture = pictureOf(testing::patternLogo(3));
    const auto reason = [](std::span<const Byte> file) {
        return failureOf([&] { decodePng(file, "\"x.png\"", kLogoShape); });
    };

    auto flipped = encodePng(picture);  // IHDR, then the IDAT chunk at 33
    flipped[33 + 8 + 100] ^= 0x10;
    EXPECT_EQ(reason(flipped), "\"x.png\" is damaged: its IDAT chunk at byte 33 fails its CRC check");

    // A pixel changed and its chunk's CRC made to match: the zlib stream's Adler-32 is still the old one.
    const auto rows = greyRows(picture);
    auto recrc = buildPng({}, {}, storedZlib(rows));
    recrc[33 + 8 + 2 + 5 + 1000] ^= 0x10;  // past the zlib header and the first stored block's header
    fixChunkCrc(recrc, 33);
    EXPECT_EQ(reason(recrc), "\"x.png\" is damaged: its pixel data fails its Adler-32 check");
    auto stream = storedZlib(rows);
    // The pixel data in two IDAT chunks with a comment between them, each chunk whole.
    const std::size_t half = stream.size() / 2;
    auto split = buildPng({}, {}, std::span(stream).first(half));  // IHDR, IDAT at 33, IEND
    const auto comment = pngChunk("tEXt", std::vector<Byte>{'a', 0, 'b'});
    const auto rest = pngChunk("IDAT", std::span(stream).subspan(half));
    split.insert(split.end() - 12, rest.begin(), rest.end());
    split.insert(split.end() - 12 - rest.size(), comment.begin(), comment.end());
    EXPECT_EQ(reason(split), "\"x.png\" is damaged: its IDAT chunks are not consecutive: its tEXt chunk at byte " +
                                 std::to_string(33 + 12 + half) + " stands between them");
    stream.resize(stream.size() - 4);
    EXPECT_EQ(reason(buildPng({}, {}, stream)), "\"x.png\" is damaged: its pixel data is cut off before its end");

    // Three colours, and a pixel of index 3.
    EXPECT_EQ(reason(buildPng({.bits = 2, .colourType = 3}, {palette(3)}, storedZlib(twoBitRows(3)))),
              "\"x.png\" is damaged: its pixel at x 301, y 37 is palette entry 3, but its palette has 3 entries");

    // Sides past 2^24 and up to the PNG maximum, 2^31 - 1: each told its shape.
    for (const auto& [width, height] :
         {std::pair<std::uint32_t, std::uint32_t>{16777217, 64}, {384, 16777217}, {2147483647, 2147483647}})
        EXPECT_EQ(
            reason(buildPng({width, height}, {}, storedZlib({}))),
            "\"x.png\" is " + std::to_string(width) + " x " + std::to_string(height) + " pixels; the logo is 384 x 64");
}

TEST(PngDamage, ThatDoesNotReachThePictureIsLetPass) {
    const GreyPicture picture = pictureOf(testing::patternLogo(4));
    // An ancillary chunk (a comment) whose CRC does not match: left out.
    auto file = encodePng(picture);
    const auto comment = pngChunk("tEXt", std::vector<Byte>{'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 'h', 'i'});
    file.insert(file.begin() + 33, comment.begin(), comment.end());
    file[33 + 8 + 9] ^= 0x01;
    EXPECT_EQ(decodePng(file, "f", kLogoShape), picture);

    // Four colours: index 3 is in the palette, and lands on its own pixel.
    const GreyPicture fourColours =
        decodePng(buildPng({.bits = 2, .colourType = 3}, {palette(4)}, storedZlib(twoBitRows(3))), "f", kLogoShape);
    GreyPicture expected(kLogoShape, greyLevel(10, 20, 30));
    expected.row(37)[301] = greyLevel(200, 100, 50);
    EXPECT_EQ(fourColours, expected);
}

}  // namespace
}  // namespace tolvane
