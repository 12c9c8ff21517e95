// Reading the logo out of a disc image and putting it back.
#pragma once

#include "logo/disc/disc_image.h"
#include "logo/disc/image_layout.h"

#include <filesystem>

namespace tolvane {

// The image's prefix under its layout; fails when the file is shorter.
ImagePrefix readImagePrefix(const std::filesystem::path& path);

struct ExtractedLogo {
    SectorPayloads payloads;
    LogoImage logo;
};

// The user data of sectors 0-11 in order, and the logo they make together.
ExtractedLogo extractLogo(const ImagePrefix& prefix);

// Overwrites the 12 user-data areas of the prefix with the logo; no other byte
// changes. Gives the 12 pieces written.
SectorPayloads insertLogo(const LogoImage& logo, ImagePrefix& prefix);

// Opens the image for writing and checks that its first bytes are still
// expectedOnDisk; writes nothing.
void verifyImagePrefix(const std::filesystem::path& path, const ImagePrefix& expectedOnDisk);

// Writes the prefix over the start of the existing image at path, in place: the
// file is not created, not truncated, and nothing from prefix.size() on is
// touched. Before writing, the file's first bytes must still be expectedOnDisk
// (what was read when the image was opened); otherwise nothing is written. The
// bytes are flushed to the disk before this returns. Gives false, writing
// nothing, when the file already holds exactly these bytes.
bool writeImagePrefix(const std::filesystem::path& path, const ImagePrefix& prefix, const ImagePrefix& expectedOnDisk);

}  // namespace tolvane
