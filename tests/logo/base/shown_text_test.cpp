#include "logo/base/shown_text.h"

#include "logo/base/failure.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

// What a name shows: UTF-8 as it is, anything that could drive a terminal or is
// no text escaped, in messages and status lines alike.
TEST(ShownText, EscapesControlBytesAndBytesThatAreNotUtf8) {
    const std::pair<std::string, std::string> cases[] = {
        {"game.bin", "game.bin"},
        {"jeu \xC3\xA9t\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC.bin", "jeu \xC3\xA9t\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC.bin"},
        {"x\x1B]0;owned\x07.bin", "x\\x1B]0;owned\\x07.bin"},
        {"tab\there\x7F", "tab\\x09here\\x7F"},
        {"latin1 \xE9t\xE9", "latin1 \\xE9t\\xE9"},
        {"cut \xE6\x97", "cut \\xE6\\x97"},
        {"overlong \xC0\xAF and surrogate \xED\xA0\x80", "overlong \\xC0\\xAF and surrogate \\xED\\xA0\\x80"},
        {std::string("nul\0.bin", 8), "nul\\x00.bin"},
    };
    for (const auto& [text, shown] : cases) EXPECT_EQ(printable(text), shown) << text;
#ifndef _WIN32
    EXPECT_EQ(quoted("/discs/x\x1B[2J.bin"), "\"/discs/x\\x1B[2J.bin\"");
    EXPECT_EQ(displayName("/discs/\xFF.bin"), "\\xFF.bin");
#endif
}

}  // namespace
}  // namespace tolvane
