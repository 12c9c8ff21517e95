// Text from discs, file systems and command lines as people are shown it: in
// a message, a terminal or a status line, nothing in it may act as a control.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tolvane {

// The length of the UTF-8 sequence at text[at], or 0 where the bytes there are
// not valid UTF-8 (cut short, overlong, a surrogate, past U+10FFFF).
std::size_t utf8SequenceLength(std::string_view text, std::size_t at);

// The text with control bytes and bytes that are not UTF-8 written as \xNN, so
// that nothing in it can drive a terminal or pass for other text; the characters
// in `backslashed` get a backslash before them (for quoting as a shell reads $'...').
std::string printable(std::string_view text, std::string_view backslashed = "");

}  // namespace tolvane
