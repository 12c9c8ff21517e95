// Fitting the status text into its lines.
#include "ui/common/status_line.h"

#include "logo/base/failure.h"
#include "logo/base/shown_text.h"

#include <algorithm>
#include <numeric>

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

// Where the text breaks into lines of at most `width` pixels: at the last blank
// that lets a line fit, or inside a word wider than a whole line (which then
// starts on the line it follows, so that it takes no more lines than it must).
std::vector<std::u16string_view> wrap(std::u16string_view text, int width, const TextWidth& measure) {
    std::vector<std::u16string_view> lines;
    while (measure(text) > width) {
        std::size_t fits =
            head(text,
                 largestFitting(text.size() - 1, [&](std::size_t keep) { return measure(head(text, keep)) <= width; }))
                .size();
        if (fits == 0) fits = text.size() > 1 && isLowSurrogate(text[1]) ? 2 : 1;  // one character at least
        if (fits >= text.size()) break;
        std::size_t next = fits;
        if (text[fits] == u' ') {
            ++next;
        } else if (const std::size_t blank = text.rfind(u' ', fits - 1);
                   blank != std::u16string_view::npos && blank > 0) {
            const std::size_t wordEnd = std::min(text.find(u' ', blank + 1), text.size());
            if (measure(text.substr(blank + 1, wordEnd - blank - 1)) <= width) {
                fits = blank;
                next = blank + 1;
            }
        }
        lines.push_back(text.substr(0, fits));
        text = text.substr(next);
    }
    lines.push_back(text);
    return lines;
}

// How narrow a name gets: a few letters on each side of its ellipsis.
int shortestName(const TextWidth& measure) { return measure(u"abcd\u2026wxyz"); }

std::u16string withNamesIn(const std::vector<Piece>& pieces, int nameWidth, const TextWidth& measure) {
    std::u16string shortened;
    for (const Piece& piece : pieces)
        shortened += piece.name ? elideMiddle(piece.text, nameWidth, measure) : piece.text;
    return shortened;
}

struct LineFit {
    std::vector<std::u16string> lines;
    bool shortened = false;
};

LineFit fitLine(const std::u16string& text, const std::vector<std::u16string>& names, const TextWidth& measure,
                int width, std::size_t room) {
    const auto fitted = [&](std::u16string_view shown, bool shortened) {
        LineFit fit{{}, shortened};
        for (std::u16string_view line : wrap(shown, width, measure)) fit.lines.emplace_back(line);
        return fit;
    };
    if (wrap(text, width, measure).size() <= room) return fitted(text, false);

    const std::vector<Piece> pieces = splitAtNames(text, names);
    const auto withNamesAt = [&](int nameWidth) { return withNamesIn(pieces, nameWidth, measure); };
    const auto fitsIn = [&](int nameWidth) { return wrap(withNamesAt(nameWidth), width, measure).size() <= room; };
    int fits = shortestName(measure);
    if (!fitsIn(fits)) {
        // The end is cut on the last line.
        const std::u16string shortest = withNamesAt(fits);
        const std::vector<std::u16string_view> wrapped = wrap(shortest, width, measure);
        LineFit fit{{wrapped.begin(), wrapped.begin() + std::ptrdiff_t(room - 1)}, true};
        const std::size_t lastFrom = std::size_t(wrapped[room - 1].data() - shortest.data());
        fit.lines.push_back(elideRight(std::u16string_view(shortest).substr(lastFrom), width, measure));
        return fit;
    }
    int tooWide = measure(text);  // every name whole
    while (tooWide - fits > 1) {
        const int middle = fits + (tooWide - fits) / 2;
        if (fitsIn(middle)) {
            fits = middle;
        } else {
            tooWide = middle;
        }
    }
    return fitted(withNamesAt(fits), true);
}

// The status's lines, without the carriage returns of Windows' line ends and
// without empty lines at its end.
std::vector<std::u16string> statusLines(std::u16string_view text) {
    std::vector<std::u16string> lines;
    for (std::size_t from = 0; from <= text.size();) {
        const std::size_t end = std::min(text.find(u'\n', from), text.size());
        std::u16string_view line = text.substr(from, end - from);
        if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
        lines.emplace_back(line);
        from = end + 1;
    }
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    return lines;
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

FittedStatus fitStatus(std::string_view status, const std::vector<std::string>& names, const TextWidth& measure,
                       int width, int lines) {
    std::vector<std::u16string> wideNames;
    for (const std::string& name : names) wideNames.push_back(utf16(name));
    std::vector<std::u16string> given = statusLines(utf16(status));
    const std::size_t room = std::size_t(std::max(lines, 1));
    if (given.size() > room) {
        for (std::size_t k = room; k < given.size(); ++k) given[room - 1] += u"  " + given[k];
        given.resize(room);
    }

    // The lines of the area each line of the status takes: all it needs where
    // they are there. Where they are not, names are shortened first, so that a
    // line with none (a warning) is cut only when even the shortest names leave
    // it too little; the first lines take what the others leave free.
    const auto sum = [](const std::vector<std::size_t>& counts) {
        return std::accumulate(counts.begin(), counts.end(), std::size_t{0});
    };
    std::vector<std::size_t> whole;
    for (const std::u16string& line : given) whole.push_back(wrap(line, width, measure).size());
    std::vector<std::size_t> least = whole;
    if (sum(whole) > room)
        for (std::size_t k = 0; k < given.size(); ++k) {
            const auto pieces = splitAtNames(given[k], wideNames);
            least[k] =
                std::min(whole[k], wrap(withNamesIn(pieces, shortestName(measure), measure), width, measure).size());
        }
    std::vector<std::size_t> allotted(given.size(), 1);
    std::size_t spare = room - given.size();
    if (sum(least) <= room) {
        allotted = least;
        spare = room - sum(least);
        for (std::size_t k = 0; k < given.size(); ++k) {
            const std::size_t more = std::min(spare, whole[k] - least[k]);
            allotted[k] += more;
            spare -= more;
        }
    }

    FittedStatus fitted;
    for (std::size_t k = 0; k < given.size(); ++k) {
        LineFit fit = fitLine(given[k], wideNames, measure, width, allotted[k] + spare);
        spare -= fit.lines.size() - std::min(fit.lines.size(), allotted[k]);
        fitted.shortened = fitted.shortened || fit.shortened;
        for (std::u16string& shown : fit.lines) fitted.lines.push_back(std::move(shown));
    }
    return fitted;
}

std::u16string utf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const std::size_t length = utf8SequenceLength(utf8, i);
        if (length == 0) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(utf8[i + k]); };
        constexpr unsigned char kLeadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
        char32_t code = byte(0) & kLeadBits[length];
        for (std::size_t k = 1; k < length; ++k) code = code << 6 | (byte(k) & 0x3F);
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
