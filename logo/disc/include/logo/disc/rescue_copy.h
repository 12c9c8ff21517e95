// The copy of an image's first bytes that a patch leaves when it could neither
// write them nor put them back: what a person needs to repair the image.
#pragma once

#include "logo/disc/image_layout.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace tolvane {

// The bytes of an image a patch writes, for messages: "first 28248 bytes", or
// for a disc that starts further into its file (a CUE sheet's data track after
// others) "28248 bytes from byte 352800 on".
std::string bytesDescription(std::uint64_t start, std::size_t length);

// Keeps the image's first bytes (those from byte `start` of its file) as they
// were in a new file beside it or, when that fails (the image's disk may be the
// full one), in rescueFolder, a folder of the user's own; never in a folder
// others may write, where a name could be taken first. Gives what a message says
// of it: where the bytes are, or why they are not.
std::string saveAsTheyWere(const std::filesystem::path& image, std::uint64_t start, const ImagePrefix& asRead,
                           const std::filesystem::path& rescueFolder);

}  // namespace tolvane
