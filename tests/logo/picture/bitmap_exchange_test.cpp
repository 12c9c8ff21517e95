#include "logo/picture/bitmap_exchange.h"

#include "logo/base/failure.h"
#include "logo/picture/bitmap_template.h"
#include "logo/picture/picture_file.h"
#include "support/bmp_builder.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <numeric>
#include <stdexcept>

namespace tolvane {
namespace {

using testing::BmpHeaders;
using testing::buildBmp;
using testing::buildIndexedBmp;
using testing::decodedLogo;
using testing::failureOf;
using testing::greyPalette;
using testing::patternLogo;
using testing::readFile;
using testing::Rgb;
using testing::TempDir;
using testing::writeFile;

std::array<Byte, 256> identity() {
    std::array<Byte, 256> map{};
    std::iota(map.begin(), map.end(), 0);
    return map;
}

TEST(BitmapRows, StoreTheBottomRowFirstEachPaddedToFourBytes) {
    LogoImage logo{};
    for (std::size_t k = 0; k < kLogoLength; ++k) logo[k] = static_cast<Byte>(k / 384);
    const std::vector<Byte> rows = toBitmapRows(pictureOf(logo));
    ASSERT_EQ(rows.size(), kLogoLength);
    EXPECT_TRUE(std::all_of(rows.begin(), rows.begin() + 384, [](Byte b) { return b == 63; }));
    EXPECT_TRUE(std::all_of(rows.end() - 384, rows.end(), [](Byte b) { return b == 0; }));
    EXPECT_EQ(fromBitmapRows(rows, kLogoShape), pictureOf(logo));

    GreyPicture odd(PictureShape{5, 2});
    for (std::size_t k = 0; k < 10; ++k) odd.pixels()[k] = static_cast<Byte>(k + 1);
    EXPECT_EQ(toBitmapRows(odd), (std::vector<Byte>{6, 7, 8, 9, 10, 0, 0, 0, 1, 2, 3, 4, 5, 0, 0, 0}));
    EXPECT_EQ(fromBitmapRows(toBitmapRows(odd), odd.shape()), odd);
    EXPECT_THROW(fromBitmapRows(std::vector<Byte>(15), odd.shape()), std::invalid_argument);
}

TEST(GreyPictures, HoldExactlyWidthTimesHeightPixels) {
    EXPECT_THROW(GreyPicture(PictureShape{3, 2}, std::vector<Byte>(5)), std::invalid_argument);
    EXPECT_THROW(GreyPicture(PictureShape{3, 2}, std::vector<Byte>(7)), std::invalid_argument);
    EXPECT_EQ(GreyPicture(PictureShape{3, 2}, 9).pixels().size(), 6u);
    EXPECT_THROW(logoOf(GreyPicture(PictureShape{384, 63})), std::invalid_argument);
    EXPECT_EQ(logoOf(pictureOf(patternLogo(1))), patternLogo(1));
}

TEST(BitmapCodec, RoundTripsAPictureWhoseRowsNeedPadding) {
    GreyPicture picture(PictureShape{7, 3});
    for (std::size_t k = 0; k < 21; ++k) picture.pixels()[k] = static_cast<Byte>(k * 11);
    const auto file = encodeBitmap(picture, greyBitmapHeader(picture.shape()));
    ASSERT_EQ(file.size(), 1078u + 8 * 3);  // each row padded from 7 to 8 bytes
    EXPECT_EQ(file[1078], 14 * 11) << "the bottom row comes first";
    EXPECT_EQ(decodeBitmap(file, "f", picture.shape()), picture);
}

TEST(BitmapHeaderTemplate, ShippedFileIsTheBuiltInHeader) {
    const auto shipped = readFile(testing::sourceFile("data/ettbmp.hed"));
    const BitmapHeader& builtIn = builtInBitmapHeader();
    ASSERT_EQ(shipped.size(), 1078u);
    EXPECT_TRUE(std::equal(shipped.begin(), shipped.end(), builtIn.begin()));
}

class BitmapFileTest : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(BitmapFileTest, ExportWritesHeaderAndRowsAndImportsBackExactly) {
    const auto path = dir / "logo.bmp";
    BitmapHeader header = builtInBitmapHeader();
    header[38] = 0x13;  // another resolution: the header is written as given
    exportBitmap(path, pictureOf(patternLogo()), header);
    const auto file = readFile(path);
    ASSERT_EQ(file.size(), kBitmapFileLength);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), file.begin()));
    const std::vector<Byte> rows = toBitmapRows(pictureOf(patternLogo()));
    EXPECT_TRUE(std::equal(rows.begin(), rows.end(), file.begin() + 1078));

    const ImportedBitmap imported = importBitmap(path);
    EXPECT_EQ(imported.picture, pictureOf(patternLogo()));
    EXPECT_EQ(imported.header, header);
}

