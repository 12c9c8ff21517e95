// Changing bytes of a CHD's disc without rewriting the file: what to write is
// worked out first, in one pass over every hunk (the header keeps the SHA-1 of
// all the data, and of the data with its metadata, and both change), and then
// written in three steps that each leave a whole CHD behind:
//
//   1. the hunks that change, stored as they are, and a new map pointing at them
//      for those and at the old places for all others, after the file's end;
//   2. a flush;
//   3. the header, pointing at the new map and holding the new SHA-1s, in one
//      write, and a flush.
//
// Until the header's write the file is the old CHD (with bytes after its end
// that nothing points at); after it, the new one. The hunks replaced keep their
// old bytes in the file, so writing the old header back and cutting the file to
// its old length gives the original byte for byte.
//
// This works for a CHD with the plain map (chdman's "-c none"), which gives each
// hunk's place. The compressed map of a CHD with codecs gives only each hunk's
// stored length, its place following from the hunks before it, so no hunk of it
// can move to the file's end without all those after it: such a file is refused.
#pragma once

#include "logo/base/failure.h"
#include "logo/chd/chd_image.h"
#include "logo/chd/sha1.h"

#include <functional>

namespace tolvane {

struct ChdPatch {
    std::vector<Byte> oldHeader, newHeader;  // 124 bytes each
    std::uint64_t oldLength = 0;             // the file's, where `appended` goes
    std::vector<Byte> appended;              // zeros to a multiple of the hunk size, the new hunks, the new map
    std::vector<std::uint32_t> hunksReplaced;
    chd::Sha1Digest rawSha1{}, overallSha1{};
};

// What taking a patch back needs, and what tells that the file is still as the
// patch left it: both headers, both lengths and the SHA-1 of the bytes appended.
struct ChdPatchTrace {
    std::vector<Byte> oldHeader, newHeader;
    std::uint64_t oldLength = 0, newLength = 0;
    chd::Sha1Digest appendedSha1{};
};
ChdPatchTrace traceOf(const ChdPatch& patch);

// Called with the bytes of data read so far and all the pass reads (every hunk's,
// or only those of the hunks that change); false stops the pass.
using ChdProgress = std::function<bool(std::uint64_t done, std::uint64_t total)>;

// The pass was stopped: nothing was written.
class ChdPatchCancelled : public Failure {
public:
    using Failure::Failure;
};

// Why a CHD cannot be patched in place, or empty when it can.
std::string whyChdCannotBePatched(const ChdImage& chd);

// The patch that puts `bytes` at `discOffset` of the disc (counted as readDisc
// counts: the disc's sectors one after another). Reads every hunk once where
// the header holds SHA-1s (chdman leaves them zero without compression, and so
// does the patch; then it reads only the hunks that change); fails
// as ChdImage::read does, or with ChdPatchCancelled when `progress` says so.
ChdPatch planChdPatch(ChdImage& chd, const ChdSource& source, std::uint64_t fileSize, const std::filesystem::path& path,
                      std::uint64_t discOffset, std::span<const Byte> bytes, const ChdProgress& progress = {});

// The SHA-1 of the data with the metadata, as the header keeps it: of the data's
// SHA-1, then, for each metadata entry flagged to be checksummed, its tag and
// the SHA-1 of its bytes, those 24-byte pieces in their sorted order.
chd::Sha1Digest overallSha1Of(const chd::Sha1Digest& raw, const ChdSource& source, std::uint64_t fileSize,
                              std::uint64_t firstMetadata);

}  // namespace tolvane
