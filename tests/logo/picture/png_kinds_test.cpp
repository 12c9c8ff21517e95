// PNG of every kind as ImageMagick writes it: grey of 1, 2, 4, 8 and 16 bits,
// grey and alpha, palettes of 1 to 8 bits, RGB and RGBA of 8 and 16 bits,
// transparency chunks, interlaced and not (made by make_png_kinds.py on the build
// machine, before this program runs; the Windows build reads the same files).
#include "logo/picture/bitmap_exchange.h"
#include "logo/picture/picture_file.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <fstream>

namespace tolvane {
namespace {

using testing::readFile;

// Each imports as the picture ImageMagick reads from it: greys exactly, colours by
// the luminance rule, 16-bit samples rounded.
TEST(PngKinds, EveryKindImportsAsThePictureImageMagickReads) {
    const std::filesystem::path folder = TOLVANE_PNG_KINDS;
    std::ifstream listing(folder / "kinds.txt");
    if (!listing) {
        const std::string missing = "no " + (folder / "kinds.txt").string() + " (the test PngKinds.Files makes it)";
        if (testing::programsRequired()) FAIL() << missing;
        GTEST_SKIP() << missing;
    }
    std::size_t kinds = 0;
    for (std::string name, arguments; listing >> name && std::getline(listing, arguments); ++kinds) {
        const auto rgb = readFile(folder / (name + ".rgb"));
        ASSERT_EQ(rgb.size(), 3 * kLogoLength) << name;
        const LogoImage imported = logoOf(importBitmap(folder / (name + ".png")).picture);
        std::size_t differing = 0;
        for (std::size_t k = 0; k < kLogoLength; ++k)
            differing += imported[k] != greyLevel(rgb[3 * k], rgb[3 * k + 1], rgb[3 * k + 2]);
        EXPECT_EQ(differing, 0u) << name << ":" << arguments;
    }
    EXPECT_GT(kinds, 0u);
}

}  // namespace
}  // namespace tolvane
