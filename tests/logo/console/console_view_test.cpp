#include "logo/console/console_view.h"

#include "support/test_files.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

TEST(ConsoleTransform, DecodesKnownBytesAndRoundTripsEveryValue) {
    EXPECT_EQ(decodeLogoByte(0x12, 0x0D), 0xF8);  // 0x12 ^ 0x0D = 0x1F, rotated left by 3
    EXPECT_EQ(encodeLogoByte(0xF8, 0x0D), 0x12);
    for (int key : {0x00, 0x0D, 0x8D, 0x5A, 0xFF}) {
        EXPECT_EQ(encodeLogoByte(0, Byte(key)), key) << "a black border is stored as the key";
        EXPECT_EQ(decodeLogoByte(Byte(key), Byte(key)), 0);
        for (int v = 0; v < 256; ++v) {
            ASSERT_EQ(decodeLogoByte(encodeLogoByte(Byte(v), Byte(key)), Byte(key)), v) << key;
            ASSERT_EQ(encodeLogoByte(decodeLogoByte(Byte(v), Byte(key)), Byte(key)), v) << key;
        }
    }
}

TEST(ConsoleKey, ComesFromTheSerial) {
    EXPECT_EQ(keyFromSerial("SLUS_200.01"), Byte{0x0D});
    EXPECT_EQ(keyFromSerial("SCES_500.01"), Byte{0x8D});
    EXPECT_EQ(keyFromSerial("SLPM_655.55"), Byte{(65555 % 32) * 8 | 5});
    EXPECT_FALSE(keyFromSerial(""));
    EXPECT_FALSE(keyFromSerial("SLUS_2X0.01"));
}

TEST(ConsoleKey, IsTheSerialsWhenKnownElseByteZeroAndSaysWhenTheyDiffer) {
    LogoImage stored{};
    stored[0] = 0x0D;
    DiscIdentity known;
    known.serial = "SLUS_200.01";
    const LogoKey agreed = chooseKey(known, stored);
    EXPECT_EQ(agreed.key, 0x0D);
    EXPECT_EQ(agreed.source, KeySource::Serial);
    EXPECT_EQ(describe(agreed, known), "key 0x0D from SLUS_200.01");

    stored[0] = 0x42;
    const LogoKey differs = chooseKey(known, stored);
    EXPECT_EQ(differs.key, 0x0D);
    EXPECT_EQ(
        describe(differs, known),
        "key 0x0D from SLUS_200.01; byte 0 of the logo is 0x42, so the stored logo may not be encoded with this key");

    const LogoKey guessed = chooseKey(DiscIdentity{}, stored);
    EXPECT_EQ(guessed.key, 0x42);
    EXPECT_EQ(describe(guessed, DiscIdentity{}), "key 0x42 from byte 0 of the logo (serial unknown)");
}

TEST(ConsolePicture, NtscAndPalShapesWithPaddingEncodedToo) {
    const LogoImage stored = testing::patternLogo(5);
    const GreyPicture ntsc = decodeLogo(stored, 0x8D, false);
    EXPECT_EQ(ntsc.width(), 384u);
    EXPECT_EQ(ntsc.height(), 64u);
    EXPECT_EQ(ntsc.pixels()[385], decodeLogoByte(stored[385], 0x8D));
    EXPECT_EQ(encodeLogo(ntsc, 0x8D), stored);

    const GreyPicture pal = decodeLogo(stored, 0x8D, true);
    EXPECT_EQ(pal.width(), 344u);
    EXPECT_EQ(pal.height(), 71u);
    EXPECT_EQ(pal.pixels().size(), 24424u);
    EXPECT_EQ(pal.pixels()[344], decodeLogoByte(stored[344], 0x8D));  // row 1 starts at byte 344
    const LogoImage back = encodeLogo(pal, 0x8D);
    EXPECT_TRUE(std::equal(back.begin(), back.begin() + 24424, stored.begin()));
    for (std::size_t k = 24424; k < kLogoLength; ++k) ASSERT_EQ(back[k], 0x8D) << "padding byte " << k;
}

}  // namespace
}  // namespace tolvane