TEST_F(BitmapFileTest, ExportReplacesALongerFileWhole) {
    const auto path = dir / "old.bmp";
    writeFile(path, std::vector<Byte>(30000, 0xAB));
    exportBitmap(path, pictureOf(patternLogo()));
    EXPECT_EQ(std::filesystem::file_size(path), kBitmapFileLength);
}

// The template comes from the first folder that has one, else the header is the
// built-in one; one that would not give the logo back as it is is refused.
TEST_F(BitmapFileTest, TheHeaderTemplateIsTheFirstFoundAndIsChecked) {
    for (const char* folder : {"first", "second"}) std::filesystem::create_directory(dir / folder);
    const std::vector<std::filesystem::path> folders{dir / "first", dir / "second"};
    EXPECT_EQ(loadHeaderTemplate(folders), builtInBitmapHeader());
    BitmapHeader custom = builtInBitmapHeader();
    custom[38] = 0x13;  // only the resolution differs
    std::vector<Byte> longer(custom.begin(), custom.end());
    longer.resize(1200, 0xEE);  // bytes past the header are not used
    writeFile(dir / "second" / "ettbmp.hed", longer);
    EXPECT_EQ(loadHeaderTemplate(folders), custom);
    writeFile(dir / "first" / "ettbmp.hed", {builtInBitmapHeader().begin(), builtInBitmapHeader().end()});
    EXPECT_EQ(loadHeaderTemplate(folders), builtInBitmapHeader());

    const auto file = dir / "first" / "ettbmp.hed";
    const auto refused = [&](std::size_t at, Byte value) {
        auto bytes = std::vector<Byte>(builtInBitmapHeader().begin(), builtInBitmapHeader().end());
        if (at < bytes.size())
            bytes[at] = value;
        else
            bytes.resize(1000);
        writeFile(file, bytes);
        return failureOf([&] { loadHeaderTemplate(folders); });
    };
    const std::string start = "The bitmap header template " + quoted(file) + " would not give the logo back: ";
    const std::string end = "; remove it, or put back the one the program comes with";
    const std::pair<std::string, std::string> cases[] = {
        {refused(0, 'X'), "it does not start with \"BM\""},
        {refused(10, 0x37), "the offset of its pixel data is 1079, not 1078"},
        {refused(18, 0x7F), "its width is 383, not 384"},
        {refused(25, 0xFF), "its height is 4278190144, not 64"},  // negative: stored top row first
        {refused(28, 24), "it is not of one plane of 8 bits per pixel (24 bits)"},
        {refused(30, 1), "its compression is 1, not 0"},
        {refused(54 + 4 * 7 + 1, 9), "palette entry 7 is not grey level 7"},
        {refused(9999, 0), "it has 1000 bytes, a bitmap header needs 1078"},
    };
    for (const auto& [failure, what] : cases) EXPECT_EQ(failure, start + what + end);
}

TEST_F(BitmapFileTest, ExportIntoAFolderThatIsNotThereNamesTheTarget) {
    const auto path = dir / "nowhere" / "out.bmp";
    const std::string failure = failureOf([&] { exportBitmap(path, pictureOf(patternLogo())); });
    EXPECT_NE(failure.find(quoted(path)), std::string::npos) << failure;
    EXPECT_NE(failure.find("No such file or directory"), std::string::npos) << failure;
}

