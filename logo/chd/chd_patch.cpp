// Working out a patch of a CHD's disc: the new hunks, map, header and SHA-1s.
#include "logo/chd/chd_patch.h"

#include "chd_header.h"
#include "chd_map.h"

#include <algorithm>
#include <map>

namespace tolvane {

namespace {

using chd::readBe;
using chd::writeBe;

using chd::kHeaderLength, chd::kMapAt, chd::kMetadataAt, chd::kRawSha1At, chd::kSha1At;
constexpr std::size_t kMetadataEntryHeader = 16;
constexpr Byte kChecksummed = 0x01;
constexpr std::size_t kMostMetadataEntries = 1000;

void readAll(const ChdSource& source, std::uint64_t fileSize, std::uint64_t at, std::span<Byte> out,
             const std::string& what) {
    if (at > fileSize || fileSize - at < out.size() || source(at, out) != out.size())
        throw chd::Damage(what + " lies past the end of the file");
}

}  // namespace

ChdPatchTrace traceOf(const ChdPatch& patch) {
    return {patch.oldHeader, patch.newHeader, patch.oldLength, patch.oldLength + patch.appended.size(),
            chd::sha1Of(patch.appended)};
}

std::string whyChdCannotBePatched(const ChdImage& chd) {
    if (chd.compressedMap())
        return "it is a compressed CHD, whose map keeps its hunks one after another in the file, so no hunk can be "
               "replaced without rewriting every hunk after it; this version patches CHDs made without compression "
               "only (chdman ... -c none)";
    return {};
}

chd::Sha1Digest overallSha1Of(const chd::Sha1Digest& raw, const ChdSource& source, std::uint64_t fileSize,
                              std::uint64_t firstMetadata) {
    std::vector<std::array<Byte, 24>> pieces;
    for (std::uint64_t at = firstMetadata; at != 0;) {
        if (pieces.size() == kMostMetadataEntries) throw chd::Damage("its metadata entries run in a circle");
        std::array<Byte, kMetadataEntryHeader> header{};
        readAll(source, fileSize, at, header, "a metadata entry");
        const std::uint64_t length = readBe(header, 5, 3), next = readBe(header, 8, 8);
        if (header[4] & kChecksummed) {
            std::vector<Byte> bytes(static_cast<std::size_t>(length));
            readAll(source, fileSize, at + kMetadataEntryHeader, bytes, "a metadata entry");
            std::array<Byte, 24> piece{};
            std::copy_n(header.begin(), 4, piece.begin());
            const chd::Sha1Digest digest = chd::sha1Of(bytes);
            std::copy(digest.begin(), digest.end(), piece.begin() + 4);
            pieces.push_back(piece);
        }
        at = next;
    }
    std::sort(pieces.begin(), pieces.end());
    chd::Sha1 overall;
    overall.add(raw);
    for (const auto& piece : pieces) overall.add(piece);
    return overall.finish();
}

ChdPatch planChdPatch(ChdImage& chd, const ChdSource& source, std::uint64_t fileSize, const std::filesystem::path& path,
                      std::uint64_t discOffset, std::span<const Byte> bytes, const ChdProgress& progress) {
    if (const std::string why = whyChdCannotBePatched(chd); !why.empty())
        throw Failure("Nothing was written: " + quoted(path) + " cannot be patched in place: " + why,
                      Problem::NotSupported);
    const ChdDisc& disc = chd.disc();
    const std::uint32_t hunkBytes = chd.hunkBytes(), hunks = chd.hunks();
    const std::uint64_t dataBytes = chd.dataBytes();

    // Where each piece of the new bytes lies in the data, by hunk.
    struct Piece {
        std::size_t from;  // in `bytes`
        std::size_t length;
        std::uint64_t dataAt;  // in the data
    };
    std::map<std::uint32_t, std::vector<Piece>> byHunk;
    for (std::size_t done = 0; done < bytes.size();) {
        const std::uint64_t at = discOffset + done, sector = at / disc.sectorSize;
        const std::size_t within = at % disc.sectorSize;
        std::size_t length = std::min<std::size_t>(bytes.size() - done, disc.sectorSize - within);
        const std::uint64_t dataAt = disc.start + sector * disc.stride + within;
        length = static_cast<std::size_t>(std::min<std::uint64_t>(length, hunkBytes - dataAt % hunkBytes));
        if (sector >= disc.sectors)
            throw Failure("Nothing was written: the bytes to write run past the end of the disc in " + quoted(path));
        byHunk[static_cast<std::uint32_t>(dataAt / hunkBytes)].push_back({done, length, dataAt});
        done += length;
    }

    ChdPatch patch;
    patch.oldHeader.assign(chd.header().begin(), chd.header().end());
    patch.oldLength = fileSize;
    const std::uint64_t firstNewHunk = (fileSize + hunkBytes - 1) / hunkBytes * hunkBytes;
    patch.appended.assign(static_cast<std::size_t>(firstNewHunk - fileSize), 0);

    // chdman leaves both SHA-1s zero in a CHD it makes without compression (and
    // checks none there): they stay so, and only the hunks that change are read.
    const auto sha1s = std::span<const Byte>(patch.oldHeader).subspan(kRawSha1At, 40);
    const bool hashed = std::any_of(sha1s.begin(), sha1s.end(), [](Byte b) { return b != 0; });
    // The last hunk may reach past the data's end: its bytes there are zeros.
    const auto inData = [&](std::uint32_t n) {
        return static_cast<std::size_t>(std::min<std::uint64_t>(hunkBytes, dataBytes - std::uint64_t{n} * hunkBytes));
    };
    std::uint64_t toRead = hashed ? dataBytes : 0, done = 0;
    if (!hashed)
        for (const auto& [n, pieces] : byHunk) toRead += inData(n);
    chd::Sha1 raw;
    std::vector<Byte> hunk(hunkBytes);
    for (std::uint32_t n = 0; n < hunks; ++n) {
        const std::uint64_t at = std::uint64_t{n} * hunkBytes;
        const auto replaced = byHunk.find(n);
        if (!hashed && replaced == byHunk.end()) continue;
        const std::size_t length = inData(n);
        std::fill(hunk.begin() + static_cast<std::ptrdiff_t>(length), hunk.end(), Byte{0});
        chd.read(at, std::span<Byte>(hunk).first(length));
        if (replaced != byHunk.end()) {
            for (const Piece& piece : replaced->second)
                std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(piece.from), piece.length,
                            hunk.begin() + static_cast<std::ptrdiff_t>(piece.dataAt - at));
            patch.hunksReplaced.push_back(n);
            patch.appended.insert(patch.appended.end(), hunk.begin(), hunk.end());
        }
        raw.add(std::span<const Byte>(hunk).first(length));
        done += length;
        if (progress && !progress(done, toRead))
            throw ChdPatchCancelled("Nothing was written: the patch of " + quoted(path) + " was cancelled",
                                    std::make_error_code(std::errc::operation_canceled));
    }
    if (hashed) patch.rawSha1 = raw.finish();

