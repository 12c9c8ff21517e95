// What `tolvane restore` does: takes the newest patch of an image back, or lists
// the backups kept of it.
#pragma once

#include <filesystem>
#include <string>

namespace tolvane {

// Each gives what it has to say.
std::string restoreImage(const std::filesystem::path& image);
std::string listBackups(const std::filesystem::path& image);

}  // namespace tolvane
