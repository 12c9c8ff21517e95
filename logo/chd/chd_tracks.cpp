// Reading the metadata of a CHD that describes its disc.
#include "chd_tracks.h"

#include "chd_map.h"

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <sstream>

namespace tolvane::chd {

namespace {

constexpr std::size_t kEntryHeader = 16;  // tag, flags, length (3 bytes), the next entry's offset
constexpr std::size_t kMostEntries = 1000;
constexpr std::size_t kMostTracks = 99;
constexpr std::uint32_t kTrackPadding = 4;  // chdman starts each track on a multiple of 4 frames

constexpr std::uint32_t tag(const char (&name)[5]) { return codecNamed(name); }

// The bytes of each sector a track of this type keeps.
std::uint32_t sectorSizeOf(const std::string& type) {
    static const std::map<std::string, std::uint32_t> sizes{
        {"MODE1", 2048},       {"MODE1/2048", 2048}, {"MODE1_RAW", 2352},      {"MODE1/2352", 2352},
        {"MODE2", 2336},       {"MODE2/2336", 2336}, {"MODE2_FORM1", 2048},    {"MODE2/2048", 2048},
        {"MODE2_FORM2", 2324}, {"MODE2/2324", 2324}, {"MODE2_FORM_MIX", 2336}, {"MODE2_RAW", 2352},
        {"MODE2/2352", 2352},  {"AUDIO", 2352}};
    const auto found = sizes.find(type);
    return found == sizes.end() ? 0 : found->second;
}

struct TrackEntry {
    ChdTrack track;
    std::uint32_t padding = 0;  // frames after it, up to the next multiple of 4
};

std::uint32_t number(const std::string& text) {
    if (text.empty() || text.size() > 9 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        throw Damage("its track metadata holds a number that is none: \"" + text + "\"");
    return static_cast<std::uint32_t>(std::stoul(text));
}

// "TRACK:1 TYPE:MODE2_RAW SUBTYPE:NONE FRAMES:80 PREGAP:0 PGTYPE:MODE1 PGSUB:NONE POSTGAP:0"
// (CHT2; CHTR stops after FRAMES). A pregap type starting with V says the
// CHD keeps the pregap's sectors, at the start of the track's frames.
TrackEntry parseTrackText(std::span<const Byte> bytes, bool withPregap) {
    std::string text(bytes.begin(), bytes.end());
    text = text.substr(0, text.find('\0'));
    std::map<std::string, std::string> fields;
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        const std::size_t colon = word.find(':');
        if (colon != std::string::npos) fields[word.substr(0, colon)] = word.substr(colon + 1);
    }
    if (!fields.count("TRACK") || !fields.count("TYPE") || !fields.count("FRAMES"))
        throw Damage("its track metadata is not what the format says: \"" + text.substr(0, 100) + "\"");
    TrackEntry entry;
    entry.track.number = number(fields["TRACK"]);
    entry.track.type = fields["TYPE"];
    entry.track.frames = number(fields["FRAMES"]);
    if (withPregap && fields.count("PREGAP") && fields["PGTYPE"].starts_with("V"))
        entry.track.pregap = number(fields["PREGAP"]);
    entry.padding = (kTrackPadding - entry.track.frames % kTrackPadding) % kTrackPadding;
    return entry;
}

// The old binary table: a count, then 99 tracks of six 32-bit numbers (type,
// subcode type, sector size, subcode size, frames, padding frames), in the byte
// order of the machine that wrote it.
std::vector<TrackEntry> parseTrackTable(std::span<const Byte> bytes) {
    constexpr std::size_t kFields = 6;
    if (bytes.size() < 4 + kMostTracks * kFields * 4) throw Damage("its track table is shorter than the format says");
    const auto be = [&](std::size_t at) { return static_cast<std::uint32_t>(readBe(bytes, at, 4)); };
    const auto swapped = [](std::uint32_t v) {
        return (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24);
    };
    const bool bigEndian = be(0) <= kMostTracks;
    const auto field = [&](std::size_t at) { return bigEndian ? be(at) : swapped(be(at)); };
    const std::uint32_t count = field(0);
    if (count > kMostTracks) throw Damage("its track table counts more tracks than a CD holds");
    static const char* const kTypes[] = {"MODE1",       "MODE1_RAW",      "MODE2",     "MODE2_FORM1",
                                         "MODE2_FORM2", "MODE2_FORM_MIX", "MODE2_RAW", "AUDIO"};
    std::vector<TrackEntry> tracks;
    for (std::uint32_t n = 0; n < count; ++n) {
        const std::size_t at = 4 + n * kFields * 4;
        const std::uint32_t type = field(at);
        if (type >= std::size(kTypes)) throw Damage("its track table names a track type the format does not have");
        TrackEntry entry;
        entry.track.number = n + 1;
        entry.track.type = kTypes[type];
        entry.track.frames = field(at + 16);
        entry.padding = field(at + 20);
        tracks.push_back(entry);
    }
    return tracks;
}

}  // namespace

DiscMetadata readDiscMetadata(const ChdSource& source, std::uint64_t fileSize, std::uint64_t first) {
    DiscMetadata found;
    std::vector<TrackEntry> tracks;
    std::optional<std::vector<TrackEntry>> table;
    std::uint64_t at = first;
    for (std::size_t entries = 0; at != 0; ++entries) {
        if (entries == kMostEntries) throw Damage("its metadata entries do not end");
        std::array<Byte, kEntryHeader> header{};
        if (at > fileSize || fileSize - at < header.size() || source(at, header) != header.size())
            throw CutShort("its metadata lies past the end of the file");
        const auto name = static_cast<std::uint32_t>(readBe(header, 0, 4));
        const auto length = static_cast<std::size_t>(readBe(header, 5, 3));
        const bool wanted = name == tag("CHT2") || name == tag("CHTR") || name == tag("CHCD");
        if (wanted) {
            if (fileSize - at - header.size() < length) throw CutShort("its metadata lies past the end of the file");
            std::vector<Byte> bytes(length);
            if (source(at + header.size(), bytes) != length)
                throw CutShort("its metadata lies past the end of the file");
            if (name == tag("CHCD"))
                table = parseTrackTable(bytes);
            else
                tracks.push_back(parseTrackText(bytes, name == tag("CHT2")));
            if (tracks.size() > kMostTracks) throw Damage("its metadata describes more tracks than a CD holds");
        }
        found.dvd = found.dvd || name == tag("DVD ");
        found.gdrom = found.gdrom || name == tag("CHGT") || name == tag("CHGD");
        at = readBe(header, 8, 8);
    }
    if (tracks.empty() && table) tracks = *table;

    std::sort(tracks.begin(), tracks.end(),
              [](const TrackEntry& a, const TrackEntry& b) { return a.track.number < b.track.number; });
    std::uint64_t frame = 0;
    for (std::size_t n = 0; n < tracks.size(); ++n) {
        ChdTrack& track = tracks[n].track;
        if (track.number != n + 1) throw Damage("its metadata does not number its tracks 1, 2, 3, ...");
        track.sectorSize = sectorSizeOf(track.type);
        if (track.sectorSize == 0) throw Damage("its metadata names a track type it does not know: " + track.type);
        if (track.pregap > track.frames) throw Damage("its metadata gives a track a pregap longer than the track");
        track.firstFrame = frame + track.pregap;
        frame += std::uint64_t{track.frames} + tracks[n].padding;
        found.tracks.push_back(track);
    }
    return found;
}

}  // namespace tolvane::chd
