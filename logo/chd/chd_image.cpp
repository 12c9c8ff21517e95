// Opening a CHD and reading its hunks.
#include "logo/chd/chd_image.h"

#include "chd_map.h"
#include "chd_tracks.h"
#include "logo/base/failure.h"

#include <algorithm>
#include <cstdio>

namespace tolvane {

namespace {

using chd::Codec;
using chd::CutShort;
using chd::Damage;
using chd::readBe;

constexpr std::string_view kSignature = "MComprHD";
constexpr std::size_t kHeaderLength = 124;  // version 5
constexpr std::uint32_t kVersion = 5;
constexpr std::uint32_t kMostHunkBytes = 1024 * 1024;
constexpr std::uint64_t kMostHunks = 1u << 24;  // 64 GB in hunks of 4 KB: more than any disc holds
constexpr std::size_t kMostSelfCopies = 64;     // a copy of a copy of ... (chdman makes copies of stored hunks only)
constexpr std::size_t kCachedHunks = 2;

// Header fields, big-endian: codecs at 16 (4 x 4), data length at 32, map at 40,
// metadata at 48, hunk size at 56, unit size at 60, SHA-1s at 64 (the data),
// 84 (data and metadata) and 104 (the parent's, zero for none).
constexpr std::size_t kCodecsAt = 16, kDataBytesAt = 32, kMapAt = 40, kMetadataAt = 48, kHunkBytesAt = 56,
                      kUnitBytesAt = 60, kParentSha1At = 104;

std::string hex(std::span<const Byte> bytes) {
    std::string text;
    for (const Byte b : bytes) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", b);
        text += two;
    }
    return text;
}

}  // namespace

struct ChdImage::State {
    ChdSource source;
    std::uint64_t fileSize = 0;
    std::filesystem::path path;
    chd::SectorRebuild rebuild;
    std::array<Codec, 4> codecs{};
    std::uint64_t dataBytes = 0;
    std::uint64_t mapAt = 0;
    std::uint32_t hunkBytes = 0, unitBytes = 0, hunks = 0;
    std::optional<chd::CompressedMap> map;  // none for an uncompressed CHD
    std::vector<ChdTrack> tracks;
    ChdDisc disc;
    std::vector<std::pair<std::uint32_t, std::vector<Byte>>> cache;  // the hunks read last, the last first

    Failure openFailure(const std::string& reason, std::error_code code = Problem::Damaged) const {
        return Failure("Cannot open " + quoted(path) + ": " + reason, code);
    }
    Failure hunkFailure(std::uint32_t hunk, const std::string& reason, std::error_code code) const {
        return Failure("Cannot read " + quoted(path) + ": hunk " + std::to_string(hunk) + " of " +
                           std::to_string(hunks) + " " + reason,
                       code);
    }

    // The file's bytes at `offset`, all of them, or CutShort.
    void readFile(std::uint64_t offset, std::span<Byte> out) const {
        if (offset > fileSize || fileSize - offset < out.size() || source(offset, out) != out.size())
            throw CutShort("it lies past the end of the file");
    }

    void decodeHunk(std::uint32_t hunk, std::span<Byte> out) const;
    const std::vector<Byte>& hunk(std::uint32_t n);
};

bool startsAsChd(std::span<const Byte> start) {
    return start.size() >= kSignature.size() && std::equal(kSignature.begin(), kSignature.end(), start.begin());
}

ChdImage::ChdImage(std::unique_ptr<State> state) : state_(std::move(state)) {}
ChdImage::ChdImage(ChdImage&&) noexcept = default;
ChdImage& ChdImage::operator=(ChdImage&&) noexcept = default;
ChdImage::~ChdImage() = default;

