// The check fields of raw 2352-byte CD sectors: the EDC (a CRC) and, in Mode 1
// and Mode 2 Form 1, the ECC (Reed-Solomon product code parity).
#pragma once

#include "logo/image_layout.h"

#include <cstdint>
#include <span>
#include <string>

namespace tolvane {

inline constexpr std::size_t kRawSectorSize = 2352;

struct SectorState {
    SectorMode mode;
    bool edcValid;             // false where the mode has no EDC
    bool eccValid;             // false where the mode has no ECC
    bool hasEdc() const;       // Mode 1 and both forms of Mode 2
    bool hasEcc() const;       // Mode 1 and Mode 2 Form 1
    bool checksValid() const;  // the mode has check fields and all of them are valid
};

std::string describe(SectorMode mode);

// The CRC used by the EDC: polynomial 0x8001801B, least significant bit first,
// initial value 0, no final inversion.
std::uint32_t computeEdc(std::span<const Byte> bytes);

SectorState inspectSector(std::span<const Byte> sector);

// Recomputes EDC and ECC of a Mode 1 or Mode 2 Form 1 sector for its current
// header and data; other sectors are left alone. Gives whether it wrote.
bool writeCheckFields(std::span<Byte> sector);

// Changing a sector's user data invalidates its EDC and ECC, and a drive or an
// emulator then reports the sector as damaged. So after a new logo went into the
// prefix, every logo sector whose check fields were valid as read gets them
// recomputed for its new content. Sectors whose fields were not valid (zeroed,
// another mode, never there) keep them exactly as read: nothing is invented.
// Gives the number of sectors that got new check fields.
std::size_t refreshCheckFields(ImagePrefix& prefix, const ImagePrefix& asRead);

}  // namespace tolvane
