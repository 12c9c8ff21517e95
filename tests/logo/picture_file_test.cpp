#include "logo/picture_file.h"

#include "logo/console_view.h"
#include "logo/png_exchange.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <functional>

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
    writePictureFile(dir / "a.PNG", picture);
    writePictureFile(dir / "a.bmp", picture);
    EXPECT_TRUE(startsAsPng(readFile(dir / "a.PNG")));
    EXPECT_EQ(readFile(dir / "a.bmp"), encodeBitmap(picture, greyBitmapHeader(kPalShape)));

    std::filesystem::rename(dir / "a.PNG", dir / "png.bmp");
    std::filesystem::rename(dir / "a.bmp", dir / "bmp.png");
    for (const char* name : {"png.bmp", "bmp.png"}) {
        EXPECT_EQ(readPictureFile(dir / name, kPalShape), picture) << name;
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

    // stbi_write_png writes IHDR (33 bytes with the signature), one IDAT, IEND.
    const std::size_t idatEnd = 33 + 12 + readLe32(std::vector<Byte>{good[36], good[35], good[34], good[33]}, 0);
    ASSERT_EQ(idatEnd + 12, good.size());
    EXPECT_EQ(reason(std::span(good).first(100)),
              "\"x.png\" is too short: 100 bytes, its chunk at 33 needs " + std::to_string(idatEnd));
    EXPECT_EQ(reason(std::span(good).first(idatEnd)),
              "\"x.png\" is too short: " + std::to_string(idatEnd) + " bytes, it ends before its IEND chunk");

    auto badZlib = good;
    badZlib[33 + 8] ^= 0xFF;
    EXPECT_EQ(reason(badZlib), "\"x.png\" is damaged: its PNG data cannot be decoded (bad zlib header)");

    // A few kilobytes that would unpack to 4 MB: refused before they are all unpacked.
    auto bomb = encodePng(GreyPicture({2048, 2048}));
    writeBe32(bomb, 16, 384);
    writeBe32(bomb, 20, 64);
    EXPECT_LT(bomb.size(), 65536u);
    EXPECT_EQ(reason(bomb), "\"x.png\" is damaged: its pixel data unpacks to far more than a 384 x 64 picture holds");
}

class LogoPictureTest : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(LogoPictureTest, ExportsAsPngWithoutTheTemplateAndImportsBack) {
    writeFile(dir / "ettbmp.hed", std::vector<Byte>(1078, 0x11));
    const ExportedBitmap exported = exportBitmap(dir / "logo.png", patternLogo(2), dir / "ettbmp.hed");
    EXPECT_EQ(exported.header, builtInBitmapHeader());
    EXPECT_EQ(readFile(dir / "logo.png"), encodePng(pictureOf(patternLogo(2))));

    const ImportedBitmap imported = importBitmap(dir / "logo.png");
    EXPECT_EQ(imported.logo, patternLogo(2));
    EXPECT_EQ(imported.pixels, exported.pixels);
    EXPECT_EQ(imported.header, builtInBitmapHeader());
}

TEST_F(LogoPictureTest, ExportedPngReadsAsTheLogoInImageMagick) {
#ifdef _WIN32
    GTEST_SKIP() << "ImageMagick runs on the build machine, not on Windows";
#endif
    TOLVANE_REQUIRE_PROGRAM("convert");
    exportBitmap(dir / "logo.PNG", patternLogo(5), dir / "none.hed");
    const auto grey = testing::greyAsImageMagickReadsIt(dir.path(), "logo.PNG");
    const LogoImage logo = patternLogo(5);
    ASSERT_EQ(grey.size(), kLogoLength);
    EXPECT_TRUE(std::equal(grey.begin(), grey.end(), logo.begin()));
}

// A binary PGM or PPM of the logo's size; a maxval above 255 takes two bytes a sample, high first.
void writeNetpbm(const std::filesystem::path& path, char kind, unsigned maxval,
                 const std::function<unsigned(std::size_t x, std::size_t y, int channel)>& sample) {
    const std::string head = std::string("P") + kind + " 384 64 " + std::to_string(maxval) + "\n";
    std::vector<Byte> file(head.begin(), head.end());
    for (std::size_t y = 0; y < kLogoHeight; ++y)
        for (std::size_t x = 0; x < kLogoWidth; ++x)
            for (int c = 0; c < (kind == '5' ? 1 : 3); ++c) {
                const unsigned v = sample(x, y, c) % (maxval + 1);
                if (maxval > 255) file.push_back(static_cast<Byte>(v >> 8));
                file.push_back(static_cast<Byte>(v));
            }
    writeFile(path, file);
}

// Red, green and blue of a PNG file as ImageMagick scales its samples to 8 bits:
// stream for 16 bits, round(v / 257) (convert's -depth 8 truncates them in
// ImageMagick 6), convert for the rest (stream hands out 1- to 4-bit grey unscaled).
std::vector<Byte> coloursAsImageMagickReadsIt(const std::filesystem::path& folder, const std::string& file) {
    const bool sixteen = readFile(folder / file).at(24) == 16;
    const bool read = sixteen
                          ? testing::imageMagick(folder, "-map rgb -storage-type char " + file + " im.rgb", "stream")
                          : testing::imageMagick(folder, file + " -depth 8 rgb:im.rgb");
    return read ? readFile(folder / "im.rgb") : std::vector<Byte>{};
}

