// What `tolvane info` says of an image, as text or as JSON.
#include "image_info.h"

#include "logo/console/console_view.h"
#include "logo/disc/disc_image.h"
#include "logo/disc/disc_image_layout.h"
#include "logo/base/failure.h"
#include "logo/disc/sector_checks.h"
#include "logo/base/shown_text.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <iomanip>
#include <numeric>
#include <sstream>
#include <vector>

namespace tolvane {

namespace {

struct SectorReport {
    SectorMode mode;
    std::string edc;  // "valid", "invalid" or "none"
    std::string ecc;
};

struct ImageReport {
    std::filesystem::path file;  // the image file (for a CUE sheet, the one it names)
    std::optional<CueImage> cue;
    std::optional<ChdSummary> chd;
    std::uint64_t size;
    const ImageLayout* layout;
    bool looksLikeDisc;
    DiscIdentity identity;
    LogoKey key;
    Byte darkest, lightest;
    double mean;
    std::size_t levels;
    std::vector<SectorReport> sectors;  // empty for images without raw sectors
};

std::string checkWord(bool has, bool valid) { return !has ? "none" : valid ? "valid" : "invalid"; }

std::size_t distinctLevels(const LogoImage& logo) {
    std::array<bool, 256> seen{};
    for (Byte b : logo) seen[b] = true;
    return static_cast<std::size_t>(std::count(seen.begin(), seen.end(), true));
}

ImageReport examine(const std::filesystem::path& path) {
    DiscImage image = DiscImage::open(path);
    image.close();
    ImageReport report{};
    report.file = image.path();
    report.cue = image.cueSheet();
    report.chd = image.chd();
    report.size = image.size();
    report.layout = &image.layout();
    report.looksLikeDisc = image.looksLikeDisc();
    report.identity = readable(image.identity());
    const ImagePrefix& prefix = image.prefix();
    const LogoImage logo = extractLogo(prefix).logo;
    report.key = chooseKey(report.identity, logo);
    const auto [low, high] = std::minmax_element(logo.begin(), logo.end());
    report.darkest = *low;
    report.lightest = *high;
    report.mean = std::accumulate(logo.begin(), logo.end(), 0.0) / double(logo.size());
    report.levels = distinctLevels(logo);

    if (prefix.layout().storesRawSectors()) {
        for (std::size_t n = 0; n < kLogoSectors; ++n) {
            const SectorState state = inspectSector(wholeSector(prefix, n));
            report.sectors.push_back(
                {state.mode, checkWord(state.hasEdc(), state.edcValid), checkWord(state.hasEcc(), state.eccValid)});
        }
    }
    return report;
}

// A JSON string: valid UTF-8 whatever the text holds, bytes that are not UTF-8
// becoming U+FFFD.
std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = utf8SequenceLength(text, at);
        const auto c = static_cast<unsigned char>(text[at]);
        if (length == 0) {
            out += "\\ufffd";
            ++at;
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out.append(text, at, length);
        }
        at += length;
    }
    return out + "\"";
}

// A name's bytes as text that gives them back where the name is not UTF-8 (and
// so its JSON string cannot): each byte that is not part of valid UTF-8 as \xHH,
// a backslash as \\. Nothing for a name in UTF-8, which its string gives exactly.
std::optional<std::string> escapedBytes(const std::string& text) {
    std::string out;
    bool escaped = false;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = utf8SequenceLength(text, at);
        if (length == 0) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(text[at]));
            out += hex;
            escaped = true;
            ++at;
            continue;
        }
        if (text[at] == '\\') out += '\\';
        out.append(text, at, length);
        at += length;
    }
    if (!escaped) return std::nullopt;
    return out;
}

// A name as JSON: its "name" member, then (after `between`) "nameEscaped" with
// its bytes or null.
std::string jsonName(const std::string& name, const std::filesystem::path& path, const std::string& between) {
    const std::string text = pathText(path);
    const auto bytes = escapedBytes(text);
    return "\"" + name + "\": " + jsonString(text) + "," + between + "\"" + name +
           "Escaped\": " + (bytes ? jsonString(*bytes) : "null");
}

// What a failure is, in a word for scripts.
std::string failureKind(const std::exception& failure) {
    const auto* known = dynamic_cast<const Failure*>(&failure);
    if (!known) return "other";
    const std::error_code code = known->code();
    if (code.category() == problemCategory()) {
        switch (static_cast<Problem>(code.value())) {
            case Problem::Damaged: return "damaged";
            case Problem::TooShort: return "too short";
            case Problem::WrongShape: return "wrong shape";
            case Problem::NotSupported: return "not supported";
            case Problem::Busy: return "busy";
            case Problem::Changed: return "changed";
            case Problem::NoRecord: return "no record";
            case Problem::Unsafe: return "unsafe";
        }
        return "other";
    }
    if (code == std::errc::no_such_file_or_directory) return "not found";
    if (code == std::errc::permission_denied || code == std::errc::operation_not_permitted) return "not allowed";
    return "system";
}

