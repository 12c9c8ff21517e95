// The logo in a disc image's first bytes: taken out, and put back in.
#pragma once

#include "logo/disc/image_layout.h"

namespace tolvane {

struct ExtractedLogo {
    SectorPayloads payloads;
    LogoImage logo;
};

// The user data of sectors 0-11 in order, and the logo they make together.
ExtractedLogo extractLogo(const ImagePrefix& prefix);

// Overwrites the 12 user-data areas of the prefix with the logo, 2048 bytes to
// each in order; no other byte changes.
void insertLogo(std::span<const Byte, kLogoLength> logo, ImagePrefix& prefix);

}  // namespace tolvane
