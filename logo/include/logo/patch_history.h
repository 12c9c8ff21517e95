// Backups of what a patch replaces, so that a patch can be taken back. Before a
// patch writes an image's prefix, the prefix as it was and the one about to be
// written go into a file of their own in a per-user folder; the newest
// kKeptBackups of each image stay. Restoring writes the old prefix back, but only
// while the image still holds what that patch wrote.
#pragma once

#include "logo/disc_image.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tolvane {

inline constexpr std::size_t kKeptBackups = 5;

struct PatchBackup {
    std::filesystem::path file;
    std::int64_t time = 0;       // of the patch: seconds since 1970, UTC; 0 when damaged
    std::uint32_t sequence = 0;  // counts an image's patches: the highest is the newest
    std::string damage;          // why the file cannot be restored from; empty when it can
};

class PatchHistory {
public:
    explicit PatchHistory(std::filesystem::path folder) : folder_(std::move(folder)) {}
    // The tolvane-editor folder in this user's data folder (see userDataFolder).
    static PatchHistory forUser();

    const std::filesystem::path& folder() const { return folder_; }

    // Keeps the image's prefix as read through its handle, and `written`, the
    // prefix about to replace it. Images are told apart by their canonical path.
    // Gives the image's backups, newest (this one) first, by name only.
    std::vector<PatchBackup> keep(const DiscImage& image, const ImagePrefix& written) const;
    // Removes all but the newest kKeptBackups of those keep gave, once a patch is done.
    static void trim(const std::vector<PatchBackup>& backups);
    // Fails, with the reason, when no backup could be kept for the image now.
    void checkUsable(const std::filesystem::path& image) const;
    // The backups of the image at path (or of a CUE sheet's image file), newest
    // first, damaged ones included.
    std::vector<PatchBackup> list(const std::filesystem::path& image) const;
    // Writes back what the newest patch of the image replaced and removes that
    // backup, so that the next restore goes one patch further back. Refuses,
    // writing nothing, when there is none, when it is damaged, or when the image
    // no longer holds what that patch wrote. Gives the backup restored.
    PatchBackup restoreNewest(const std::filesystem::path& image) const;

private:
    std::filesystem::path folder_;
};

// writeImagePrefix, with a backup kept in history first; when it cannot be kept,
// nothing is written. Gives false, keeping and writing nothing, when the image
// already holds these bytes.
bool writeImagePrefixWithBackup(const std::filesystem::path& path, const ImagePrefix& prefix,
                                const ImagePrefix& expectedOnDisk, const PatchHistory& history);

// The command that takes the image's last patch back, as a shell takes it from
// any folder: the image's full path, quoted.
std::string restoreCommand(const std::filesystem::path& image);

// A time as people read it, in the local time zone: "2025-03-01 14:05:09".
std::string localTimeText(std::int64_t time);

}  // namespace tolvane