void printText(std::ostream& out, const ImageReport& r) {
    out << "File:    " << printable(pathText(r.file)) << '\n';
    if (r.cue)
        out << "Sheet:   " << printable(pathText(r.cue->sheet)) << " (track " << r.cue->track.number << ", "
            << printable(r.cue->track.mode) << ", from byte " << r.cue->track.offset << " of the file)\n";
    if (r.chd) {
        out << "CHD:     " << (r.chd->codecs.empty() ? "no compression" : "codecs");
        for (const std::string& codec : r.chd->codecs) out << ' ' << codec;
        out << ", hunks of " << r.chd->hunkBytes << " bytes; the disc is ";
        if (r.chd->trackNumber)
            out << "its track " << *r.chd->trackNumber << " (" << r.chd->trackType << "), its first data track\n";
        else
            out << "a DVD\n";
    }
    out << "Size:    " << r.size << " bytes\n"
        << "Layout:  " << r.layout->description << ", logo in sectors 0-11 (" << r.layout->prefixLength
        << (r.chd ? " bytes read)\n" : " bytes read and written)\n");
    if (!r.looksLikeDisc) out << "Warning: this file " << notADiscReason() << '\n';
    out << "Serial:  "
        << (r.identity.serial.empty() ? "unknown (" + printable(r.identity.unknownBecause) + ")" : r.identity.serial)
        << '\n'
        << "Video:   " << (r.identity.videoMode == VideoMode::Unknown ? "unknown" : describe(r.identity.videoMode))
        << '\n'
        << "Key:     " << describe(r.key, r.identity).substr(4)  // without its leading "key "
        << (r.key.source == KeySource::Serial && r.key.firstByteAgrees() ? " (byte 0 of the logo agrees)" : "") << '\n'
        << "Logo:    384 x 64, grey levels " << int(r.darkest) << "-" << int(r.lightest) << ", mean " << std::fixed
        << std::setprecision(1) << r.mean << ", " << r.levels << " distinct levels\n";
    if (r.sectors.empty()) return;
    out << "Sectors:\n";
    for (std::size_t n = 0; n < r.sectors.size(); ++n)
        out << "  " << std::setw(2) << n << "  " << std::left << std::setw(14) << describe(r.sectors[n].mode)
            << "  EDC " << std::setw(7) << r.sectors[n].edc << "  ECC " << r.sectors[n].ecc << std::right << '\n';
}

void printJson(std::ostream& out, const ImageReport& r) {
    out << "{\n"
        << "  \"formatVersion\": " << kInfoFormatVersion << ",\n"
        << "  " << jsonName("file", r.file, "\n  ") << ",\n"
        << "  \"size\": " << r.size << ",\n"
        << "  \"cue\": ";
    if (r.cue)
        out << "{" << jsonName("sheet", r.cue->sheet, " ") << ", \"track\": " << r.cue->track.number
            << ", \"mode\": " << jsonString(r.cue->track.mode) << ", \"offset\": " << r.cue->track.offset << "},\n";
    else
        out << "null,\n";
    out << "  \"container\": " << (r.chd ? "\"chd\"" : "null") << ",\n"
        << "  \"chd\": ";
    if (r.chd) {
        out << "{\"codecs\": [";
        for (std::size_t n = 0; n < r.chd->codecs.size(); ++n) out << (n ? ", " : "") << jsonString(r.chd->codecs[n]);
        out << "], \"hunkBytes\": " << r.chd->hunkBytes << ", \"track\": ";
        if (r.chd->trackNumber)
            out << "{\"number\": " << *r.chd->trackNumber << ", \"type\": " << jsonString(r.chd->trackType) << "}";
        else
            out << "null";
        out << "},\n";
    } else {
        out << "null,\n";
    }
    out << "  \"layout\": {\"description\": " << jsonString(std::string(r.layout->description))
        << ", \"sectorSize\": " << r.layout->sectorSize << ", \"userDataOffset\": " << r.layout->userDataOffset
        << ", \"prefixLength\": " << r.layout->prefixLength << ", \"logoSectors\": [0, 11]},\n"
        << "  \"looksLikeDisc\": " << (r.looksLikeDisc ? "true" : "false") << ",\n"
        << "  \"serial\": " << (r.identity.serial.empty() ? "null" : jsonString(r.identity.serial)) << ",\n"
        << "  \"serialUnknownBecause\": "
        << (r.identity.serial.empty() ? jsonString(r.identity.unknownBecause) : "null") << ",\n"
        << "  \"videoMode\": "
        << (r.identity.videoMode == VideoMode::Unknown ? "null" : jsonString(describe(r.identity.videoMode))) << ",\n"
        << "  \"key\": {\"value\": " << int(r.key.key) << ", \"source\": \""
        << (r.key.source == KeySource::Serial ? "serial" : "byte 0") << "\", \"firstByte\": " << int(r.key.firstByte)
        << ", \"firstByteAgrees\": " << (r.key.firstByteAgrees() ? "true" : "false") << "},\n"
        << "  \"logo\": {\"width\": 384, \"height\": 64, \"darkest\": " << int(r.darkest)
        << ", \"lightest\": " << int(r.lightest) << ", \"mean\": " << std::fixed << std::setprecision(2) << r.mean
        << ", \"distinctLevels\": " << r.levels << "},\n"
        << "  \"sectors\": [";
    for (std::size_t n = 0; n < r.sectors.size(); ++n) {
        const SectorReport& s = r.sectors[n];
        out << (n ? ",\n" : "\n") << "    {\"sector\": " << n
            << ", \"sync\": " << (s.mode == SectorMode::NoSync ? "false" : "true")
            << ", \"mode\": " << jsonString(describe(s.mode)) << ", \"edc\": " << jsonString(s.edc)
            << ", \"ecc\": " << jsonString(s.ecc) << "}";
    }
    out << (r.sectors.empty() ? "]\n" : "\n  ]\n") << "}\n";
}

}  // namespace

std::string infoFailureJson(const std::exception& failure) {
    return "{\n  \"formatVersion\": " + std::to_string(kInfoFormatVersion) +
           ",\n  \"error\": {\"message\": " + jsonString(failure.what()) +
           ", \"kind\": " + jsonString(failureKind(failure)) + "}\n}\n";
}

std::string imageInfo(const std::filesystem::path& path, bool json) {
    const ImageReport report = examine(path);
    std::ostringstream text;
    if (json) {
        printJson(text, report);
    } else {
        printText(text, report);
    }
    return text.str();
}

}  // namespace tolvane
