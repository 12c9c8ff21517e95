#include "logo/picture/picture_file.h"

#include "logo/console/console_view.h"
#include "logo/picture/png_exchange.h"
#include "support/png_builder.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

using testing::failureOf;
using testing::patternLogo;
using testing::readFile;
using testing::TempDir;
using testing::writeFile;

GreyPicture ramp(PictureShape shape) {
    GreyPicture picture(shape);
    for (std::size_t y = 0; y < shape.height; ++y)
        for (std::size_t x = 0; x < shape.width; ++x) picture.row(y)[x] = static_cast<Byte>(x * 7 + y * 13);
    return picture;
}

bool startsAsPng(std::span<const Byte> file) {
    return file.size() >= 8 && std::equal(kPngSignature.begin(), kPngSignature.end(), file.begin());
}

void writeBe32(std::vector<Byte>& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<Byte>(value >> (24 - 8 * i));
}

TEST(PictureFormat, IsPngForAPngNameInAnyLetterCaseAndBmpForAnyOther) {
    for (const char* name : {"logo.png", "LOGO.PNG", "old.bmp/logo.Png"})
        EXPECT_EQ(pictureFormatFor(name), PictureFormat::Png) << name;
    for (const char* name : {"logo.bmp", "logo", "logo.png.bak", "png", "logo.png/x", "logo.pngx"})
        EXPECT_EQ(pictureFormatFor(name), PictureFormat::Bmp) << name;
}

TEST(PngCodec, WritesEightBitGreyAndReadsItBackExactly) {
    for (PictureShape shape : {PictureShape{7, 3}, kPalShape, kLogoShape}) {
        const GreyPicture picture = ramp(shape);
        const auto file = encodePng(picture);
        ASSERT_TRUE(startsAsPng(file));
        EXPECT_EQ(file[24], 8) << "bits a sample";
        EXPECT_EQ(file[25], 0) << "grey";
        EXPECT_EQ(file[28], 0) << "not interlaced";
        EXPECT_EQ(decodePng(file, "f", shape), picture);
    }
}

TEST(PngCodec, ReadsAFileWhoseFirstDataChunkIsEmpty) {
    const GreyPicture picture = ramp(kLogoShape);
    auto file = encodePng(picture);
    const std::vector<Byte> emptyIdat{0, 0, 0, 0, 'I', 'D', 'A', 'T', 0x35, 0xAF, 0x06, 0x1E};
    file.insert(file.begin() + 33, emptyIdat.begin(), emptyIdat.end());  // after the signature and IHDR
    EXPECT_EQ(decodePng(file, "f", kLogoShape), picture);
}

TEST(PictureFiles, AreWrittenAsTheirNameSaysAndReadAsTheirFirstBytesSay) {
    TempDir dir;
    const GreyPicture picture = ramp(kPalShape);
    exportBitmap(dir / "a.PNG", picture);
    exportBitmap(dir / "a.bmp", picture);
    EXPECT_TRUE(startsAsPng(readFile(dir / "a.PNG")));
    EXPECT_EQ(readFile(dir / "a.bmp"), encodeBitmap(picture, greyBitmapHeader(kPalShape)));

    std::filesystem::rename(dir / "a.PNG", dir / "png.bmp");
    std::filesystem::rename(dir / "a.bmp", dir / "bmp.png");
    for (const char* name : {"png.bmp", "bmp.png"}) {
        EXPECT_EQ(importBitmap(dir / name, kPalShape).picture, picture) << name;
        EXPECT_TRUE(startsAsPicture(dir / name)) << name;
    }
    writeFile(dir / "notes.png", {'G', 'I', 'F', '8', '9', 'a'});
    EXPECT_FALSE(startsAsPicture(dir / "notes.png"));
    EXPECT_FALSE(startsAsPicture(dir / "missing.png"));
}

TEST(PngImport, RefusesWithTheFileAndTheReason) {
    const auto good = encodePng(ramp(kLogoShape));
    const auto reason = [](std::span<const Byte> file) {
        return failureOf([&] { decodePicture(file, "\"x.png\"", kLogoShape); });
    };
    EXPECT_EQ(reason(encodePng(GreyPicture({400, 64}))), "\"x.png\" is 400 x 64 pixels; the logo is 384 x 64");
    EXPECT_EQ(reason({}), "\"x.png\" is empty");
    EXPECT_EQ(reason(std::vector<Byte>{'G', 'I', 'F', '8', '9', 'a'}),
              "\"x.png\" is neither a BMP nor a PNG file: it starts with neither \"BM\" nor the PNG signature");

    // encodePng writes IHDR (33 bytes with the signature), one IDAT, IEND.
    const std::size_t idatEnd = 33 + 12 + readLe32(std::vector<Byte>{good[36], good[35], good[34], good[33]}, 0);
    ASSERT_EQ(idatEnd + 12, good.size());
    EXPECT_EQ(reason(std::span(good).first(100)),
              "\"x.png\" is too short: it has 100 bytes, and its chunk at byte 33 needs the first " +
                  std::to_string(idatEnd) + "; it was cut short, or the chunk is damaged");
    EXPECT_EQ(reason(std::span(good).first(idatEnd)), "\"x.png\" is too short: it ends after " +
                                                          std::to_string(idatEnd) +
                                                          " bytes, before its IEND chunk; it was cut short");

    auto badZlib = good;
    badZlib[33 + 8] ^= 0xFF;
    testing::fixChunkCrc(badZlib, 33);
    EXPECT_EQ(reason(badZlib),
              "\"x.png\" is damaged: its pixel data cannot be unpacked (zlib: incorrect header check)");

    // A few kilobytes that would unpack to 4 MB: refused before they are all unpacked.
    auto bomb = encodePng(GreyPicture({2048, 2048}));
    writeBe32(bomb, 16, 384);
    writeBe32(bomb, 20, 64);
    testing::fixChunkCrc(bomb, 8);
    EXPECT_LT(bomb.size(), 65536u);
    EXPECT_EQ(reason(bomb), "\"x.png\" is damaged: its pixel data unpacks to far more than a 384 x 64 picture holds");
}

class LogoPictureTest : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(LogoPictureTest, ExportsAsPngWhateverTheHeaderAndImportsBackWithoutOne) {
    BitmapHeader unused;
    unused.fill(0x11);
    exportBitmap(dir / "logo.png", pictureOf(patternLogo(2)), unused);
    EXPECT_EQ(readFile(dir / "logo.png"), encodePng(pictureOf(patternLogo(2))));

    const ImportedBitmap imported = importBitmap(dir / "logo.png");
    EXPECT_EQ(imported.picture, pictureOf(patternLogo(2)));
    EXPECT_FALSE(imported.header) << "a PNG has no BMP header";
}

TEST_F(LogoPictureTest, ExportedBmpAndPngReadAsTheLogoInImageMagick) {
#ifdef _WIN32
    GTEST_SKIP() << "ImageMagick runs on the build machine, not on Windows";
#endif
    TOLVANE_REQUIRE_PROGRAM("convert");
    const LogoImage logo = patternLogo(5);
    for (const char* name : {"logo.bmp", "logo.PNG"}) {
        exportBitmap(dir / name, pictureOf(logo));
        const auto grey = testing::greyAsImageMagickReadsIt(dir.path(), name);
        ASSERT_EQ(grey.size(), kLogoLength) << name;
        EXPECT_TRUE(std::equal(grey.begin(), grey.end(), logo.begin())) << name;
    }
}

}  // namespace
}  // namespace tolvane
