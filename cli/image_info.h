// What `tolvane info` tells about an image, as text or as JSON.
#pragma once

#include "logo/disc/image_layout.h"

#include <filesystem>
#include <string>

namespace tolvane {

// The whole report, or a failure: never half of one.
std::string imageInfo(const std::filesystem::path& path, bool json);

}  // namespace tolvane
