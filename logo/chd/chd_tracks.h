// What a CHD's metadata says of the disc it holds: a CD's tracks (the entries
// `CHT2`, `CHTR`, or in old files `CHCD`), or that it is a DVD (`DVD `).
#pragma once

#include "logo/chd/chd_image.h"

namespace tolvane::chd {

struct DiscMetadata {
    std::vector<ChdTrack> tracks;  // in order, each with where it starts in the CHD
    bool dvd = false;
    bool gdrom = false;  // a Dreamcast GD-ROM (`CHGT`, `CHGD`)
};

// Walks the metadata entries from the first (at `first`; 0 for none), reading
// only those that describe the disc. Fails with CutShort or Damage.
DiscMetadata readDiscMetadata(const ChdSource& source, std::uint64_t fileSize, std::uint64_t first);

}  // namespace tolvane::chd
