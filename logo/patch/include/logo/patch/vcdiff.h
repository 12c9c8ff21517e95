// VCDIFF deltas (RFC 3284) of a file against itself as it was: the source of the
// delta is the file before the change, and decoding it (xdelta3 -d -s SOURCE
// DELTA OUT) makes the whole file after it.
#pragma once

#include "logo/patch/file_change.h"

#include <vector>

namespace tolvane {

// xdelta3 decodes no target window longer than this.
inline constexpr std::uint64_t kVcdiffWindowLength = std::uint64_t{16} << 20;

// The delta of a change: no secondary compression, no application data, the
// default code table. Each target window of at most kVcdiffWindowLength bytes
// takes the same stretch of the source as its source segment, copies the
// unchanged bytes from it and adds the changed ones, so the delta stays small
// for a file of any length (about 25 bytes for each window without a change)
// and is made without reading the file.
std::vector<Byte> encodeVcdiff(const FileChange& change);

}  // namespace tolvane
