// Where this program keeps what outlives a run: the history of patches (and the
// rescued first bytes of an image that a failed patch could not put back).
#pragma once

#include <filesystem>

namespace tolvane {

// This user's folder for application data: XDG_DATA_HOME (when absolute) or
// ~/.local/share on POSIX systems, %LOCALAPPDATA% on Windows. Fails when the
// environment names none.
std::filesystem::path userDataFolder();

// The program's own folder in it.
inline std::filesystem::path programDataFolder() { return userDataFolder() / "tolvane-editor"; }

}  // namespace tolvane