TEST_F(BitmapFileTest, ImportReadsFilesOfExactlyAndMoreThanTheirLengthAndRefusesOneShort) {
    auto file = buildIndexedBmp(patternLogo(), {.palette = greyPalette()}, identity());
    ASSERT_EQ(file.size(), kBitmapFileLength);
    file.push_back(0x99);
    writeFile(dir / "long.bmp", file);
    EXPECT_EQ(logoOf(importBitmap(dir / "long.bmp").picture), patternLogo());
    file.resize(kBitmapFileLength - 1);
    writeFile(dir / "short.bmp", file);
    EXPECT_EQ(failureOf([&] { importBitmap(dir / "short.bmp"); }),
              quoted(dir / "short.bmp") +
                  " is too short: it has 25653 bytes, and its pixel data needs the first 25654; it was cut short, or "
                  "its header is damaged");
}

TEST(BitmapImport, ReadsEveryHeaderSizeAndRowOrder) {
    for (std::uint32_t headerSize : {40u, 108u, 124u}) {
        for (std::int32_t height : {64, -64}) {
            const auto file = buildIndexedBmp(
                patternLogo(1), {.infoHeaderSize = headerSize, .height = height, .palette = greyPalette()}, identity());
            EXPECT_EQ(decodedLogo(file, "f"), patternLogo(1)) << headerSize << " " << height;
        }
    }
}

// Full 8-bit palettes that are not the grey ramp exports carry, each pixel its index.
TEST(BitmapImport, MapsPixelsThroughTheirPalette) {
    struct Case {
        const char* what;
        std::vector<Rgb> palette;
        std::vector<Byte> levels;  // the grey each index reads as
    };
    Case reordered{"reordered, as an editor that sorted its palette writes it", {}, {}};
    Case rampAndAColour{"a grey ramp up to 254, red at 255", {}, {}};
    for (int i = 0; i < 256; ++i) {
        reordered.palette.push_back({Byte(255 - i), Byte(255 - i), Byte(255 - i)});
        reordered.levels.push_back(Byte(255 - i));
        rampAndAColour.palette.push_back(i < 255 ? Rgb{Byte(i), Byte(i), Byte(i)} : Rgb{255, 0, 0});
        rampAndAColour.levels.push_back(i < 255 ? Byte(i) : Byte(76));
    }
    for (const Case& c : {reordered, rampAndAColour}) {
        const LogoImage indices = patternLogo(2);  // every index
        LogoImage expected{};
        for (std::size_t k = 0; k < kLogoLength; ++k) expected[k] = c.levels[indices[k]];
        const auto file = buildIndexedBmp(indices, {.palette = c.palette, .gapBeforePixels = 6}, identity());
        EXPECT_EQ(decodedLogo(file, "f"), expected) << c.what;
    }
}

TEST(BitmapImport, TakesTheLuminanceOfColouredEntries) {
    EXPECT_EQ(greyLevel(255, 0, 0), 76);   // 299 * 255 / 1000 = 76.2
    EXPECT_EQ(greyLevel(0, 255, 0), 150);  // 149.7
    EXPECT_EQ(greyLevel(0, 0, 255), 29);   // 29.07
    EXPECT_EQ(greyLevel(10, 20, 30), 18);  // 18.15
    EXPECT_EQ(greyLevel(77, 77, 77), 77);

    const std::vector<Rgb> palette{{255, 0, 0}, {0, 255, 0}};
    std::vector<Byte> rows(kLogoLength, 0);
    rows[0] = 1;  // bottom-left pixel green
    const LogoImage logo = decodedLogo(buildBmp({.palette = palette, .coloursUsed = 2}, rows), "f");
    EXPECT_EQ(logo[63 * 384], 150);
    EXPECT_EQ(logo[0], 76);
}

TEST(BitmapImport, ReadsTrueColourFilesAsGrey) {
    const LogoImage logo = patternLogo(6);
    for (std::uint16_t bits : {24, 32}) {
        std::vector<Byte> rows;
        for (std::size_t fileRow = 0; fileRow < 64; ++fileRow)
            for (std::size_t x = 0; x < 384; ++x) {
                const Byte g = logo[(63 - fileRow) * 384 + x];
                rows.insert(rows.end(), {g, g, g});
                if (bits == 32) rows.push_back(0xFF);
            }
        EXPECT_EQ(decodedLogo(buildBmp({.bitsPerPixel = bits}, rows), "f"), logo) << bits;
    }
}

