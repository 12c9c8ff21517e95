#include "ui/common/status_line.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

// Ten pixels a UTF-16 unit: widths are easy to reason about.
int tenEach(std::u16string_view text) { return int(text.size()) * 10; }

TEST(Utf16, DecodesEachLengthAndReplacesWhatIsNotUtf8) {
    EXPECT_EQ(utf16("a\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80"), u"a\u00E9\u65E5\U0001F600");
    EXPECT_EQ(utf16("\xC3("), u"\uFFFD(");                              // a lead byte without its follower
    EXPECT_EQ(utf16("\xC0\x80"), u"\uFFFD\uFFFD");                      // an overlong NUL
    EXPECT_EQ(utf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");            // a surrogate written as UTF-8
    EXPECT_EQ(utf16("x\xE6\x97"), u"x\uFFFD\uFFFD");                    // cut short at the end
    EXPECT_EQ(utf16("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");  // past U+10FFFF
}

TEST(FitStatus, ShortensFileNamesInTheMiddleAndKeepsTheRestWhole) {
    const std::string status = "Opened very-long-name-of-a-game.bin: raw sectors";
    EXPECT_EQ(fitStatus(status, {"very-long-name-of-a-game.bin"}, tenEach, 1000), utf16(status));
    const std::u16string shown = fitStatus(status, {"very-long-name-of-a-game.bin"}, tenEach, 400);
    EXPECT_EQ(shown, u"Opened very-long-\u2026-game.bin: raw sectors");  // the name in 20 units, 200 px
    EXPECT_LE(tenEach(shown), 400);
}

TEST(FitStatus, CutsTheEndWhenShortNamesAreNotEnough) {
    const std::u16string shown = fitStatus("Patched game-with-a-long-name.bin " + std::string(80, 'w'),
                                           {"game-with-a-long-name.bin"}, tenEach, 300);
    EXPECT_EQ(shown, u"Patched game\u2026.bin wwwwwwwwwww\u2026");  // the name at its shortest, 9 units
    EXPECT_LE(tenEach(shown), 300);
}

TEST(FitStatus, NeverSplitsACharacterOutsideTheBasicPlane) {
    const std::string name = "\xF0\x9F\x98\x80\xF0\x9F\x98\x80\xF0\x9F\x98\x80\xF0\x9F\x98\x80.bin";  // four emoji
    const std::u16string shown = fitStatus("Opened " + name + ": ok", {name}, tenEach, 150);
    EXPECT_LE(tenEach(shown), 150);
    const auto high = [&](std::size_t k) { return k < shown.size() && shown[k] >= 0xD800 && shown[k] <= 0xDBFF; };
    const auto low = [&](std::size_t k) { return k < shown.size() && shown[k] >= 0xDC00 && shown[k] <= 0xDFFF; };
    for (std::size_t k = 0; k < shown.size(); ++k) {
        EXPECT_EQ(high(k), low(k + 1)) << k;
        EXPECT_EQ(low(k), k > 0 && high(k - 1)) << k;
    }
}

}  // namespace
}  // namespace tolvane
