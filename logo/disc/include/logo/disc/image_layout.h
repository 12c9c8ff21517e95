// Where the logo lies in a disc image file. The logo is the user data of the
// disc's first 12 sectors; a layout says how those sectors sit in the file.
#pragma once

#include "logo/base/bytes.h"
#include "logo/base/logo_image.h"

#include <array>
#include <span>
#include <string_view>
#include <vector>

namespace tolvane {

inline constexpr std::size_t kRawSectorSize = 2352;  // a whole CD sector: sync, header, data, check fields
inline constexpr std::size_t kUserDataLength = 2048;
inline constexpr std::size_t kLogoSectors = 12;
// The 12 bytes every raw CD sector starts with.
inline constexpr std::array<Byte, 12> kSync{0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
static_assert(kLogoLength == kUserDataLength * kLogoSectors);

// What a raw sector says it is; a file of 2048-byte sectors has none of these.
enum class SectorMode { NoSync, Mode0, Mode1, Mode2Form1, Mode2Form2, Unknown };

struct ImageLayout {
    std::string_view description;  // for people: "raw 2352-byte sectors, user data at 24"
    SectorMode logoSectorMode;     // the raw sectors whose check fields this layout keeps valid
    std::size_t sectorSize;        // bytes per sector in the file
    std::size_t userDataOffset;    // bytes of a sector before its user data
    std::size_t prefixLength;      // bytes read from and written back to the file's start
    std::size_t rawOffset = 0;     // where in a whole 2352-byte sector each stored sector starts

    constexpr std::size_t payloadOffset(std::size_t sector) const { return sector * sectorSize + userDataOffset; }
    // Whether each stored sector is a whole raw sector from rawOffset on, check fields included.
    bool storesRawSectors() const { return sectorSize + rawOffset == kRawSectorSize; }
};

// A raw CDRWIN .bin image of Mode 2 Form 1 sectors: 24 bytes of sync, header and
// subheader before each sector's user data. The prefix runs 24 bytes into sector
// 12 (12 x 2352 + 24 = 28248): reading and writing back those 24 bytes of sector
// 12's sync, header and subheader unchanged costs nothing and keeps the prefix one
// fixed block.
inline constexpr ImageLayout kRawMode2Layout{"raw 2352-byte sectors, user data at 24", SectorMode::Mode2Form1,
                                             kRawSectorSize, 24, kLogoSectors* kRawSectorSize + 24};

// A raw image of Mode 1 sectors: sync and header, then the user data at 16.
inline constexpr ImageLayout kRawMode1Layout{"raw 2352-byte Mode 1 sectors, user data at 16", SectorMode::Mode1,
                                             kRawSectorSize, 16, kLogoSectors* kRawSectorSize};

// Mode 2 sectors without their 12-byte sync and 4-byte header: the subheader at
// 0, the user data at 8, the check fields at the end as in a raw sector.
inline constexpr ImageLayout kMode2Sector2336Layout{
    "2336-byte Mode 2 sectors, user data at 8", SectorMode::Mode2Form1, 2336, 8, kLogoSectors * 2336, 16};

// A file of the sectors' user data alone (.iso; DVD games, CD games saved as ISO).
inline constexpr ImageLayout kPlainLayout{"2048-byte sectors", SectorMode::NoSync, kUserDataLength, 0,
                                          kLogoSectors* kUserDataLength};

// Every layout an image can have, in the order they are tried. An image in which
// none shows its volume descriptor is read with the first.
inline constexpr std::array<const ImageLayout*, 4> kImageLayouts{&kRawMode2Layout, &kRawMode1Layout,
                                                                 &kMode2Sector2336Layout, &kPlainLayout};

using SectorPayload = std::array<Byte, kUserDataLength>;  // user data of one of sectors 0-11
using SectorPayloads = std::array<SectorPayload, kLogoSectors>;

// The first bytes of a disc image, held exactly as read. Its length is fixed by
// its layout and never changes.
class ImagePrefix {
public:
    explicit ImagePrefix(const ImageLayout& layout = kRawMode2Layout) : layout_(&layout), bytes_(layout.prefixLength) {}

    const ImageLayout& layout() const { return *layout_; }
    std::span<Byte> bytes() { return bytes_; }
    std::span<const Byte> bytes() const { return bytes_; }
    std::size_t size() const { return bytes_.size(); }

    friend bool operator==(const ImagePrefix& a, const ImagePrefix& b) {
        return a.layout_ == b.layout_ && a.bytes_ == b.bytes_;
    }

private:
    const ImageLayout* layout_;
    std::vector<Byte> bytes_;
};

}  // namespace tolvane