ChdImage ChdImage::open(ChdSource source, std::uint64_t fileSize, const std::filesystem::path& path,
                        chd::SectorRebuild rebuild) {
    auto s = std::make_unique<State>();
    s->source = std::move(source);
    s->fileSize = fileSize;
    s->path = path;
    s->rebuild = std::move(rebuild);

    std::array<Byte, kHeaderLength> header{};
    const std::size_t got = s->source(0, header);
    if (got < 16 || !startsAsChd(header)) throw s->openFailure("it is too short to be a CHD", Problem::TooShort);
    const auto version = static_cast<std::uint32_t>(readBe(header, 12, 4));
    if (version >= 1 && version < kVersion)
        throw s->openFailure("it is a CHD of version " + std::to_string(version) +
                                 ", which this program does not read (it reads version 5, which chdman has "
                                 "written since 2012); convert it first, for example with chdman copy -i " +
                                 pathText(path.filename()) + " -o new.chd",
                             Problem::NotSupported);
    if (version != kVersion || readBe(header, 8, 4) != kHeaderLength)
        throw s->openFailure("it is a CHD of version " + std::to_string(version) + ", which this program does not know",
                             Problem::NotSupported);
    if (got < header.size()) throw s->openFailure("it ends inside its CHD header", Problem::TooShort);

    const auto parent = std::span<const Byte>(header).subspan(kParentSha1At, 20);
    if (std::any_of(parent.begin(), parent.end(), [](Byte b) { return b != 0; }))
        throw s->openFailure("it is a CHD that holds only what differs from its parent CHD (SHA-1 " + hex(parent) +
                                 "), which this program does not read; make one whole CHD of the two first, for "
                                 "example with chdman copy -i " +
                                 pathText(path.filename()) + " -ip parent.chd -o whole.chd",
                             Problem::NotSupported);
    for (std::size_t n = 0; n < 4; ++n) s->codecs[n] = static_cast<Codec>(readBe(header, kCodecsAt + 4 * n, 4));
    s->dataBytes = readBe(header, kDataBytesAt, 8);
    s->mapAt = readBe(header, kMapAt, 8);
    s->hunkBytes = static_cast<std::uint32_t>(readBe(header, kHunkBytesAt, 4));
    s->unitBytes = static_cast<std::uint32_t>(readBe(header, kUnitBytesAt, 4));
    if (s->hunkBytes == 0 || s->hunkBytes > kMostHunkBytes || s->unitBytes == 0 || s->hunkBytes % s->unitBytes != 0)
        throw s->openFailure("its header gives hunks of " + std::to_string(s->hunkBytes) + " bytes in units of " +
                             std::to_string(s->unitBytes) + ", which the format does not allow");
    const std::uint64_t hunks = (s->dataBytes + s->hunkBytes - 1) / s->hunkBytes;
    if (hunks == 0 || hunks > kMostHunks)
        throw s->openFailure("its header gives it " + std::to_string(s->dataBytes) +
                             " bytes of data, which no disc holds");
    s->hunks = static_cast<std::uint32_t>(hunks);

    chd::DiscMetadata metadata;
    try {
        metadata = chd::readDiscMetadata(s->source, fileSize, readBe(header, kMetadataAt, 8));
    } catch (const CutShort& cut) {
        throw s->openFailure(std::string(cut.what()) + ": the file is cut short", Problem::TooShort);
    } catch (const Damage& damage) {
        throw s->openFailure(damage.what());
    }
    if (metadata.gdrom)
        throw s->openFailure("it is a CHD of a GD-ROM (a Dreamcast disc), which holds no PS2 logo",
                             Problem::NotSupported);
    s->tracks = metadata.tracks;

    for (const Codec codec : s->codecs)
        if (codec == chd::codecNamed("zstd") || codec == chd::codecNamed("cdzs"))
            throw s->openFailure("it is compressed with " + chd::codecName(codec) +
                                     ", which this version does not read yet; compress it again first, for example "
                                     "with chdman copy -i " +
                                     pathText(path.filename()) + " -o other.chd -c " +
                                     (s->tracks.empty() ? "lzma,zlib,huff,flac" : "cdlz,cdzl,cdfl"),
                                 Problem::NotSupported);

    if (s->codecs[0] != 0) {
        try {
            std::array<Byte, chd::kMapHeaderLength> mapHeader{};
            s->readFile(s->mapAt, mapHeader);
            const std::uint64_t length = readBe(mapHeader, 0, 4);
            if (length > std::uint64_t{s->hunks} * 8 + 64)
                throw Damage("its header gives it more bytes than its hunks can need");
            if (fileSize - s->mapAt - mapHeader.size() < length) throw CutShort("it lies past the end of the file");
            std::vector<Byte> bytes(static_cast<std::size_t>(length));
            s->readFile(s->mapAt + mapHeader.size(), bytes);
            s->map.emplace(mapHeader, std::move(bytes), s->hunks, s->hunkBytes, s->unitBytes);
        } catch (const CutShort&) {
            throw s->openFailure("its hunk map lies past the end of the file: the file is cut short",
                                 Problem::TooShort);
        } catch (const Damage& damage) {
            throw s->openFailure(std::string("its hunk map is damaged: ") + damage.what());
        }
    } else if (s->mapAt > fileSize || (fileSize - s->mapAt) / 4 < s->hunks) {
        throw s->openFailure("its hunk map lies past the end of the file: the file is cut short", Problem::TooShort);
    }

    ChdDisc& disc = s->disc;
    if (!s->tracks.empty()) {
        const auto data =
            std::find_if(s->tracks.begin(), s->tracks.end(), [](const ChdTrack& t) { return !t.audio(); });
        if (data == s->tracks.end())
            throw s->openFailure("it is a CHD of a CD of audio tracks only, which holds no PS2 logo",
                                 Problem::NotSupported);
        if (s->unitBytes != chd::kFrameSize || s->hunkBytes % chd::kFrameSize != 0)
            throw s->openFailure("it describes a CD, but its units are not CD frames");
        disc = {*data, data->sectorSize, data->frames - data->pregap, data->firstFrame * chd::kFrameSize,
                chd::kFrameSize};
        const ChdTrack& last = s->tracks.back();
        if ((last.firstFrame - last.pregap + last.frames) * chd::kFrameSize > s->dataBytes)
            throw s->openFailure("its tracks run past the end of its data");
    } else if (metadata.dvd || s->unitBytes == 2048) {
        disc = {std::nullopt, 2048, s->dataBytes / 2048, 0, 2048};
    } else {
        throw s->openFailure(
            "it is a CHD of neither a CD nor a DVD (a hard disk or a LaserDisc?), which holds no "
            "PS2 logo",
            Problem::NotSupported);
    }
    return ChdImage(std::move(s));
}

