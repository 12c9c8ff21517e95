// The copy of an image's first bytes that a patch leaves when it could neither
// write them nor put them back: what a person needs to repair the image.
#pragma once

#include "logo/disc/image_layout.h"

#include <filesystem>
#include <string>

namespace tolvane {

// Keeps the image's first bytes as they were in a new file beside it or, when
// that fails (the image's disk may be the full one), in rescueFolder, a folder
// of the user's own; never in a folder others may write, where a name could be
// taken first. Gives what a message says of it: where the bytes are, or why
// they are not.
std::string saveAsTheyWere(const std::filesystem::path& image, const ImagePrefix& asRead,
                           const std::filesystem::path& rescueFolder);

}  // namespace tolvane
