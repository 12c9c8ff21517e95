// Where the fields of a CHD's header (version 5, 124 bytes, big-endian) lie:
// the four codecs at 16 (4 x 4), the data's length at 32, the map at 40, the
// metadata at 48, the hunk size at 56, the unit size at 60, and the SHA-1s at 64
// (the data), 84 (data and metadata) and 104 (the parent's, zero for none).
#pragma once

#include <cstddef>

namespace tolvane::chd {

constexpr std::size_t kHeaderLength = 124;
constexpr std::size_t kCodecsAt = 16, kDataBytesAt = 32, kMapAt = 40, kMetadataAt = 48, kHunkBytesAt = 56,
                      kUnitBytesAt = 60, kRawSha1At = 64, kSha1At = 84, kParentSha1At = 104;

}  // namespace tolvane::chd
