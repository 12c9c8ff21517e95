// Text between the editor (UTF-8) and Windows (UTF-16).
#pragma once

#include "ui/common/status_line.h"

#include <windows.h>

#include <string>
#include <string_view>

namespace tolvane::win32 {

inline std::wstring wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
inline std::wstring wide(std::string_view utf8) { return wide(utf16(utf8)); }

inline std::string narrow(std::wstring_view text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(std::size_t(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

}  // namespace tolvane::win32