    // The plain map: each hunk's place in the file, in hunks (0 for a hunk of zeros).
    std::vector<Byte> map(std::size_t{hunks} * 4);
    try {
        readAll(source, fileSize, chd.mapAt(), map, "its hunk map");
        if (hashed)
            patch.overallSha1 = overallSha1Of(patch.rawSha1, source, fileSize, readBe(patch.oldHeader, kMetadataAt, 8));
    } catch (const chd::Damage& damage) {
        throw Failure("Nothing was written: " + quoted(path) + " is damaged: " + damage.what());
    }
    for (std::size_t i = 0; i < patch.hunksReplaced.size(); ++i)
        writeBe(map, std::size_t{patch.hunksReplaced[i]} * 4, firstNewHunk / hunkBytes + i, 4);
    const std::uint64_t mapAt = fileSize + patch.appended.size();
    patch.appended.insert(patch.appended.end(), map.begin(), map.end());

    patch.newHeader = patch.oldHeader;
    writeBe(patch.newHeader, kMapAt, mapAt, 8);
    if (hashed) {
        std::copy(patch.rawSha1.begin(), patch.rawSha1.end(), patch.newHeader.begin() + kRawSha1At);
        std::copy(patch.overallSha1.begin(), patch.overallSha1.end(), patch.newHeader.begin() + kSha1At);
    }
    static_assert(kSha1At + 20 <= kHeaderLength);
    return patch;
}

}  // namespace tolvane
