#include "ui/common/status_line.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

// Ten pixels a UTF-16 unit: widths are easy to reason about.
int tenEach(std::u16string_view text) { return int(text.size()) * 10; }

// The status in a one-line area.
std::u16string oneLine(const std::string& status, const std::vector<std::string>& names, int width) {
    const FittedStatus fitted = fitStatus(status, names, tenEach, width, 1);
    EXPECT_EQ(fitted.lines.size(), 1u) << status;
    return fitted.lines.empty() ? std::u16string() : fitted.lines[0];
}

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
    EXPECT_EQ(oneLine(status, {"very-long-name-of-a-game.bin"}, 1000), utf16(status));
    const std::u16string shown = oneLine(status, {"very-long-name-of-a-game.bin"}, 400);
    EXPECT_EQ(shown, u"Opened very-long-\u2026-game.bin: raw sectors");  // the name in 20 units, 200 px
    EXPECT_LE(tenEach(shown), 400);
}

TEST(FitStatus, CutsTheEndWhenShortNamesAreNotEnough) {
    const std::u16string shown =
        oneLine("Patched game-with-a-long-name.bin " + std::string(80, 'w'), {"game-with-a-long-name.bin"}, 300);
    EXPECT_EQ(shown, u"Patched game\u2026.bin wwwwwwwwwww\u2026");  // the name at its shortest, 9 units
    EXPECT_LE(tenEach(shown), 300);
}

TEST(FitStatus, NeverSplitsACharacterOutsideTheBasicPlane) {
    const std::string name = "\xF0\x9F\x98\x80\xF0\x9F\x98\x80\xF0\x9F\x98\x80\xF0\x9F\x98\x80.bin";  // four emoji
    const std::u16string shown = oneLine("Opened " + name + ": ok", {name}, 150);
    EXPECT_LE(tenEach(shown), 150);
    const auto high = [&](std::size_t k) { return k < shown.size() && shown[k] >= 0xD800 && shown[k] <= 0xDBFF; };
    const auto low = [&](std::size_t k) { return k < shown.size() && shown[k] >= 0xDC00 && shown[k] <= 0xDFFF; };
    for (std::size_t k = 0; k < shown.size(); ++k) {
        EXPECT_EQ(high(k), low(k + 1)) << k;
        EXPECT_EQ(low(k), k > 0 && high(k - 1)) << k;
    }
}

// Three lines of 30 units (300 px).
TEST(FitStatus, GivesEachLineItsOwnAndWrapsOrShortensOnlyAsFarAsNeeded) {
    struct Case {
        const char* what;
        std::string status;
        std::vector<std::string> names;
        std::vector<std::u16string> shown;
        bool shortened;
    };
    const Case cases[] = {
        {"each warning on a line of its own",
         "Opened a.bin: ok\nWarning: x\nWarning: y",
         {"a.bin"},
         {u"Opened a.bin: ok", u"Warning: x", u"Warning: y"},
         false},
        {"Windows' line ends and an empty last line",
         "Opened a.bin: ok\r\nWarning: x\r\n",
         {"a.bin"},
         {u"Opened a.bin: ok", u"Warning: x"},
         false},
        {"a long line wraps at a blank onto the line left free",
         "Opened a.bin: raw sectors, user data at 24\nWarning: key",
         {"a.bin"},
         {u"Opened a.bin: raw sectors,", u"user data at 24", u"Warning: key"},
         false},
        {"a long name wraps whole while there is room",
         "Opened a-very-long-game-name.bin: ok",
         {"a-very-long-game-name.bin"},
         {u"Opened", u"a-very-long-game-name.bin: ok"},
         false},
        {"with every line taken, a name is shortened in its middle, no more than needed",
         "Opened a-very-long-game-name.bin: ok\nWarning: a\nWarning: b",
         {"a-very-long-game-name.bin"},
         {u"Opened a-very-lo\u2026-name.bin: ok", u"Warning: a", u"Warning: b"},
         true},
        {"a warning keeps the lines it needs, and the line before gives them up by shortening its name",
         "Opened a-very-long-game-name.bin: ok\nWarning: this warning takes two lines whole",
         {"a-very-long-game-name.bin"},
         {u"Opened a-very-lo\u2026-name.bin: ok", u"Warning: this warning takes", u"two lines whole"},
         true},
        {"more lines than the area has share its last line",
         "Done\nWarning: a\nWarning: b\nWarning: c",
         {},
         {u"Done", u"Warning: a", u"Warning: b  Warning: c"},
         false},
        {"two lines too long for the area: the first takes the line left free, each is cut at its end",
         "Warning: the first warning is long enough for three lines of the area\nWarning: the second one is "
         "just as long as the first, three lines",
         {},
         {u"Warning: the first warning is", u"long enough for three lines o\u2026",
          u"Warning: the second one is ju\u2026"},
         true},
        {"a word wider than a line starts on the line before it, and the end is cut last",
         "Patched g.bin " + std::string(100, 'w'),
         {"g.bin"},
         {u"Patched g.bin wwwwwwwwwwwwwwww", std::u16string(30, u'w'), std::u16string(29, u'w') + u"\u2026"},
         true},
    };
    for (const Case& c : cases) {
        const FittedStatus fitted = fitStatus(c.status, c.names, tenEach, 300, 3);
        EXPECT_EQ(fitted.lines, c.shown) << c.what;
        EXPECT_EQ(fitted.shortened, c.shortened) << c.what;
        EXPECT_LE(fitted.lines.size(), 3u) << c.what;
        for (const std::u16string& line : fitted.lines) EXPECT_LE(tenEach(line), 300) << c.what;
    }
    EXPECT_TRUE(fitStatus("", {}, tenEach, 300, 3).lines.empty());
}

}  // namespace
}  // namespace tolvane
