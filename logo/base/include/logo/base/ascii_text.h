// ASCII letters in names that formats compare without case (ISO 9660 names,
// CUE keywords, file extensions): upper or lower case, without the locale's say.
#pragma once

#include <string>
#include <string_view>

namespace tolvane {

inline std::string upperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

inline std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

}  // namespace tolvane
