// PPF 3.0 patches, the PlayStation patch format: the changed bytes of a disc
// image with the bytes they replace (undo data), and a block of the image that
// a patcher compares before it writes into a file in place.
#pragma once

#include "logo/patch/file_change.h"

#include <string_view>
#include <vector>

namespace tolvane {

// The block a patcher checks: 1024 bytes at this offset of the file.
inline constexpr std::uint64_t kPpfCheckBlockOffset = 0x9320;
inline constexpr std::size_t kPpfCheckBlockLength = 1024;

// A PPF 3.0 patch: "PPF30", encoding method 2, a 50-byte description (blanks
// after it; cut at 50 bytes), image type 0 (BIN), the block check flag, undo data
// 1, a zero byte, the check block when there is one (checkBlock: the file's
// bytes at kPpfCheckBlockOffset as it is, or empty for a file too short to hold
// them), then one record for each run of at most 255 changed bytes: its offset
// in the file (8 bytes, little-endian), its length, the new bytes, the old ones.
// No FILE_ID.DIZ. Throws std::invalid_argument for a check block of another length.
std::vector<Byte> encodePpf(const FileChange& change, std::string_view description, std::span<const Byte> checkBlock);

}  // namespace tolvane
