// Small synthetic discs, for the tests and the sample disc: a logo in sectors
// 0-11, an ISO 9660 volume descriptor at sector 16, a root directory at 20 listing
// a SYSTEM.CNF (at 22) and a boot file, stored in any layout. A root directory
// with many files listed before those goes after the disc's other sectors instead.
#pragma once

#include "logo/disc/image_layout.h"

#include <optional>
#include <string>
#include <vector>

namespace tolvane::discs {

inline constexpr std::size_t kRootSector = 20;
inline constexpr std::size_t kSystemCnfSector = 22;

struct DiscContents {
    LogoImage logo{};
    std::optional<std::string> systemCnf =
        std::string("BOOT2 = cdrom0:\\SLUS_200.01;1\r\nVER = 1.00\r\nVMODE = NTSC\r\n");
    std::string bootFile = "SLUS_200.01;1";  // the root directory's entry for the boot program
    std::size_t sectors = 30;
    std::size_t filesBefore = 0;  // files FILE0000.DAT;1, ... listed in the root before SYSTEM.CNF
};

// The user data of every sector, 2048 bytes each, one after another.
std::vector<Byte> discUserData(const DiscContents& contents);

// User data laid out in a layout: raw sectors get sync, header, subheader and
// valid EDC/ECC (2336-byte sectors the same, less sync and header); the plain
// layout is the user data itself.
std::vector<Byte> storeInLayout(const std::vector<Byte>& userData, const ImageLayout& layout);

std::vector<Byte> buildDisc(const DiscContents& contents, const ImageLayout& layout);

}  // namespace tolvane::discs
