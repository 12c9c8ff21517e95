// What `tolvane restore` does: takes the last patch of an image back, or lists
// the patches it would take back.
#pragma once

#include <filesystem>
#include <string>

namespace tolvane {

// Each gives what it has to say.
std::string restoreImage(const std::filesystem::path& image);
std::string listPatches(const std::filesystem::path& image);

}  // namespace tolvane
