// The check fields of raw 2352-byte CD sectors: the EDC (a CRC) and, in Mode 1
// and Mode 2 Form 1, the ECC (Reed-Solomon product code parity).
#pragma once

#include "logo/image_layout.h"

#include <cstdint>
#include <span>
#include <string>

namespace tolvane {

// One whole raw sector; its extent is part of its type.
using RawSector = std::span<Byte, kRawSectorSize>;
using ConstRawSector = std::span<const Byte, kRawSectorSize>;

// Sector n of bytes holding whole raw sectors one after another; throws
// std::out_of_range when the bytes end before that sector does.
RawSector rawSector(std::span<Byte> bytes, std::size_t n);
ConstRawSector rawSector(std::span<const Byte> bytes, std::size_t n);

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

SectorState inspectSector(ConstRawSector sector);

// Recomputes EDC and ECC of a Mode 1 or Mode 2 Form 1 sector for its current
// header and data; other sectors are left alone. Gives whether it wrote.
bool writeCheckFields(RawSector sector);

// Changing a sector's user data invalidates its EDC and ECC, and a drive or an
// emulator then reports the sector as damaged. So after a new logo went into the
// prefix, every logo sector whose check fields were valid as read gets them
// recomputed for its new content. Sectors whose fields were not valid (zeroed,
// another mode, never there) keep them exactly as read: nothing is invented.
// Gives the number of sectors that got new check fields.
std::size_t refreshCheckFields(ImagePrefix& prefix, const ImagePrefix& asRead);

}  // namespace tolvane
