// Failures, their codes and their English texts.
#include "logo/base/failure.h"

#include "logo/base/shown_text.h"

#include <cstring>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <clocale>
#include <locale.h>
#endif

namespace tolvane {

namespace {

class ProblemCategory : public std::error_category {
public:
    const char* name() const noexcept override { return "tolvane"; }
    std::string message(int value) const override {
        switch (static_cast<Problem>(value)) {
            case Problem::Damaged: return "damaged";
            case Problem::TooShort: return "too short";
            case Problem::WrongShape: return "of another size";
            case Problem::NotSupported: return "not a kind of file this program reads";
            case Problem::Busy: return "another program is writing it";
            case Problem::Changed: return "changed since it was read";
            case Problem::NoRecord: return "no record of a patch to take back";
            case Problem::Unsafe: return "refused, to keep a file safe";
        }
        return "problem " + std::to_string(value);
    }
};

#ifndef _WIN32
// The C locale, where strerror_l speaks English.
locale_t cLocale() {
    static const locale_t locale = ::newlocale(LC_ALL_MASK, "C", locale_t{});
    return locale;
}
#endif

}  // namespace

const std::error_category& problemCategory() {
    static const ProblemCategory category;
    return category;
}

std::error_code make_error_code(Problem problem) { return {static_cast<int>(problem), problemCategory()}; }

std::string reasonText(std::error_code code) {
    if (code.category() == problemCategory()) return code.message();
#ifdef _WIN32
    if (code.category() == std::system_category()) {
        wchar_t* text = nullptr;
        const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
        DWORD length = FormatMessageW(flags, nullptr, DWORD(code.value()), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                      reinterpret_cast<wchar_t*>(&text), 0, nullptr);
        if (!length)  // no English messages installed: the system's own language
            length =
                FormatMessageW(flags, nullptr, DWORD(code.value()), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
        std::wstring wide = length ? std::wstring(text, length) : L"Windows error " + std::to_wstring(code.value());
        LocalFree(text);
        while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L'.')) wide.pop_back();
        return pathText(std::filesystem::path(wide));
    }
    return std::strerror(code.value());  // the C runtime's texts are English
#else
    if (const locale_t locale = cLocale()) return ::strerror_l(code.value(), locale);
    return std::strerror(code.value());
#endif
}

Failure::Failure(const std::string& operation, const std::filesystem::path& file, std::error_code code,
                 const std::string& purpose)
    : std::runtime_error(operation + " " + quoted(file) + purpose + ": " + reasonText(code)), code_(code) {}

Failure::Failure(const std::string& text, std::error_code code) : std::runtime_error(text), code_(code) {}

std::string pathText(const std::filesystem::path& path) {
    const auto text = path.u8string();
    return {text.begin(), text.end()};
}

std::string shownPath(const std::filesystem::path& path) { return printable(pathText(path)); }

std::string quoted(const std::filesystem::path& path) { return '"' + shownPath(path) + '"'; }

std::string displayName(const std::filesystem::path& path) { return shownPath(path.filename()); }

}  // namespace tolvane
