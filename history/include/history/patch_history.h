// The history that lets any patch be taken back. Before a patch writes an image,
// a record of the bytes it replaces and the bytes it writes goes into a per-user
// folder, on the disk (a power cut then leaves the way back). Records are found by
// the disc (DiscImage::fingerprint) and the bytes the image holds, so a renamed,
// moved or copied image keeps its history; among those that could apply, the one
// made on the very file is taken. Each step of a patch and of a restore leaves
// the records so that the next command can tell how far it got, whenever the
// program stopped.
#pragma once

#include "logo/base/time_text.h"
#include "logo/disc/disc_image.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace tolvane {

// At most this many records are kept (of every disc together): those already
// taken back go first, then the oldest in the history's order. Never by the clock.
inline constexpr std::size_t kMaxRecords = 300;

// Told of a long patch's progress: the bytes done and all; false stops it.
using PatchProgress = std::function<bool(std::uint64_t done, std::uint64_t total)>;

// A patch that restore can take back.
struct HistoryStep {
    std::filesystem::path file;  // its record
    std::int64_t time = 0;       // of the patch: nanoseconds since 1970, UTC
    std::string damage;          // why the record cannot be used; empty when it can
    bool interrupted = false;    // it was interrupted part way; the next restore finishes it
    std::string madeOn;          // the image file it was made on (canonical path), where known
    bool choice = false;         // one of the patches restore cannot choose between: name one
};

struct RestoreResult {
    HistoryStep restored;                 // the patch taken back
    bool finishedEarlierRestore = false;  // the image already held its bytes: only its record went
    std::vector<HistoryStep> skipped;     // damaged records passed over
    std::size_t left = 0;                 // patches that can still be taken back
    // A CHD made again since the patch: the old bytes went in as a patch of their own.
    bool asNewPatch = false;
};

class PatchHistory {
public:
    explicit PatchHistory(std::filesystem::path folder) : folder_(std::move(folder)) {}
    // The tolvane-editor folder in this user's data folder (see userDataFolder).
    static PatchHistory forUser();

    const std::filesystem::path& folder() const { return folder_; }

    // Writes prefix over the first bytes of an image open for update (and so
    // locked since it was read) in place, as DiscImage::writePrefix, keeping a
    // record of it first, and closes the image; when no record can be kept,
    // nothing is written. Gives false, writing and keeping nothing, when the
    // image already holds these bytes.
    // A CHD's patch first reads every hunk (see DiscImage::prepareWrite), telling
    // `progress`, which stops it, writing nothing, by giving false.
    bool patch(DiscImage& image, const ImagePrefix& prefix, const PatchProgress& progress = {}) const;
    // Fails, with the reason, when no record of a patch could be kept now. Makes
    // and changes nothing.
    void checkUsable(const std::filesystem::path& image) const;
    // The patches of the image (or of a CUE sheet's data track) that restore
    // would take back one by one, in their order: each record leads from the
    // bytes the image holds to the bytes before its patch. Damaged records met on
    // the way are listed with their damage; where restore cannot choose, the
    // records it would ask to choose from end the list, marked `choice`.
    std::vector<HistoryStep> list(const std::filesystem::path& image) const;
    // Writes back what the last patch of the image replaced, and marks its record
    // taken back for this file once the bytes are on the disk, so that the next
    // restore goes one patch further back (other copies of the disc keep the
    // step). Finishes a restore that was interrupted instead, going no further.
    // Refuses, writing nothing, when no record is of a patch that wrote what the
    // image holds, or when none was made on this file and those made on others
    // would write different bytes: `record` (a record's file name) then names
    // the one to take.
    RestoreResult restore(const std::filesystem::path& image, const std::string& record = {}) const;

private:
    // Where a patch or a restore that could neither write nor put back keeps the
    // image's first bytes as they were: beside the image, else in the history's folder.
    RescuePolicy rescue() const;

    std::filesystem::path folder_;
};

}  // namespace tolvane
