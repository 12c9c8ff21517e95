// The history that lets any patch be taken back. Before a patch writes an image,
// a record of the bytes it replaces and the bytes it writes goes into a per-user
// folder. Records are found by the disc (DiscImage::fingerprint) and the bytes
// the image holds, never by the file's name, so a renamed, moved or copied image
// keeps its history. Each step of a patch and of a restore leaves the records so
// that the next command can tell how far it got, whenever the program stopped.
#pragma once

#include "logo/base/time_text.h"
#include "logo/disc/disc_image.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tolvane {

// At most this many records are kept (of every disc together), none older than
// kRecordLifetime; the oldest go first.
inline constexpr std::size_t kMaxRecords = 300;
inline constexpr std::chrono::hours kRecordLifetime{365 * 24};

// A patch that restore can take back.
struct HistoryStep {
    std::filesystem::path file;  // its record
    std::int64_t time = 0;       // of the patch: nanoseconds since 1970, UTC
    std::string damage;          // why the record cannot be used; empty when it can
    bool interrupted = false;    // a restore of it was interrupted; the next restore finishes it
};

struct RestoreResult {
    HistoryStep restored;                 // the patch taken back
    bool finishedEarlierRestore = false;  // the image already held its bytes: only its record went
    std::vector<HistoryStep> skipped;     // damaged records passed over
    std::size_t left = 0;                 // patches that can still be taken back
};

class PatchHistory {
public:
    explicit PatchHistory(std::filesystem::path folder) : folder_(std::move(folder)) {}
    // The tolvane-editor folder in this user's data folder (see userDataFolder).
    static PatchHistory forUser();

    const std::filesystem::path& folder() const { return folder_; }

    // Writes prefix over the first bytes of the image file in place (as
    // DiscImage::writePrefix), keeping a record of it first; when no record can be
    // kept, nothing is written. Gives false, writing and keeping nothing, when the
    // image already holds these bytes.
    bool patch(const std::filesystem::path& image, const ImagePrefix& prefix, const ImagePrefix& expectedOnDisk) const;
    // The same for an image already open for update (and so locked since it was
    // read), which it closes.
    bool patch(DiscImage& image, const ImagePrefix& prefix) const;
    // Fails, with the reason, when no record of a patch could be kept now. Makes
    // and changes nothing.
    void checkUsable(const std::filesystem::path& image) const;
    // The patches of the image (or of a CUE sheet's data track) that restore
    // would take back one by one, newest first: each record leads from the bytes
    // the image holds to the bytes before its patch, each older than the one
    // before. Damaged records met on the way are listed with their damage.
    std::vector<HistoryStep> list(const std::filesystem::path& image) const;
    // Writes back what the last patch of the image replaced, and drops its record
    // once the bytes are on the disk, so that the next restore goes one patch
    // further back. Finishes a restore that was interrupted instead, going no
    // further. Refuses, writing nothing, when no record is of a patch that wrote
    // what the image holds.
    RestoreResult restore(const std::filesystem::path& image) const;

private:
    std::filesystem::path folder_;
};

}  // namespace tolvane