void ChdImage::State::decodeHunk(std::uint32_t n, std::span<Byte> out) const {
    try {
        if (!map) {  // the uncompressed form: each hunk's place, in hunks, or 0 for zeros
            std::array<Byte, 4> entry{};
            readFile(mapAt + std::uint64_t{n} * 4, entry);
            const std::uint64_t at = readBe(entry, 0, 4) * hunkBytes;
            if (at == 0)
                std::fill(out.begin(), out.end(), Byte{0});
            else
                readFile(at, out);
            return;
        }
        chd::MapEntry entry = map->entry(n);
        for (std::size_t copies = 0; entry.kind == static_cast<Byte>(chd::HunkKind::Self); ++copies) {
            if (entry.offset >= n || copies == kMostSelfCopies)
                throw Damage("is damaged: it is a copy of hunk " + std::to_string(entry.offset) +
                             ", which does not come before it");
            entry = map->entry(static_cast<std::uint32_t>(entry.offset));
        }
        if (entry.kind == static_cast<Byte>(chd::HunkKind::Parent))
            throw Damage("is damaged: it is kept in a parent CHD, but the header names none");
        if (entry.kind == static_cast<Byte>(chd::HunkKind::Uncompressed)) {
            readFile(entry.offset, out);
        } else {
            const Codec codec = codecs[entry.kind];
            if (!chd::readsCodec(codec))
                throw hunkFailure(n,
                                  codec == 0 ? "is damaged: its codec is one the header leaves empty"
                                             : "cannot be read: it is compressed with " + chd::codecName(codec) +
                                                   ", a codec this program does not read",
                                  codec == 0 ? Problem::Damaged : Problem::NotSupported);
            if (entry.length > hunkBytes)
                throw Damage("is damaged: it is stored in more bytes than it holds (" + std::to_string(entry.length) +
                             ")");
            std::vector<Byte> stored(entry.length);
            readFile(entry.offset, stored);
            try {
                chd::decompress(codec, stored, out, rebuild);
            } catch (const CutShort&) {
                throw;
            } catch (const Damage& damage) {
                throw Damage("is damaged: " + std::string(damage.what()));
            }
        }
        if (chd::kChecksCrcs && chd::crc16(out) != entry.crc)
            throw Damage("is damaged: its data does not match its CRC");
    } catch (const CutShort& cut) {
        throw hunkFailure(n, "lies past the end of the file: the file is cut short", Problem::TooShort);
    } catch (const Damage& damage) {
        throw hunkFailure(n, damage.what(), Problem::Damaged);
    }
}

