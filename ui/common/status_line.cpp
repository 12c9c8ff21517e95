#include "status_line.h"

#include "logo/base/failure.h"

#include <algorithm>

namespace tolvane {

namespace {

constexpr char16_t kEllipsis = u'\u2026';

bool isLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The first `keep` units of text, never half of a surrogate pair.
std::u16string_view head(std::u16string_view text, std::size_t keep) {
    if (keep > 0 && keep < text.size() && isLowSurrogate(text[keep])) --keep;
    return text.substr(0, keep);
}

// The last `keep` units of text, never half of a surrogate pair.
std::u16string_view tail(std::u16string_view text, std::size_t keep) {
    std::size_t from = text.size() - keep;
    if (from < text.size() && isLowSurrogate(text[from])) ++from;
    return text.substr(from);
}

// The largest count in [0, most] for which fits(count) holds, fits(0) assumed.
template <typename Fits>
std::size_t largestFitting(std::size_t most, Fits fits) {
    std::size_t low = 0, high = most + 1;
    while (high - low > 1) {
        const std::size_t middle = low + (high - low) / 2;
        if (fits(middle)) {
            low = middle;
        } else {
            high = middle;
        }
    }
    return low;
}

std::u16string elideMiddle(std::u16string_view text, int width, const TextWidth& measure) {
    if (measure(text) <= width) return std::u16string(text);
    const auto shortened = [&](std::size_t keep) {
        std::u16string out(head(text, (keep + 1) / 2));
        out += kEllipsis;
        out += tail(text, keep / 2);
        return out;
    };
    return shortened(
        largestFitting(text.size() - 1, [&](std::size_t keep) { return measure(shortened(keep)) <= width; }));
}

std::u16string elideRight(std::u16string_view text, int width, const TextWidth& measure) {
    if (measure(text) <= width) return std::u16string(text);
    const auto shortened = [&](std::size_t keep) { return std::u16string(head(text, keep)) + kEllipsis; };
    return shortened(
        largestFitting(text.size() - 1, [&](std::size_t keep) { return measure(shortened(keep)) <= width; }));
}

struct Piece {
    std::u16string text;
    bool name;
};

// The text cut into file names and what lies between them.
std::vector<Piece> splitAtNames(std::u16string text, std::vector<std::u16string> names) {
    std::vector<Piece> pieces{{std::move(text), false}};
    // A full path before the file name it ends with.
    std::sort(names.begin(), names.end(), [](const auto& a, const auto& b) { return a.size() > b.size(); });
    for (const std::u16string& name : names) {
        if (name.empty()) continue;
        std::vector<Piece> split;
        for (Piece& piece : pieces) {
            if (piece.name) {
                split.push_back(std::move(piece));
                continue;
            }
            std::size_t from = 0;
            for (std::size_t at = piece.text.find(name); at != std::u16string::npos; at = piece.text.find(name, from)) {
                split.push_back({piece.text.substr(from, at - from), false});
                split.push_back({name, true});
                from = at + name.size();
            }
            split.push_back({piece.text.substr(from), false});
        }
        pieces = std::move(split);
    }
    return pieces;
}

}  // namespace

std::vector<std::string> statusFileNames(const std::vector<std::filesystem::path>& files) {
    std::vector<std::string> names;
    for (const std::filesystem::path& file : files) {
        if (file.empty()) continue;
        names.push_back(shownPath(file));
        names.push_back(displayName(file));
    }
    return names;
}

std::u16string fitStatus(std::string_view status, const std::vector<std::string>& names, const TextWidth& measure,
                         int width) {
    std::u16string text = utf16(status);
    const int whole = measure(text);
    if (whole <= width) return text;
    std::vector<std::u16string> wideNames;
    for (const std::string& name : names) wideNames.push_back(utf16(name));
    const std::vector<Piece> pieces = splitAtNames(std::move(text), std::move(wideNames));

    const auto withNamesIn = [&](int nameWidth) {
        std::u16string shortened;
        for (const Piece& piece : pieces)
            shortened += piece.name ? elideMiddle(piece.text, nameWidth, measure) : piece.text;
        return shortened;
    };
    const auto fitsIn = [&](int nameWidth) { return measure(withNamesIn(nameWidth)) <= width; };
    // A name keeps a few letters on each side of its ellipsis.
    int fits = measure(u"abcd\u2026wxyz");
    if (!fitsIn(fits)) return elideRight(withNamesIn(fits), width, measure);
    int tooWide = whole;  // every name whole
    while (tooWide - fits > 1) {
        const int middle = fits + (tooWide - fits) / 2;
        if (fitsIn(middle)) {
            fits = middle;
        } else {
            tooWide = middle;
        }
    }
    return withNamesIn(fits);
}

std::u16string utf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(utf8[k]); };
        const unsigned char lead = byte(i);
        const std::size_t length = lead < 0x80           ? 1
                                   : (lead >> 5) == 0x6  ? 2
                                   : (lead >> 4) == 0xE  ? 3
                                   : (lead >> 3) == 0x1E ? 4
                                                         : 0;
        char32_t code = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
        bool valid = length != 0 && i + length <= utf8.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            valid = (byte(i + k) & 0xC0) == 0x80;
            code = code << 6 | (byte(i + k) & 0x3F);
        }
        constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        valid = valid && code >= kSmallest[length] && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
        if (!valid) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
        i += length;
    }
    return out;
}

}  // namespace tolvane
