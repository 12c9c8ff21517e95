#include "restore_command.h"

#include "logo/failure.h"
#include "logo/patch_history.h"

namespace tolvane {

namespace {

std::string backupsText(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " older backup" : " older backups");
}

}  // namespace

std::string restoreImage(const std::filesystem::path& image) {
    const PatchHistory history = PatchHistory::forUser();
    const PatchBackup restored = history.restoreNewest(image);
    return "Restored " + quoted(image) + " as it was before the patch of " + localTimeText(restored.time) + " (" +
           backupsText(history.list(image).size()) + " left)\n";
}

std::string listBackups(const std::filesystem::path& image) {
    const PatchHistory history = PatchHistory::forUser();
    const std::vector<PatchBackup> backups = history.list(image);
    if (backups.empty()) return "No backups of " + quoted(image) + " in " + quoted(history.folder()) + "\n";
    std::string text = "Backups of " + quoted(image) + " in " + quoted(history.folder()) + ", newest first:\n";
    for (const PatchBackup& backup : backups) {
        text += "  " + (backup.damage.empty() ? localTimeText(backup.time) : "damaged") + "  " +
                pathText(backup.file.filename());
        if (!backup.damage.empty()) text += ": " + backup.damage;
        text += '\n';
    }
    return text;
}

}  // namespace tolvane
