// Reading CUE sheets.
#include "logo/disc/cue_sheet.h"

#include "logo/base/failure.h"

#include "logo/base/ascii_text.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

namespace tolvane {

namespace {

// The words of a line; a word in double quotes may hold blanks.
std::vector<std::string> words(std::string_view line) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && std::isspace(static_cast<unsigned char>(line[at]))) ++at;
        if (at >= line.size()) break;
        if (line[at] == '"') {
            const std::size_t end = line.find('"', at + 1);
            out.emplace_back(line.substr(at + 1, (end == std::string_view::npos ? line.size() : end) - at - 1));
            at = end == std::string_view::npos ? line.size() : end + 1;
        } else {
            std::size_t end = at;
            while (end < line.size() && !std::isspace(static_cast<unsigned char>(line[end]))) ++end;
            out.emplace_back(line.substr(at, end - at));
            at = end;
        }
    }
    return out;
}

}  // namespace

bool looksLikeCueSheet(std::string_view start) {
    if (start.substr(0, 3) == "\xEF\xBB\xBF") start.remove_prefix(3);  // a byte order mark
    const auto text = start.find_first_not_of(" \t\r\n");              // blank lines before the first keyword
    if (text == std::string_view::npos) return false;
    start.remove_prefix(text);
    const auto first = words(start.substr(0, start.find_first_of("\r\n")));
    if (first.empty()) return false;
    const std::string keyword = upperAscii(first[0]);
    return keyword == "FILE" || keyword == "REM" || keyword == "CATALOG" || keyword == "TITLE" ||
           keyword == "PERFORMER" || keyword == "CDTEXTFILE";
}

std::optional<std::string> firstDataTrackFile(std::string_view sheet) {
    std::optional<std::string> file;
    std::size_t at = 0;
    while (at < sheet.size()) {
        std::size_t end = sheet.find_first_of("\r\n", at);
        if (end == std::string_view::npos) end = sheet.size();
        const auto line = words(sheet.substr(at, end - at));
        at = end + 1;
        if (line.size() >= 2 && upperAscii(line[0]) == "FILE") file = line[1];
        if (line.size() >= 3 && upperAscii(line[0]) == "TRACK" && upperAscii(line[2]).rfind("MODE", 0) == 0 && file)
            return file;
    }
    return std::nullopt;
}

namespace {

constexpr std::size_t kMaxCueSheetLength = 64 * 1024;

}  // namespace

std::optional<std::filesystem::path> cueSheetImage(File& file, const std::filesystem::path& path) {
    std::array<Byte, 64> start{};
    const std::string_view startText(reinterpret_cast<const char*>(start.data()), file.readAt(0, start));
    if (file.size() > kMaxCueSheetLength || !looksLikeCueSheet(startText)) return std::nullopt;
    std::vector<Byte> sheet(static_cast<std::size_t>(file.size()));
    sheet.resize(file.readAt(0, sheet));
    const auto track = firstDataTrackFile(std::string_view(reinterpret_cast<const char*>(sheet.data()), sheet.size()));
    if (!track)
        throw Failure("Cannot open " + quoted(path) + ": the CUE sheet names no data track", Problem::NotSupported);
    // The system would take the name only up to the NUL: another file than the sheet names.
    if (track->find('\0') != std::string::npos)
        throw Failure("Cannot open " + quoted(path) + ": the CUE sheet names a file whose name holds a NUL byte",
                      Problem::Unsafe);
    try {
        return path.parent_path() / std::filesystem::path(std::u8string(track->begin(), track->end()));
    } catch (const std::exception&) {
        throw Failure("Cannot open " + quoted(path) + ": the CUE sheet names a file whose name is not UTF-8",
                      Problem::NotSupported);
    }
}

}  // namespace tolvane
