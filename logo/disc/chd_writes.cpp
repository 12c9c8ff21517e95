// Writing a CHD patch, and taking it back, in the order that leaves a whole CHD
// after every step.
#include "logo/disc/chd_writes.h"

#include "logo/disc/sector_checks.h"

#include <algorithm>
#include <array>

namespace tolvane {

ChdImage openChdFile(File& file, const std::filesystem::path& path) {
    return ChdImage::open([&file](std::uint64_t at, std::span<Byte> out) { return file.readAt(at, out); }, file.size(),
                          path, [](std::span<Byte, kRawSectorSize> sector) { writeEccOf(sector); });
}

void writeChdPatch(File& file, const ChdPatch& patch) {
    try {
        file.writeAt(patch.oldLength, patch.appended);
        file.flushToDisk();
    } catch (const Failure& failure) {
        std::string where;
        try {
            file.truncate(patch.oldLength);
            file.flushToDisk();
            where = "; the CHD is as before";
        } catch (const Failure& cutting) {
            where = "; the CHD is as before, with bytes after its end that nothing points at (" +
                    std::string(cutting.what()) + ")";
        }
        throw failure.after("Nothing was written: ").with(where);
    }
    // From here on, the old CHD or the new one: the header is one write of 124 bytes.
    file.writeAt(0, patch.newHeader);
    file.flushToDisk();
}

bool holdsChdPatch(File& file, const ChdPatchTrace& trace) {
    if (file.size() != trace.newLength || trace.newLength < trace.oldLength) return false;
    std::vector<Byte> header(trace.newHeader.size());
    if (file.readAt(0, header) != header.size() || (header != trace.newHeader && header != trace.oldHeader))
        return false;
    chd::Sha1 appended;
    std::vector<Byte> piece(1 << 20);
    for (std::uint64_t at = trace.oldLength; at < trace.newLength;) {
        const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), trace.newLength - at));
        const std::span<Byte> part = std::span(piece).first(length);
        if (file.readAt(at, part) != length) return false;
        appended.add(part);
        at += length;
    }
    return appended.finish() == trace.appendedSha1;
}

void undoChdPatch(File& file, const std::filesystem::path& path, const ChdPatchTrace& trace) {
    if (!holdsChdPatch(file, trace))
        throw Failure("Nothing was written: " + quoted(path) +
                          " is no longer as the patch left it (its header, its length or the bytes the patch "
                          "appended differ: recompressed, or changed by another program)",
                      Problem::Changed);
    file.writeAt(0, trace.oldHeader);
    file.flushToDisk();
    file.truncate(trace.oldLength);
    file.flushToDisk();
}

namespace {
// "CHDT", the old length, the new length, the SHA-1 of the bytes appended, the
// header's length, the old header, the new header.
constexpr std::array<Byte, 4> kTraceMagic{'C', 'H', 'D', 'T'};
constexpr std::size_t kTraceHead = 4 + 8 + 8 + 20 + 4;
constexpr std::size_t kMostHeaderLength = 1024;
}  // namespace

std::vector<Byte> encodeChdTrace(const ChdPatchTrace& trace) {
    // Sized whole first: MinGW's GCC 12 saw a copy past the head in inserting the headers.
    std::vector<Byte> bytes(kTraceHead + trace.oldHeader.size() + trace.newHeader.size());
    std::copy(kTraceMagic.begin(), kTraceMagic.end(), bytes.begin());
    writeLe64(bytes, 4, trace.oldLength);
    writeLe64(bytes, 12, trace.newLength);
    std::copy(trace.appendedSha1.begin(), trace.appendedSha1.end(), bytes.begin() + 20);
    writeLe32(bytes, 40, static_cast<std::uint32_t>(trace.oldHeader.size()));
    const auto headers = std::copy(trace.oldHeader.begin(), trace.oldHeader.end(), bytes.begin() + kTraceHead);
    std::copy(trace.newHeader.begin(), trace.newHeader.end(), headers);
    return bytes;
}

std::optional<ChdPatchTrace> decodeChdTrace(std::span<const Byte> bytes) {
    if (bytes.size() < kTraceHead || !std::equal(kTraceMagic.begin(), kTraceMagic.end(), bytes.begin()))
        return std::nullopt;
    const std::size_t headerLength = readLe32(bytes, 40);
    if (headerLength > kMostHeaderLength || bytes.size() != kTraceHead + 2 * headerLength) return std::nullopt;
    ChdPatchTrace trace;
    trace.oldLength = readLe64(bytes, 4);
    trace.newLength = readLe64(bytes, 12);
    std::copy_n(bytes.begin() + 20, 20, trace.appendedSha1.begin());
    const auto old = bytes.subspan(kTraceHead, headerLength), now = bytes.subspan(kTraceHead + headerLength);
    trace.oldHeader.assign(old.begin(), old.end());
    trace.newHeader.assign(now.begin(), now.end());
    return trace;
}

}  // namespace tolvane
