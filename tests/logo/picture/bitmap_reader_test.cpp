// Bitmaps of every kind image editors write, built in code, and damaged ones.
#include "logo/picture/bitmap_exchange.h"
#include "logo/picture/picture_file.h"

#include "logo/base/bytes.h"
#include "logo/base/failure.h"
#include "support/bmp_builder.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace tolvane {
namespace {

using testing::BmpHeaders;
using testing::buildBmp;
using testing::decodedLogo;
using testing::encodeRle4;
using testing::encodeRle8;
using testing::indicesBottomUp;
using testing::packRows;
using testing::Rgb;

// A picture in the given grey levels, different along every row and column.
LogoImage picture(const std::vector<Byte>& levels) {
    LogoImage logo{};
    for (std::size_t k = 0; k < kLogoLength; ++k) {
        const std::size_t x = k % 384, y = k / 384;
        logo[k] = levels[(x / 5 + y * 3 + (x * y) % 7) % levels.size()];
    }
    return logo;
}

// A palette holding the levels in reverse order, and the map from level to index.
struct Palette {
    std::vector<Rgb> entries;
    std::array<Byte, 256> index{};
};
Palette reversed(const std::vector<Byte>& levels) {
    Palette p;
    for (std::size_t i = 0; i < levels.size(); ++i) {
        const Byte g = levels[levels.size() - 1 - i];
        p.entries.push_back({g, g, g});
        p.index[g] = static_cast<Byte>(i);
    }
    return p;
}

std::string failureOf(const std::vector<Byte>& file) {
    return testing::failureOf([&] { decodedLogo(file, "\"x.bmp\""); });
}

const std::vector<Byte> kTwo{0, 255};
const std::vector<Byte> kSixteen{0, 17, 34, 51, 68, 85, 102, 119, 136, 153, 170, 187, 204, 221, 238, 255};

TEST(BitmapKinds, OneAndTwoBitThroughTheirPalettes) {
    const Palette p = reversed(kTwo);
    const auto rows = packRows(indicesBottomUp(picture(kTwo), p.index), 1);
    EXPECT_EQ(decodedLogo(buildBmp({.bitsPerPixel = 1, .palette = p.entries, .coloursUsed = 2}, rows), "f"),
              picture(kTwo));

    const std::vector<Byte> four{10, 90, 160, 240};
    const Palette q = reversed(four);
    const auto twoBitRows = packRows(indicesBottomUp(picture(four), q.index), 2);
    EXPECT_EQ(decodedLogo(buildBmp({.bitsPerPixel = 2, .palette = q.entries}, twoBitRows), "f"), picture(four));
}

TEST(BitmapKinds, FourBitWithFullAndShortPalettes) {
    const Palette p = reversed(kSixteen);
    const auto rows = packRows(indicesBottomUp(picture(kSixteen), p.index), 4);
    EXPECT_EQ(decodedLogo(buildBmp({.bitsPerPixel = 4, .palette = p.entries}, rows), "f"), picture(kSixteen));

    const std::vector<Byte> five{3, 60, 128, 190, 250};
    const Palette q = reversed(five);
    const auto shortRows = packRows(indicesBottomUp(picture(five), q.index), 4);
    EXPECT_EQ(decodedLogo(buildBmp({.bitsPerPixel = 4, .palette = q.entries, .coloursUsed = 5}, shortRows), "f"),
              picture(five));
}

TEST(BitmapKinds, Rle8AndRle4) {
    const LogoImage logo = testing::patternLogo(3);
    std::array<Byte, 256> identity{};
    for (int i = 0; i < 256; ++i) identity[i] = static_cast<Byte>(i);
    const auto rle8 = encodeRle8(indicesBottomUp(logo, identity));
    EXPECT_EQ(decodedLogo(buildBmp({.compression = 1, .palette = testing::greyPalette()}, rle8), "f"), logo);

    const Palette p = reversed(kSixteen);
    const auto rle4 = encodeRle4(indicesBottomUp(picture(kSixteen), p.index));
    EXPECT_EQ(decodedLogo(
                  buildBmp({.bitsPerPixel = 4, .compression = 2, .palette = p.entries, .coloursUsed = 16}, rle4), "f"),
              picture(kSixteen));
}

TEST(BitmapKinds, RleMovesLeaveSkippedPixelsAtColourZero) {
    const std::vector<Rgb> palette{{9, 9, 9}, {200, 200, 200}};
    // Bottom row: three pixels of colour 1, then a move 10 right and 62 up,
    // two pixels of colour 1, end of picture.
    const std::vector<Byte> data{3, 1, 0, 2, 10, 62, 2, 1, 0, 1};
    const LogoImage logo = decodedLogo(buildBmp({.compression = 1, .palette = palette, .coloursUsed = 2}, data), "f");
    EXPECT_EQ(logo[63 * 384 + 0], 200);
    EXPECT_EQ(logo[63 * 384 + 2], 200);
    EXPECT_EQ(logo[63 * 384 + 3], 9);
    EXPECT_EQ(logo[1 * 384 + 13], 200);  // file row 62 is picture row 1
    EXPECT_EQ(logo[1 * 384 + 14], 200);
    EXPECT_EQ(logo[1 * 384 + 15], 9);
    EXPECT_EQ(logo[0], 9);
}

std::vector<Byte> trueColourRows(const LogoImage& logo, int bits, const std::array<std::uint32_t, 3>& masks) {
    std::vector<Byte> rows;
    for (std::size_t fileRow = 0; fileRow < 64; ++fileRow)
        for (std::size_t x = 0; x < 384; ++x) {
            const std::uint32_t g = logo[(63 - fileRow) * 384 + x];
            std::uint32_t pixel = 0;
            for (std::uint32_t mask : masks) {
                const int shift = std::countr_zero(mask);
                const std::uint32_t max = mask >> shift;
                pixel |= ((g * max + 127) / 255) << shift;
            }
            for (int i = 0; i < bits / 8; ++i) rows.push_back(static_cast<Byte>(pixel >> (8 * i)));
        }
    return rows;
}

std::vector<Byte> withMasks(std::vector<Byte> file, const std::array<std::uint32_t, 3>& masks) {
    // The masks stand right after a 40-byte header, or inside a larger one at the same place.
    std::vector<Byte> maskBytes(12);
    for (std::size_t c = 0; c < 3; ++c) writeLe32(maskBytes, 4 * c, masks[c]);
    std::copy(maskBytes.begin(), maskBytes.end(), file.begin() + 54);
    return file;
}

TEST(BitmapKinds, SixteenAndThirtyTwoBitWithAndWithoutMasks) {
    const LogoImage greys = picture({0, 255, 128, 64});  // levels that 5 and 6 bits keep exactly... or nearly
    const std::array<std::uint32_t, 3> rgb565{0xF800, 0x07E0, 0x001F};
    auto file = withMasks(
        buildBmp({.infoHeaderSize = 108, .bitsPerPixel = 16, .compression = 3}, trueColourRows(greys, 16, rgb565)),
        rgb565);
    const LogoImage from565 = decodedLogo(file, "f");
    for (std::size_t k = 0; k < kLogoLength; ++k) ASSERT_NEAR(from565[k], greys[k], 4) << k;

    const std::array<std::uint32_t, 3> rgb555{0x7C00, 0x03E0, 0x001F};
    const LogoImage from555 = decodedLogo(buildBmp({.bitsPerPixel = 16}, trueColourRows(greys, 16, rgb555)), "f");
    for (std::size_t k = 0; k < kLogoLength; ++k) ASSERT_NEAR(from555[k], greys[k], 4) << k;

    const LogoImage exact = testing::patternLogo(4);
    const std::array<std::uint32_t, 3> bgrx{0x0000FF00, 0x00FF0000, 0xFF000000};
    BmpHeaders headers{.infoHeaderSize = 40, .bitsPerPixel = 32, .compression = 3, .gapBeforePixels = 12};
    EXPECT_EQ(decodedLogo(withMasks(buildBmp(headers, trueColourRows(exact, 32, bgrx)), bgrx), "f"), exact);
    const std::array<std::uint32_t, 3> xrgb{0xFF0000, 0xFF00, 0xFF};
    EXPECT_EQ(decodedLogo(buildBmp({.bitsPerPixel = 32}, trueColourRows(exact, 32, xrgb)), "f"), exact);
}

// Pixels of distinct red, green and blue at every true-colour depth, with and
// without masks: a reader that swaps two channels or takes one from the wrong
// bits shows it.
TEST(BitmapKinds, TrueColourPixelsKeepTheirChannelsApart) {
    struct Colour {
        bool red, green, blue;
        Byte grey;  // (299 R + 587 G + 114 B) / 1000, rounded
    };
    const Colour colours[] = {{0, 0, 0, 0},  {0, 0, 1, 29},  {0, 1, 0, 150}, {0, 1, 1, 179},
                              {1, 0, 0, 76}, {1, 0, 1, 105}, {1, 1, 0, 226}, {1, 1, 1, 255}};
    const auto at = [&](std::size_t x, std::size_t y) { return colours[(x + 3 * y) % 8]; };
    LogoImage expected{};
    for (std::size_t y = 0; y < 64; ++y)
        for (std::size_t x = 0; x < 384; ++x) expected[y * 384 + x] = at(x, y).grey;
    const auto rows = [&](int bits, const std::array<std::uint32_t, 3>& masks) {
        std::vector<Byte> out;
        for (std::size_t fileRow = 0; fileRow < 64; ++fileRow)
            for (std::size_t x = 0; x < 384; ++x) {
                const Colour c = at(x, 63 - fileRow);
                const std::uint32_t pixel = (c.red ? masks[0] : 0) | (c.green ? masks[1] : 0) | (c.blue ? masks[2] : 0);
                for (int i = 0; i < bits / 8; ++i) out.push_back(static_cast<Byte>(pixel >> (8 * i)));
            }
        return out;
    };
    const std::array<std::uint32_t, 3> rgb565{0xF800, 0x07E0, 0x001F}, rgb555{0x7C00, 0x03E0, 0x001F},
        xrgb{0xFF0000, 0xFF00, 0xFF}, bgrx{0x0000FF00, 0x00FF0000, 0xFF000000};
    const std::pair<const char*, std::vector<Byte>> files[] = {
        {"16-bit 5-6-5, masks",
         withMasks(buildBmp({.infoHeaderSize = 108, .bitsPerPixel = 16, .compression = 3}, rows(16, rgb565)), rgb565)},
        {"16-bit 5-5-5", buildBmp({.bitsPerPixel = 16}, rows(16, rgb555))},
        {"24-bit", buildBmp({.bitsPerPixel = 24}, rows(24, xrgb))},
        {"32-bit", buildBmp({.bitsPerPixel = 32}, rows(32, xrgb))},
        {"32-bit, masks",
         withMasks(buildBmp({.infoHeaderSize = 40, .bitsPerPixel = 32, .compression = 3, .gapBeforePixels = 12},
                            rows(32, bgrx)),
                   bgrx)},
    };
    for (const auto& [kind, file] : files) EXPECT_EQ(decodedLogo(file, "f"), expected) << kind;
}

// OS/2 1.x headers (12 bytes) have 16-bit sizes and 3-byte palette entries, as many
// as stand before the pixels; OS/2 2.x headers (16 to 64 bytes) are the 40-byte
// layout, cut short or with more fields after it.
TEST(BitmapKinds, Os2Headers) {
    const Palette p = reversed(kSixteen);
    const auto indices = indicesBottomUp(picture(kSixteen), p.index);
    EXPECT_EQ(decodedLogo(buildBmp({.infoHeaderSize = 12, .palette = p.entries}, packRows(indices, 8)), "f"),
              picture(kSixteen));
    EXPECT_EQ(decodedLogo(
                  buildBmp({.infoHeaderSize = 12, .bitsPerPixel = 4, .palette = p.entries}, packRows(indices, 4)), "f"),
              picture(kSixteen));
    // Top row first; 5 entries' room before the pixels, of which a 1-bit picture uses 2.
    const Palette two = reversed(kTwo);
    std::vector<Byte> flipped = indicesBottomUp(picture(kTwo), two.index);
    for (std::size_t r = 0; r < 32; ++r)
        std::swap_ranges(flipped.begin() + r * 384, flipped.begin() + (r + 1) * 384, flipped.end() - (r + 1) * 384);
    EXPECT_EQ(
        decodedLogo(
            buildBmp(
                {.infoHeaderSize = 12, .height = -64, .bitsPerPixel = 1, .palette = two.entries, .gapBeforePixels = 9},
                packRows(flipped, 1)),
            "f"),
        picture(kTwo));
    const LogoImage exact = testing::patternLogo(5);
    EXPECT_EQ(decodedLogo(buildBmp({.infoHeaderSize = 12, .bitsPerPixel = 24},
                                   trueColourRows(exact, 24, {0xFF0000, 0xFF00, 0xFF})),
                          "f"),
              exact);

    EXPECT_EQ(decodedLogo(buildBmp({.infoHeaderSize = 16, .palette = p.entries}, packRows(indices, 8)), "f"),
              picture(kSixteen));  // no colours-used field: 256 entries
    EXPECT_EQ(decodedLogo(buildBmp({.infoHeaderSize = 64, .compression = 1, .palette = p.entries, .coloursUsed = 16},
                                   encodeRle8(indices)),
                          "f"),
              picture(kSixteen));
    EXPECT_EQ(
        decodedLogo(
            buildBmp(
                {.infoHeaderSize = 36, .bitsPerPixel = 4, .compression = 2, .palette = p.entries, .coloursUsed = 16},
                encodeRle4(indices)),
            "f"),
        picture(kSixteen));
}

// Levels that 5- and 6-bit channels hold exactly once widened by repeating their
// bits (5-bit 3 is 24, 6-bit 57 is 231); rounding would give 25 and 230.
const std::vector<Byte> kSixteenBitGreys{0, 8, 16, 24, 231, 239, 247, 255};

// 52- and 56-byte headers end after the colour masks (56 with an alpha mask); GIMP
// writes them when told not to write colour space information. Compression 6 is
// bit fields with an alpha mask, after a 40-byte header too. Alpha is not used.
TEST(BitmapKinds, HeadersEndingAfterTheMasksAndAlphaBitFields) {
    const LogoImage greys = picture(kSixteenBitGreys);
    for (const std::array<std::uint32_t, 3>& masks :
         {std::array<std::uint32_t, 3>{0x7C00, 0x03E0, 0x001F}, std::array<std::uint32_t, 3>{0xF800, 0x07E0, 0x001F}}) {
        auto rows = trueColourRows(greys, 16, masks);
        if (masks[0] == 0x7C00)  // A1R5G5B5's alpha bit on some pixels
            for (std::size_t k = 1; k < rows.size(); k += 6) rows[k] |= 0x80;
        const auto file =
            withMasks(buildBmp({.infoHeaderSize = 56, .bitsPerPixel = 16, .compression = 3}, rows), masks);
        EXPECT_EQ(decodedLogo(file, "f"), greys) << masks[0];
    }

    const LogoImage exact = testing::patternLogo(8);
    const std::array<std::uint32_t, 3> argb{0xFF0000, 0xFF00, 0xFF};
    auto rows = trueColourRows(exact, 32, argb);
    for (std::size_t k = 3; k < rows.size(); k += 4) rows[k] = static_cast<Byte>(k / 4);  // alpha
    for (std::uint32_t headerSize : {52u, 56u})
        EXPECT_EQ(
            decodedLogo(
                withMasks(buildBmp({.infoHeaderSize = headerSize, .bitsPerPixel = 32, .compression = 3}, rows), argb),
                "f"),
            exact)
            << headerSize;

    const std::array<std::uint32_t, 3> bgra{0xFF00, 0xFF0000, 0xFF000000};  // alpha in the low byte
    auto alphaFields = withMasks(
        buildBmp({.bitsPerPixel = 32, .compression = 6, .gapBeforePixels = 16}, trueColourRows(exact, 32, bgra)), bgra);
    writeLe32(alphaFields, 66, 0xFF);
    EXPECT_EQ(decodedLogo(alphaFields, "f"), exact);
}

TEST(BitmapDamage, RleRunsAndMovesThatLeaveThePicture) {
    const std::vector<Rgb> palette{{0, 0, 0}, {255, 255, 255}};
    const auto rle = [&](std::vector<Byte> data) {
        return failureOf(buildBmp({.compression = 1, .palette = palette, .coloursUsed = 2}, data));
    };
    EXPECT_EQ(rle({255, 1, 200, 1}), "\"x.bmp\" is damaged: an RLE run overruns row 0");
    EXPECT_EQ(rle({0, 3, 1, 1}), "\"x.bmp\" is damaged: its RLE data ends inside a run");  // 3 stored, 2 there
    EXPECT_EQ(rle({0, 2, 200, 0, 0, 2, 200, 1}), "\"x.bmp\" is damaged: an RLE move leaves the picture at row 1");
    EXPECT_EQ(rle({0, 2, 1, 63, 0, 2, 0, 1}), "\"x.bmp\" is damaged: an RLE move leaves the picture at row 64");
    EXPECT_EQ(rle({0, 2, 5}), "\"x.bmp\" is damaged: its RLE data ends inside a run");
    EXPECT_EQ(rle({5, 1, 0, 0}), "\"x.bmp\" is damaged: its RLE data ends at row 1 of 64");
    EXPECT_EQ(rle({5, 7, 0, 1}), "\"x.bmp\" is damaged: pixel (0, 63) uses colour 7 of a palette of 2");

    std::vector<Byte> tooManyRows;
    for (int r = 0; r < 65; ++r) tooManyRows.insert(tooManyRows.end(), {1, 1, 0, 0});
    EXPECT_EQ(rle(tooManyRows), "\"x.bmp\" is damaged: its RLE data runs past the last row");
    std::vector<Byte> noEndMark;
    for (int r = 0; r < 64; ++r) noEndMark.insert(noEndMark.end(), {1, 1, 0, 0});
    EXPECT_EQ(rle(noEndMark), "(no failure)");
}

TEST(BitmapDamage, AbsurdHeaderFieldsAndOffsets) {
    const std::vector<Byte> rows(kLogoLength);
    auto file = buildBmp({.palette = testing::greyPalette()}, rows);
    auto patched = [&](std::size_t at, std::uint32_t value) {
        auto copy = file;
        writeLe32(copy, at, value);
        return failureOf(copy);
    };
    EXPECT_EQ(patched(14, 0xFFFFFFF0u),
              "\"x.bmp\" has an information header of 4294967280 bytes; only 12, 16 to 64, 108 and 124 are known");
    EXPECT_EQ(patched(10, 0xFFFFFFFFu),
              "\"x.bmp\" is too short: it has 25654 bytes, and its pixel data needs the first 4294991871; it was cut "
              "short, or its header is damaged");
    EXPECT_EQ(patched(18, 0x80000000u), "\"x.bmp\" is -2147483648 x 64 pixels; the logo is 384 x 64");
    EXPECT_EQ(patched(22, 0x80000000u), "\"x.bmp\" is 384 x 2147483648 pixels; the logo is 384 x 64");
    EXPECT_EQ(patched(46, 0xFFFFFFFFu),
              "\"x.bmp\" says its palette has 4294967295 colours; a 8-bit picture has at most 256");

    auto rle = buildBmp({.compression = 1, .palette = testing::greyPalette()}, {0, 1});
    writeLe32(rle, 10, 0x7FFFFFFF);
    EXPECT_EQ(failureOf(rle),
              "\"x.bmp\" is too short: it has 1080 bytes, and its pixel data needs the first 2147483647; it was cut "
              "short, or its header is damaged");

    auto masks = withMasks(
        buildBmp({.bitsPerPixel = 32, .compression = 3, .gapBeforePixels = 12}, std::vector<Byte>(4 * kLogoLength)),
        {0, 0, 0});
    EXPECT_EQ(failureOf(masks), "\"x.bmp\" is damaged: its colour masks are all zero");

    const std::vector<Byte> headerOnly(file.begin(), file.begin() + 30);
    EXPECT_EQ(failureOf(headerOnly),
              "\"x.bmp\" is too short: it has 30 bytes, and its header alone needs the first 54; it was cut short, or "
              "its header is damaged");
    const std::vector<Byte> paletteCut(file.begin(), file.begin() + 500);
    EXPECT_EQ(failureOf(paletteCut),
              "\"x.bmp\" is too short: it has 500 bytes, and its palette needs the first 1078; it was cut short, or "
              "its header is damaged");

    // An OS/2 1.x palette runs up to the pixels, so their offset must not fall inside the header.
    auto core = buildBmp({.infoHeaderSize = 12, .palette = testing::greyPalette()}, rows);
    EXPECT_EQ(failureOf({core.begin(), core.begin() + 20}),
              "\"x.bmp\" is too short: it has 20 bytes, and its header alone needs the first 26; it was cut short, or "
              "its header is damaged");
    writeLe32(core, 10, 20);
    EXPECT_EQ(failureOf(core), "\"x.bmp\" is damaged: its pixel data would start at 20, inside its header");
    writeLe32(core, 10, 0x7FFFFFFF);  // 256 entries are read, the rest is a gap before the pixels
    EXPECT_EQ(failureOf(core),
              "\"x.bmp\" is too short: it has 25370 bytes, and its pixel data needs the first 2147508223; it was cut "
              "short, or its header is damaged");
    writeLe32(core, 10, 26 + 3 * 200);  // a palette of 200: a pixel of colour 200 has none
    core[26 + 3 * 200] = 200;
    EXPECT_EQ(failureOf(core), "\"x.bmp\" is damaged: pixel (0, 63) uses colour 200 of a palette of 200");
}

// Files as ImageMagick writes them: its default (RLE8 with a 124-byte header for
// palette images), BMP3, 4-bit, 1-bit, 24- and 32-bit, 16-bit masks, either row
// order, OS/2 1.x headers (BMP2); and GIMP's 16- and 32-bit kinds with 56-byte
// headers, built here. Each must import as the picture ImageMagick itself reads
// from it.
TEST(BitmapKinds, EveryKindImageMagickWritesImportsAsThePictureItShows) {
#ifdef _WIN32
    GTEST_SKIP() << "ImageMagick runs on the build machine, not on Windows";
#endif
    TOLVANE_REQUIRE_PROGRAM("convert");
    testing::TempDir dir;
    const LogoImage logo = testing::patternLogo(11);
    const std::string head = "P5 384 64 255\n";
    std::vector<Byte> pgm(head.begin(), head.end());
    pgm.insert(pgm.end(), logo.begin(), logo.end());
    testing::writeFile(dir / "logo.pgm", pgm);

    const std::vector<std::string> kinds{
        "-type Palette BMP:out.bmp",
        "-type Palette BMP3:out.bmp",
        "-type Palette -compress None BMP3:out.bmp",
        "-flip -type Palette -compress None BMP3:out.bmp",
        "-colors 16 -type Palette -compress None BMP3:out.bmp",
        "-colors 2 -type Palette BMP3:out.bmp",
        "-type TrueColor BMP3:out.bmp",
        "-type TrueColor BMP:out.bmp",
        "-type TrueColorAlpha BMP:out.bmp",
        "-define bmp:subtype=RGB565 BMP:out.bmp",
        "-type Palette BMP2:out.bmp",
        "-flip -colors 16 -type Palette BMP2:out.bmp",
        "-colors 2 -type Palette -define bmp:format=bmp2 BMP:out.bmp",
        "-type TrueColor BMP2:out.bmp",
    };
    const auto worstDifference = [&](const std::string& file) {
        const auto shown = testing::greyAsImageMagickReadsIt(dir.path(), file);
        if (shown.size() != kLogoLength) return 256;  // a failure already says why
        const LogoImage imported = logoOf(importBitmap(dir / file).picture);
        int worst = 0;
        for (std::size_t k = 0; k < kLogoLength; ++k)
            worst = std::max(worst, std::abs(int(shown[k]) - int(imported[k])));
        return worst;
    };
    for (const std::string& kind : kinds) {
        ASSERT_TRUE(testing::imageMagick(dir.path(), "logo.pgm " + kind)) << kind;
        // R5G6B5 keeps few greys grey; the rest come back as near-greys, which ImageMagick weighs by
        // other factors than the luminance rule, at most 1 apart.
        EXPECT_LE(worstDifference("out.bmp"), kind.find("RGB565") == std::string::npos ? 0 : 1) << kind;
    }

    for (const std::array<std::uint32_t, 3>& masks :
         {std::array<std::uint32_t, 3>{0x7C00, 0x03E0, 0x001F}, std::array<std::uint32_t, 3>{0xF800, 0x07E0, 0x001F},
          std::array<std::uint32_t, 3>{0xFF0000, 0xFF00, 0xFF}}) {
        const std::uint16_t bits = masks[0] == 0xFF0000 ? 32 : 16;
        const auto file =
            buildBmp({.infoHeaderSize = 56, .bitsPerPixel = bits, .compression = 3}, trueColourRows(logo, bits, masks));
        testing::writeFile(dir / "gimp.bmp", withMasks(file, masks));
        EXPECT_LE(worstDifference("gimp.bmp"), masks[0] == 0xF800 ? 1 : 0) << masks[0];
    }
}

}  // namespace
}  // namespace tolvane
