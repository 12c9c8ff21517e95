// What `tolvane info` tells about an image, as text or as JSON.
#pragma once

#include "logo/image_layout.h"

#include <filesystem>
#include <ostream>

namespace tolvane {

void printImageInfo(std::ostream& out, const std::filesystem::path& path, bool json);

}  // namespace tolvane