// PNG of every kind, as ImageMagick writes it: grey of 1, 2, 4, 8 and 16 bits,
// grey and alpha, palettes of 1 to 8 bits, RGB and RGBA of 8 and 16 bits,
// transparency chunks, interlaced and not. Each imports as the picture ImageMagick
// reads from it: greys exactly, colours by the luminance rule, 16-bit samples rounded.
TEST(PngKinds, EveryKindImportsAsThePictureImageMagickReads) {
#ifdef _WIN32
    GTEST_SKIP() << "ImageMagick runs on the build machine, not on Windows";
#endif
    TOLVANE_REQUIRE_PROGRAM("convert");
    TOLVANE_REQUIRE_PROGRAM("stream");
    TempDir dir;
    const LogoImage logo = patternLogo(11);
    writeNetpbm(dir / "grey.pgm", '5', 255, [&](std::size_t x, std::size_t y, int) { return logo[y * 384 + x]; });
    // 16-bit samples of every remainder by 257, so that rounding to 8 bits shows.
    writeNetpbm(dir / "grey16.pgm", '5', 65535,
                [](std::size_t x, std::size_t y, int) { return unsigned((x + 384 * y) * 4099 + x * y); });
    // Colours, with every fifth column grey.
    writeNetpbm(dir / "colour.ppm", '6', 255, [](std::size_t x, std::size_t y, int c) {
        if (x % 5 == 0) return unsigned(x + y);
        return unsigned(c == 0 ? x * 7 : c == 1 ? y * 9 + x : x * y);
    });
    writeNetpbm(dir / "colour16.ppm", '6', 65535, [](std::size_t x, std::size_t y, int c) {
        const std::size_t k = x + 384 * y;
        return unsigned(c == 0 ? k * 4099 : c == 1 ? k * 2053 + 7 : x * y * 97);
    });

    struct Kind {
        std::string arguments;
        int bits, colourType, interlaced;
    };
    const std::string grey = "-define png:color-type=0 -define png:bit-depth=";
    const std::string greyAlpha =
        "-alpha set -channel A -fx i/w +channel -define png:color-type=4 -define png:bit-depth=";
    const std::string alpha = "-alpha set -channel A -fx j/h +channel ";
    const Kind kinds[] = {
        {"grey.pgm " + grey + "8 PNG:out.png", 8, 0, 0},
        {"grey.pgm -threshold 50% " + grey + "1 PNG:out.png", 1, 0, 0},
        {"grey.pgm -posterize 4 " + grey + "2 PNG:out.png", 2, 0, 0},
        {"grey.pgm -posterize 16 " + grey + "4 PNG:out.png", 4, 0, 0},
        {"grey16.pgm " + grey + "16 PNG:out.png", 16, 0, 0},
        {"grey.pgm -transparent 'gray(10)' " + grey + "8 PNG:out.png", 8, 0, 0},
        {"grey.pgm " + greyAlpha + "8 PNG:out.png", 8, 4, 0},
        {"grey16.pgm " + greyAlpha + "16 PNG:out.png", 16, 4, 0},
        {"colour.ppm PNG8:out.png", 8, 3, 0},
        {"colour.ppm -transparent black PNG8:out.png", 8, 3, 0},
        {"colour.ppm +dither -colors 16 -define png:bit-depth=4 PNG8:out.png", 4, 3, 0},
        {"colour.ppm +dither -colors 4 -define png:bit-depth=2 PNG8:out.png", 2, 3, 0},
        {"colour.ppm +dither -colors 2 -define png:bit-depth=1 PNG8:out.png", 1, 3, 0},
        {"colour.ppm PNG24:out.png", 8, 2, 0},
        {"colour.ppm " + alpha + "PNG32:out.png", 8, 6, 0},
        {"colour16.ppm PNG48:out.png", 16, 2, 0},
        {"colour16.ppm " + alpha + "PNG64:out.png", 16, 6, 0},
        {"grey.pgm -interlace PNG " + grey + "8 PNG:out.png", 8, 0, 1},
        {"grey.pgm -threshold 50% -interlace PNG " + grey + "1 PNG:out.png", 1, 0, 1},
        {"grey16.pgm -interlace PNG " + greyAlpha + "16 PNG:out.png", 16, 4, 1},
        {"colour.ppm +dither -colors 4 -interlace PNG -define png:bit-depth=2 PNG8:out.png", 2, 3, 1},
        {"colour16.ppm -interlace PNG PNG48:out.png", 16, 2, 1},
        {"colour.ppm -interlace PNG " + alpha + "PNG32:out.png", 8, 6, 1},
    };
    for (const Kind& kind : kinds) {
        ASSERT_TRUE(testing::imageMagick(dir.path(), kind.arguments)) << kind.arguments;
        const auto file = readFile(dir / "out.png");
        ASSERT_GT(file.size(), 28u);
        EXPECT_EQ((std::array<int, 3>{file[24], file[25], file[28]}),
                  (std::array<int, 3>{kind.bits, kind.colourType, kind.interlaced}))
            << "ImageMagick wrote another kind for " << kind.arguments;

        const auto rgb = coloursAsImageMagickReadsIt(dir.path(), "out.png");
        ASSERT_EQ(rgb.size(), 3 * kLogoLength) << kind.arguments;
        const LogoImage imported = importBitmap(dir / "out.png").logo;
        std::size_t differing = 0;
        for (std::size_t k = 0; k < kLogoLength; ++k)
            differing += imported[k] != greyLevel(rgb[3 * k], rgb[3 * k + 1], rgb[3 * k + 2]);
        EXPECT_EQ(differing, 0u) << kind.arguments;
    }
}

}  // namespace
}  // namespace tolvane
