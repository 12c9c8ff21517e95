// What `tolvane info` tells about an image, as text or as JSON.
#pragma once

#include "logo/disc/image_layout.h"

#include <exception>
#include <filesystem>
#include <string>

namespace tolvane {

// The version of info's JSON (tolvane(1) describes each field): it grows when
// a field changes its meaning or its type, or goes; new fields leave it.
inline constexpr int kInfoFormatVersion = 1;

// The whole report, or a failure: never half of one.
std::string imageInfo(const std::filesystem::path& path, bool json);

// A failure as info's JSON tells it: an object with the message and its kind.
std::string infoFailureJson(const std::exception& failure);

}  // namespace tolvane
