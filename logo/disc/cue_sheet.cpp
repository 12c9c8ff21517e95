// Reading CUE sheets: the first data track, where it starts, and its file.
#include "logo/disc/cue_sheet.h"

#include "logo/base/ascii_text.h"
#include "logo/base/failure.h"
#include "logo/base/shown_text.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <system_error>
#include <vector>

namespace tolvane {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

void appendUtf8(std::string& text, char32_t c) {
    const auto add = [&](unsigned byte) { text += static_cast<char>(byte); };
    if (c < 0x80) {
        add(c);
    } else if (c < 0x800) {
        add(0xC0 | c >> 6);
        add(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        add(0xE0 | c >> 12);
        add(0x80 | (c >> 6 & 0x3F));
        add(0x80 | (c & 0x3F));
    } else {
        add(0xF0 | c >> 18);
        add(0x80 | (c >> 12 & 0x3F));
        add(0x80 | (c >> 6 & 0x3F));
        add(0x80 | (c & 0x3F));
    }
}

// A sheet's bytes as UTF-8 text, without a byte order mark: as they are, or
// from UTF-16 when they start with its byte order mark (as Notepad saves
// "Unicode"); a unit that is half of no pair becomes U+FFFD, an odd last byte
// is dropped.
std::string sheetText(std::string_view bytes) {
    if (bytes.starts_with(kByteOrderMark)) return std::string(bytes.substr(kByteOrderMark.size()));
    const bool little = bytes.starts_with("\xFF\xFE");
    if (!little && !bytes.starts_with("\xFE\xFF")) return std::string(bytes);
    const auto unit = [&](std::size_t at) -> char32_t {
        const auto byte = [&](std::size_t k) { return static_cast<char32_t>(static_cast<unsigned char>(bytes[k])); };
        return little ? byte(at) | byte(at + 1) << 8 : byte(at) << 8 | byte(at + 1);
    };
    const auto isHigh = [](char32_t u) { return u >= 0xD800 && u < 0xDC00; };
    const auto isLow = [](char32_t u) { return u >= 0xDC00 && u < 0xE000; };
    std::string text;
    for (std::size_t at = 2; at + 1 < bytes.size(); at += 2) {
        char32_t c = unit(at);
        if (isHigh(c) && at + 3 < bytes.size() && isLow(unit(at + 2))) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(at + 2) - 0xDC00);
            at += 2;
        } else if (isHigh(c) || isLow(c)) {
            c = 0xFFFD;
        }
        appendUtf8(text, c);
    }
    return text;
}

bool isBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

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

// The track modes a sheet may give, and the bytes each sector of such a track
// takes in a BINARY file.
struct TrackMode {
    std::string_view name;
    std::uint32_t sectorSize;
};
constexpr std::array<TrackMode, 10> kTrackModes{{{"AUDIO", 2352},
                                                 {"CDG", 2448},
                                                 {"MODE1/2048", 2048},
                                                 {"MODE1/2352", 2352},
                                                 {"MODE2/2048", 2048},
                                                 {"MODE2/2324", 2324},
                                                 {"MODE2/2336", 2336},
                                                 {"MODE2/2352", 2352},
                                                 {"CDI/2336", 2336},
                                                 {"CDI/2352", 2352}}};

std::optional<std::uint32_t> sectorSizeOf(std::string_view mode) {
    for (const TrackMode& known : kTrackModes)
        if (known.name == mode) return known.sectorSize;
    return std::nullopt;
}

bool isDataMode(std::string_view mode) { return mode.starts_with("MODE"); }

// The file a FILE line names: in double quotes, or, as some tools write it,
// without them and with blanks in it: all between FILE and the last word, the
// file's type (FILE My Game.bin BINARY).
std::string fileNamed(std::string_view line) {
    line = trimmed(line);
    const std::string_view rest = trimmed(line.substr(std::min<std::size_t>(4, line.size())));  // after FILE
    if (rest.starts_with('"')) return words(rest).front();
    const std::size_t type = rest.find_last_of(" \t\v\f");
    return std::string(type == std::string_view::npos ? rest : trimmed(rest.substr(0, type)));
}

std::optional<unsigned> number(std::string_view digits) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size() || digits.empty()) return std::nullopt;
    return value;
}

// A time of the sheet, minutes:seconds:frames (75 frames, or sectors, a second),
// in sectors from the start of its file.
std::optional<std::uint64_t> sectorsAt(std::string_view time) {
    const std::size_t first = time.find(':'), second = time.find(':', first + 1);
    if (first == std::string_view::npos || second == std::string_view::npos) return std::nullopt;
    const auto minutes = number(time.substr(0, first));
    const auto seconds = number(time.substr(first + 1, second - first - 1));
    const auto frames = number(time.substr(second + 1));
    if (!minutes || !seconds || !frames || *seconds >= 60 || *frames >= 75) return std::nullopt;
    return (std::uint64_t{*minutes} * 60 + *seconds) * 75 + *frames;
}

