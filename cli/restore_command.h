// What `tolvane restore` does: takes the newest patch of an image back, or lists
// the backups kept of it.
#pragma once

#include <filesystem>
#include <ostream>

namespace tolvane {

void restoreImage(std::ostream& out, const std::filesystem::path& image);
void listBackups(std::ostream& out, const std::filesystem::path& image);

}  // namespace tolvane
