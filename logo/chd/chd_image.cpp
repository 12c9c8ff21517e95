// Opening a CHD and reading its hunks.
#include "logo/chd/chd_image.h"

#include "chd_header.h"
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
constexpr std::uint32_t kVersion = 5;
constexpr std::uint32_t kMostHunkBytes = 1024 * 1024;
constexpr std::uint64_t kMostHunks = 1u << 24;  // 64 GB in hunks of 4 KB: more than any disc holds
constexpr std::size_t kMostSelfCopies = 64;     // a copy of a copy of ... (chdman makes copies of stored hunks only)
constexpr std::size_t kCachedHunks = 2;

using chd::kHeaderLength, chd::kCodecsAt, chd::kDataBytesAt, chd::kMapAt, chd::kMetadataAt, chd::kHunkBytesAt,
    chd::kUnitBytesAt, chd::kParentSha1At;

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
    std::array<Byte, kHeaderLength> header{};
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

    // The steps of opening: each reads and checks what it says, or fails.
    std::uint64_t readHeader();  // gives where the metadata starts
    chd::DiscMetadata readMetadata(std::uint64_t first);
    void refuseNewerCodecs() const;
    void readMap();
    void findDisc(const chd::DiscMetadata& metadata);

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
    const std::uint64_t metadataAt = s->readHeader();
    const chd::DiscMetadata metadata = s->readMetadata(metadataAt);
    s->refuseNewerCodecs();
    s->readMap();
    s->findDisc(metadata);
    return ChdImage(std::move(s));
}

std::uint64_t ChdImage::State::readHeader() {
    const std::size_t got = source(0, header);
    if (got < 16 || !startsAsChd(header)) throw openFailure("it is too short to be a CHD", Problem::TooShort);
    const auto version = static_cast<std::uint32_t>(readBe(header, 12, 4));
    if (version >= 1 && version < kVersion)
        throw openFailure("it is a CHD of version " + std::to_string(version) +
                              ", which this program does not read (it reads version 5, which chdman has "
                              "written since 2012); convert it first, for example with chdman copy -i " +
                              pathText(path.filename()) + " -o new.chd",
                          Problem::NotSupported);
    if (version != kVersion || readBe(header, 8, 4) != kHeaderLength)
        throw openFailure("it is a CHD of version " + std::to_string(version) + ", which this program does not know",
                          Problem::NotSupported);
    if (got < header.size()) throw openFailure("it ends inside its CHD header", Problem::TooShort);

    const auto parent = std::span<const Byte>(header).subspan(kParentSha1At, 20);
    if (std::any_of(parent.begin(), parent.end(), [](Byte b) { return b != 0; }))
        throw openFailure("it is a CHD that holds only what differs from its parent CHD (SHA-1 " + hex(parent) +
                              "), which this program does not read; make one whole CHD of the two first, for "
                              "example with chdman copy -i " +
                              pathText(path.filename()) + " -ip parent.chd -o whole.chd",
                          Problem::NotSupported);
    for (std::size_t n = 0; n < 4; ++n) codecs[n] = static_cast<Codec>(readBe(header, kCodecsAt + 4 * n, 4));
    dataBytes = readBe(header, kDataBytesAt, 8);
    mapAt = readBe(header, kMapAt, 8);
    hunkBytes = static_cast<std::uint32_t>(readBe(header, kHunkBytesAt, 4));
    unitBytes = static_cast<std::uint32_t>(readBe(header, kUnitBytesAt, 4));
    if (hunkBytes == 0 || hunkBytes > kMostHunkBytes || unitBytes == 0 || hunkBytes % unitBytes != 0)
        throw openFailure("its header gives hunks of " + std::to_string(hunkBytes) + " bytes in units of " +
                          std::to_string(unitBytes) + ", which the format does not allow");
    const std::uint64_t count = (dataBytes + hunkBytes - 1) / hunkBytes;
    if (count == 0 || count > kMostHunks)
        throw openFailure("its header gives it " + std::to_string(dataBytes) + " bytes of data, which no disc holds");
    hunks = static_cast<std::uint32_t>(count);
    return readBe(header, kMetadataAt, 8);
}

chd::DiscMetadata ChdImage::State::readMetadata(std::uint64_t first) {
    chd::DiscMetadata metadata;
    try {
        metadata = chd::readDiscMetadata(source, fileSize, first);
    } catch (const CutShort& cut) {
        throw openFailure(std::string(cut.what()) + ": the file is cut short", Problem::TooShort);
    } catch (const Damage& damage) {
        throw openFailure(damage.what());
    }
    if (metadata.gdrom)
        throw openFailure("it is a CHD of a GD-ROM (a Dreamcast disc), which holds no PS2 logo", Problem::NotSupported);
    tracks = metadata.tracks;
    return metadata;
}