// The sheet's reading, line by line, of where its tracks lie in their files.
class TrackWalk {
public:
    std::optional<CueDataTrack> file(std::string name) {
        // A data track with no index yet that the sheet leaves for another file.
        auto unindexed = started_ && !trackIndexed_ ? endOfTrack() : std::nullopt;
        file_ = std::move(name);
        // A new file starts with nothing counted; the track under way, if any,
        // goes on in it from its first byte.
        counted_ = partStart_ = lastIndex_ = 0;
        trackIndexedHere_ = trackInFile_ = false;
        return unindexed;
    }

    std::optional<CueDataTrack> track(int number, std::string mode) {
        auto unindexed = endOfTrack();
        started_ = true;
        number_ = number;
        mode_ = std::move(mode);
        trackIndexed_ = trackIndexedHere_ = false;
        return unindexed;
    }

    std::optional<CueDataTrack> index(unsigned index, std::uint64_t at) {
        if (!file_ || !started_) return std::nullopt;  // an INDEX before any FILE or TRACK
        if (at < lastIndex_) fail("its times go back at track " + std::to_string(number_));
        lastIndex_ = at;
        if (!trackIndexedHere_) {  // this track's first index in this file: the track before it ends here
            if (trackInFile_) {
                counted_ += bytesOf(at - partStart_, partMode_, partNumber_);
                partStart_ = at;
            }
            partMode_ = mode_;
            partNumber_ = number_;
            trackIndexed_ = trackIndexedHere_ = trackInFile_ = true;
        }
        if (index != 1 || !isDataMode(mode_)) return std::nullopt;
        return found(counted_ + bytesOf(at - partStart_, mode_, number_));
    }

    // At the sheet's end.
    std::optional<CueDataTrack> end() { return endOfTrack(); }

    [[noreturn]] static void fail(const std::string& reason) { throw Failure(reason, Problem::Damaged); }

private:
    // The data track under way, at its end without an INDEX 01: one that named
    // no index at all (as short sheets do) starts at its file's first byte when
    // nothing comes before it there; any other is a fault of the sheet.
    std::optional<CueDataTrack> endOfTrack() const {
        if (!started_ || !isDataMode(mode_) || !file_) return std::nullopt;
        if (trackIndexed_ || trackInFile_) fail("its data track " + std::to_string(number_) + " has no INDEX 01");
        return found(0);
    }

    std::uint64_t bytesOf(std::uint64_t sectors, const std::string& mode, int track) const {
        if (sectors == 0) return 0;
        const auto size = sectorSizeOf(mode);
        if (!size)
            fail("its track " + std::to_string(track) + " has the mode " + printable(mode) +
                 ", which this program does not know, so its length in bytes is not known");
        return sectors * *size;
    }

    CueDataTrack found(std::uint64_t offset) const { return {*file_, number_, mode_, offset}; }

    std::optional<std::string> file_;
    bool started_ = false;  // a TRACK was given
    int number_ = 0;        // the track under way
    std::string mode_;
    bool trackIndexed_ = false;      // it has an INDEX
    bool trackIndexedHere_ = false;  // it has an INDEX in the current file
    bool trackInFile_ = false;       // some track has an INDEX in the current file
    // In the current file: the bytes of the tracks before the part under way,
    // and that part: where it starts (in sectors) and the track it belongs to.
    std::uint64_t counted_ = 0;
    std::uint64_t partStart_ = 0;
    std::uint64_t lastIndex_ = 0;  // the last index's time in the current file
    std::string partMode_;
    int partNumber_ = 0;
};

}  // namespace

bool looksLikeCueSheet(std::string_view bytes) {
    const std::string utf8 = sheetText(bytes);
    std::string_view start = utf8;
    const auto text = start.find_first_not_of(" \t\r\n");  // blank lines before the first keyword
    if (text == std::string_view::npos) return false;
    start.remove_prefix(text);
    const auto first = words(start.substr(0, start.find_first_of("\r\n")));
    if (first.empty()) return false;
    const std::string keyword = upperAscii(first[0]);
    return keyword == "FILE" || keyword == "REM" || keyword == "CATALOG" || keyword == "TITLE" ||
           keyword == "PERFORMER" || keyword == "CDTEXTFILE";
}