const std::vector<Byte>& ChdImage::State::hunk(std::uint32_t n) {
    const auto cached = std::find_if(cache.begin(), cache.end(), [n](const auto& c) { return c.first == n; });
    if (cached != cache.end()) {
        std::rotate(cache.begin(), cached, cached + 1);
        return cache.front().second;
    }
    std::vector<Byte> bytes(hunkBytes);
    decodeHunk(n, bytes);
    if (cache.size() == kCachedHunks) cache.pop_back();
    cache.insert(cache.begin(), {n, std::move(bytes)});
    return cache.front().second;
}

std::array<Codec, 4> ChdImage::codecs() const { return state_->codecs; }
std::uint32_t ChdImage::hunkBytes() const { return state_->hunkBytes; }
std::uint32_t ChdImage::unitBytes() const { return state_->unitBytes; }
std::uint64_t ChdImage::dataBytes() const { return state_->dataBytes; }
const std::vector<ChdTrack>& ChdImage::tracks() const { return state_->tracks; }
const ChdDisc& ChdImage::disc() const { return state_->disc; }

void ChdImage::read(std::uint64_t offset, std::span<Byte> out) {
    State& s = *state_;
    if (offset > s.dataBytes || s.dataBytes - offset < out.size())
        throw Failure("Cannot read " + quoted(s.path) + ": bytes past the end of its data were asked for");
    for (std::size_t done = 0; done < out.size();) {
        const std::uint64_t at = offset + done;
        const auto n = static_cast<std::uint32_t>(at / s.hunkBytes);
        const std::size_t within = at % s.hunkBytes,
                          piece = std::min<std::size_t>(out.size() - done, s.hunkBytes - within);
        const std::vector<Byte>& bytes = s.hunk(n);
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(within), piece,
                    out.begin() + static_cast<std::ptrdiff_t>(done));
        done += piece;
    }
}

std::size_t ChdImage::readDisc(std::uint64_t offset, std::span<Byte> out) {
    const ChdDisc& disc = state_->disc;
    std::size_t done = 0;
    while (done < out.size()) {
        const std::uint64_t at = offset + done, sector = at / disc.sectorSize;
        if (sector >= disc.sectors) break;
        const std::size_t within = at % disc.sectorSize,
                          piece = std::min<std::size_t>(out.size() - done, disc.sectorSize - within);
        read(disc.start + sector * disc.stride + within, out.subspan(done, piece));
        done += piece;
    }
    return done;
}

}  // namespace tolvane
