// The check fields of raw 2352-byte CD sectors: the EDC (a CRC) and, in Mode 1
// and Mode 2 Form 1, the ECC (Reed-Solomon product code parity).
#pragma once

#include "logo/disc/image_layout.h"

#include <array>
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
// initial value 0, no final inversion. Given the CRC of the bytes before them, it
// goes on from there: the CRC of both together.
std::uint32_t computeEdc(std::span<const Byte> bytes, std::uint32_t before = 0);

SectorState inspectSector(ConstRawSector sector);

// Recomputes the check fields of a sector for its current header and data: EDC
// and ECC of Mode 1 and Mode 2 Form 1, the EDC of Mode 2 Form 2. Other sectors
// are left alone. Gives whether it wrote.
bool writeCheckFields(RawSector sector);

// Writes a sector's ECC (P and Q parity) for its header, data and EDC as they
// are, and nothing else: with the header taken as zero when its mode byte says
// 2, as Mode 2 computes it. (A CHD leaves out the ECC it can compute again.)
void writeEccOf(RawSector sector);

// Logo sector n of a prefix as a whole raw sector, for layouts that
// storesRawSectors(): a copy, with the sync and a zero Mode 2 header filled in
// where the layout stores less (Mode 2 check fields do not cover the header).
using WholeSector = std::array<Byte, kRawSectorSize>;
WholeSector wholeSector(const ImagePrefix& prefix, std::size_t n);

// Changing a sector's user data invalidates its EDC and ECC, and a drive or an
// emulator then reports the sector as damaged. So after a new logo went into the
// prefix, every logo sector whose check fields were valid as read gets them
// recomputed for its new content (a Form 2 sector, which has no ECC, its EDC).
// Sectors whose fields were not valid (zeroed, another mode, never there; a Form
// 1 sector with a valid EDC but a bad ECC) keep them exactly as read: nothing is
// invented.
// Gives the number of sectors that got new check fields.
std::size_t refreshCheckFields(ImagePrefix& prefix, const ImagePrefix& asRead);

}  // namespace tolvane