void ChdImage::State::refuseNewerCodecs() const {
    for (const Codec codec : codecs)
        if (codec == chd::codecNamed("zstd") || codec == chd::codecNamed("cdzs"))
            throw openFailure("it is compressed with " + chd::codecName(codec) +
                                  ", which this version does not read yet; compress it again first, for example "
                                  "with chdman copy -i " +
                                  pathText(path.filename()) + " -o other.chd -c " +
                                  (tracks.empty() ? "lzma,zlib,huff,flac" : "cdlz,cdzl,cdfl"),
                              Problem::NotSupported);
}

void ChdImage::State::readMap() {
    if (codecs[0] == 0) {  // uncompressed: each hunk's place, in hunks, read again when the hunk is
        if (mapAt > fileSize || (fileSize - mapAt) / 4 < hunks)
            throw openFailure("its hunk map lies past the end of the file: the file is cut short", Problem::TooShort);
        // Its hunks follow the map: a file cut short keeps the map whole.
        std::vector<Byte> entries(std::size_t{hunks} * 4);
        readFile(mapAt, entries);
        for (std::uint32_t n = 0; n < hunks; ++n) {
            const std::uint64_t at = readBe(entries, std::size_t{n} * 4, 4) * hunkBytes;
            if (at != 0 && (at > fileSize || fileSize - at < hunkBytes))
                throw openFailure("hunk " + std::to_string(n) + " of " + std::to_string(hunks) +
                                      " lies past the end of the file: the file is cut short",
                                  Problem::TooShort);
        }
        return;
    }
    try {
        std::array<Byte, chd::kMapHeaderLength> mapHeader{};
        readFile(mapAt, mapHeader);
        const std::uint64_t length = readBe(mapHeader, 0, 4);
        if (length > std::uint64_t{hunks} * 8 + 64)
            throw Damage("its header gives it more bytes than its hunks can need");
        if (fileSize - mapAt - mapHeader.size() < length) throw CutShort("it lies past the end of the file");
        std::vector<Byte> bytes(static_cast<std::size_t>(length));
        readFile(mapAt + mapHeader.size(), bytes);
        map.emplace(mapHeader, std::move(bytes), hunks, hunkBytes, unitBytes);
    } catch (const CutShort&) {
        throw openFailure("its hunk map lies past the end of the file: the file is cut short", Problem::TooShort);
    } catch (const Damage& damage) {
        throw openFailure(std::string("its hunk map is damaged: ") + damage.what());
    }
}

// A CD's first data track, or a DVD: what the metadata says, else a CHD of
// 2048-byte units, which chdman makes of a DVD's ISO without metadata.
void ChdImage::State::findDisc(const chd::DiscMetadata& metadata) {
    if (!tracks.empty()) {
        const auto data = std::find_if(tracks.begin(), tracks.end(), [](const ChdTrack& t) { return !t.audio(); });
        if (data == tracks.end())
            throw openFailure("it is a CHD of a CD of audio tracks only, which holds no PS2 logo",
                              Problem::NotSupported);
        if (unitBytes != chd::kFrameSize || hunkBytes % chd::kFrameSize != 0)
            throw openFailure("it describes a CD, but its units are not CD frames");
        disc = {*data, data->sectorSize, data->frames - data->pregap, data->firstFrame * chd::kFrameSize,
                chd::kFrameSize};
        const ChdTrack& last = tracks.back();
        if ((last.firstFrame - last.pregap + last.frames) * chd::kFrameSize > dataBytes)
            throw openFailure("its tracks run past the end of its data");
    } else if (metadata.dvd || unitBytes == 2048) {
        disc = {std::nullopt, 2048, dataBytes / 2048, 0, 2048};
    } else {
        throw openFailure(
            "it is a CHD of neither a CD nor a DVD (a hard disk or a LaserDisc?), which holds no PS2 logo",
            Problem::NotSupported);
    }
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
std::span<const Byte> ChdImage::header() const { return state_->header; }
std::uint32_t ChdImage::hunks() const { return state_->hunks; }
std::uint64_t ChdImage::mapAt() const { return state_->mapAt; }
bool ChdImage::compressedMap() const { return state_->map.has_value(); }

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
