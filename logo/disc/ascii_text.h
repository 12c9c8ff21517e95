// Texts on a disc and in the files beside it are ASCII: upper case, as the
// formats compare names, without the locale's say.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace tolvane {

inline std::string upperAscii(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    return out;
}

}  // namespace tolvane