TEST(BitmapImport, RefusesWhatItCannotReadWithTheReason) {
    const std::vector<Byte> rows(kLogoLength);
    const auto reason = [&](BmpHeaders headers) {
        if (headers.palette.empty()) headers.palette = greyPalette();
        return failureOf([&] { decodedLogo(buildBmp(headers, rows), "\"x.bmp\""); });
    };
    EXPECT_EQ(reason({.width = 400}), "\"x.bmp\" is 400 x 64 pixels; the logo is 384 x 64");
    EXPECT_EQ(reason({.height = 65}), "\"x.bmp\" is 384 x 65 pixels; the logo is 384 x 64");
    EXPECT_EQ(reason({.bitsPerPixel = 4, .compression = 1}),
              "\"x.bmp\" uses compression 1 with 4 bits per pixel, which is not supported");
    EXPECT_EQ(reason({.compression = 4}), "\"x.bmp\" holds a JPEG picture inside the BMP; save it as a plain BMP");
    EXPECT_EQ(reason({.compression = 5}), "\"x.bmp\" holds a PNG picture inside the BMP; save it as a plain BMP");
    EXPECT_EQ(reason({.compression = 6}), "\"x.bmp\" uses compression 6 with 8 bits per pixel, which is not supported");
    EXPECT_EQ(reason({.bitsPerPixel = 3}), "\"x.bmp\" has 3 bits per pixel; 1, 2, 4, 8, 16, 24 and 32 are supported");
    EXPECT_EQ(reason({.infoHeaderSize = 12, .width = 400}), "\"x.bmp\" is 400 x 64 pixels; the logo is 384 x 64");
    EXPECT_EQ(reason({.infoHeaderSize = 64, .bitsPerPixel = 1, .compression = 3}),
              "\"x.bmp\" uses OS/2 Huffman 1D compression, which is not supported; save it uncompressed");
    EXPECT_EQ(reason({.infoHeaderSize = 20, .bitsPerPixel = 24, .compression = 4}),
              "\"x.bmp\" uses OS/2 RLE24 compression, which is not supported; save it uncompressed");
    EXPECT_EQ(reason({.infoHeaderSize = 100}),
              "\"x.bmp\" has an information header of 100 bytes; only 12, 16 to 64, 108 and 124 are known");
    EXPECT_EQ(reason({.palette = greyPalette(), .coloursUsed = 300}),
              "\"x.bmp\" says its palette has 300 colours; a 8-bit picture has at most 256");
    EXPECT_EQ(failureOf([&] {
                  decodedLogo(std::vector<Byte>{'P', 'K', 3, 4}, "\"x.bmp\"");
              }),
              "\"x.bmp\" is not a BMP file: it does not start with \"BM\"");
}

TEST(BitmapImport, RefusesAPixelPastTheEndOfTheFilesPalette) {
    std::vector<Byte> rows(kLogoLength, 3);
    rows[5] = 16;
    const std::vector<Rgb> palette(16, Rgb{1, 1, 1});
    EXPECT_EQ(failureOf([&] { decodedLogo(buildBmp({.palette = palette, .coloursUsed = 16}, rows), "\"x\""); }),
              "\"x\" is damaged: pixel (5, 63) uses colour 16 of a palette of 16");
}

TEST(BitmapImport, RefusesAPixelOffsetInsideTheHeader) {
    auto file = buildIndexedBmp(patternLogo(), {.palette = greyPalette()}, identity());
    file[10] = 20;
    file[11] = 0;
    EXPECT_EQ(failureOf([&] { decodedLogo(file, "\"x\""); }),
              "\"x\" is damaged: its pixel data would start at 20, inside its header");
    file[10] = 0xFF;
    file[11] = 0xFF;
    file[12] = 0xFF;
    file[13] = 0xFF;
    EXPECT_NE(failureOf([&] { decodedLogo(file, "\"x\""); }).find("is too short"), std::string::npos);
}

}  // namespace
}  // namespace tolvane
