// What `tolvane restore` does: takes the last patch of an image back, or lists
// the patches it would take back.
#pragma once

#include <filesystem>
#include <string>

namespace tolvane {

// Each gives what it has to say.
std::string restoreImage(const std::filesystem::path& image, const std::string& record = {});
std::string listPatches(const std::filesystem::path& image);

// The command that takes the image's last patch back, as a shell takes it from
// any folder: the image's full path, quoted (bytes that would drive a terminal
// as escapes the shell reads back).
std::string restoreCommand(const std::filesystem::path& image);

}  // namespace tolvane
