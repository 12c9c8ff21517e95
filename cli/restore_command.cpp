#include "restore_command.h"

#include "logo/failure.h"
#include "logo/patch_history.h"

namespace tolvane {

namespace {

std::string backupsText(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " older backup" : " older backups");
}

}  // namespace

void restoreImage(std::ostream& out, const std::filesystem::path& image) {
    const PatchHistory history = PatchHistory::forUser();
    const PatchBackup restored = history.restoreNewest(image);
    out << "Restored " << quoted(image) << " as it was before the patch of " << localTimeText(restored.time) << " ("
        << backupsText(history.list(image).size()) << " left)\n";
}

void listBackups(std::ostream& out, const std::filesystem::path& image) {
    const PatchHistory history = PatchHistory::forUser();
    const std::vector<PatchBackup> backups = history.list(image);
    if (backups.empty()) {
        out << "No backups of " << quoted(image) << " in " << quoted(history.folder()) << '\n';
        return;
    }
    out << "Backups of " << quoted(image) << " in " << quoted(history.folder()) << ", newest first:\n";
    for (const PatchBackup& backup : backups) {
        out << "  " << (backup.damage.empty() ? localTimeText(backup.time) : "damaged") << "  "
            << pathText(backup.file.filename());
        if (!backup.damage.empty()) out << ": " << backup.damage;
        out << '\n';
    }
}

}  // namespace tolvane