std::optional<CueDataTrack> firstDataTrack(std::string_view bytes) {
    const std::string utf8 = sheetText(bytes);
    const std::string_view sheet = utf8;
    TrackWalk walk;
    for (std::size_t at = 0; at < sheet.size();) {
        std::size_t end = sheet.find_first_of("\r\n", at);
        if (end == std::string_view::npos) end = sheet.size();
        const std::string_view lineText = sheet.substr(at, end - at);
        const auto line = words(lineText);
        at = end + 1;
        if (line.size() < 2) continue;
        const std::string keyword = upperAscii(line[0]);
        std::optional<CueDataTrack> track;
        if (keyword == "FILE") {
            track = walk.file(fileNamed(lineText));
        } else if (keyword == "TRACK" && line.size() >= 3) {
            const auto n = number(line[1]);
            track = walk.track(n && *n < 100 ? int(*n) : 0, upperAscii(line[2]));
        } else if (keyword == "INDEX" && line.size() >= 3) {
            const auto index = number(line[1]);
            const auto sectors = sectorsAt(line[2]);
            if (!index || !sectors)
                TrackWalk::fail("\"INDEX " + printable(line[1]) + " " + printable(line[2]) +
                                "\" is not an index number and a time (minutes:seconds:frames)");
            track = walk.index(*index, *sectors);
        }
        if (track) return track;
    }
    return walk.end();
}

namespace {

constexpr std::size_t kMaxCueSheetLength = 64 * 1024;

bool isThere(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

// The file below `folder` whose path from there is `relative` in any letter
// case (ASCII's), part by part; nothing when there is none, or more than one
// (on a system whose names tell case apart), which sets `several`.
std::optional<std::filesystem::path> inAnyCase(std::filesystem::path folder, const std::filesystem::path& relative,
                                               bool& several) {
    for (const std::filesystem::path& part : relative) {
        if (isThere(folder / part)) {
            folder /= part;
            continue;
        }
        const std::string wanted = lowerAscii(pathText(part));
        std::vector<std::filesystem::path> found;
        for (const std::filesystem::path& name : namesIn(folder.empty() ? std::filesystem::path(".") : folder))
            if (lowerAscii(pathText(name)) == wanted) found.push_back(folder / name);
        several = several || found.size() > 1;
        if (found.size() != 1) return std::nullopt;
        folder = found.front();
    }
    return folder;
}

// The file a sheet names: where it says, else beside it; in the case written,
// else in any.
std::filesystem::path locate(const std::filesystem::path& sheet, const std::string& written) {
    std::string name = written;
    std::replace(name.begin(), name.end(), '\\', '/');
    const auto asPath = [](const std::string& text) {
        return std::filesystem::path(std::u8string(text.begin(), text.end()));
    };
    const std::filesystem::path folder = sheet.parent_path();
    const std::filesystem::path named = asPath(name);
    const std::filesystem::path last = asPath(name.substr(name.find_last_of("/:") + 1));  // after a folder or a drive
    bool several = false;
    for (const std::filesystem::path& relative : {named, last}) {
        if (relative.empty()) continue;
        if (isThere(folder / relative)) return folder / relative;
        if (relative.is_relative())
            if (auto found = inAnyCase(folder, relative, several)) return *found;
    }
    throw Failure("Cannot open " + quoted(sheet) + ": the file of its data track, \"" + printable(written) + "\", is " +
                      (named == last ? "not beside it" : "neither there nor beside it") +
                      (several ? " (several files there have that name in other letter cases)" : ""),
                  std::make_error_code(std::errc::no_such_file_or_directory));
}

}  // namespace

std::optional<CueImage> cueSheetImage(File& file, const std::filesystem::path& path) {
    std::array<Byte, 64> start{};
    const std::string_view startText(reinterpret_cast<const char*>(start.data()), file.readAt(0, start));
    if (file.size() > kMaxCueSheetLength || !looksLikeCueSheet(startText)) return std::nullopt;
    std::vector<Byte> sheet(static_cast<std::size_t>(file.size()));
    sheet.resize(file.readAt(0, sheet));
    std::optional<CueDataTrack> track;
    try {
        track = firstDataTrack(std::string_view(reinterpret_cast<const char*>(sheet.data()), sheet.size()));
    } catch (const Failure& failure) {
        throw failure.after("Cannot open " + quoted(path) + ": the CUE sheet is damaged: ");
    }
    if (!track)
        throw Failure("Cannot open " + quoted(path) + ": the CUE sheet names no data track", Problem::NotSupported);
    // The system would take the name only up to the NUL: another file than the sheet names.
    if (track->file.find('\0') != std::string::npos)
        throw Failure("Cannot open " + quoted(path) + ": the CUE sheet names a file whose name holds a NUL byte",
                      Problem::Unsafe);
    try {
        return CueImage{path, *track, locate(path, track->file)};
    } catch (const Failure&) {
        throw;
    } catch (const std::exception&) {
        throw Failure("Cannot open " + quoted(path) + ": the CUE sheet names a file whose name is not UTF-8",
                      Problem::NotSupported);
    }
}

}  // namespace tolvane
