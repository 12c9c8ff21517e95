// A patch with its record kept first.
#include "history/patch_history.h"

#include "history/data_folder.h"
#include "history_parts.h"
#include "logo/base/failure.h"
#include "logo/base/time_text.h"
#include "logo/files/file_io.h"

#include <algorithm>
#include <chrono>
#include <optional>

namespace tolvane {

PatchHistory PatchHistory::forUser() { return PatchHistory(programDataFolder()); }

RescuePolicy PatchHistory::rescue() const {
    return [folder = folder_](const std::filesystem::path& image, std::uint64_t start, const ImagePrefix& asRead) {
        return saveAsTheyWere(image, start, asRead, {image.parent_path(), folder});
    };
}

bool PatchHistory::patch(DiscImage& image, const ImagePrefix& prefix, const PatchProgress& progress) const {
    const std::filesystem::path& path = image.path();
    if (prefix == image.prefix()) {  // nothing to write, nothing to take back
        image.close();
        return false;
    }
    // A CHD's patch is worked out first (a pass over its hunks): its record keeps
    // how to take it back exactly.
    const std::vector<Byte> trace = image.prepareWrite(prefix, progress);
    std::filesystem::path record;
    RecordName name;
    std::optional<File> held;  // the record, locked while this patch runs
    try {
        makeFolders(folder_);
        const history::Listing listing = history::listFolder(folder_, std::nullopt);
        if (listing.all + 1 > kMaxRecords) history::trim(folder_);
        // Strictly after every record kept, so that the history's order is the
        // order of the patches, whatever the clock did.
        const std::int64_t time = std::max(nanosecondsNow(), listing.newest + 1);
        const history::ThisImage here = history::thisImage(image);
        name = history::writeRecord(folder_, RecordState::Pending, time, image.fingerprint(), here.file,
                                    image.prefix().bytes(), prefix.bytes(), trace);
        record = folder_ / recordFileName(name);
        // Another command sees by the lock that this one still runs.
        try {
            held.emplace(File::openForUpdate(record));
            held->lockForWriting(std::chrono::milliseconds(0));
        } catch (const Failure&) {
            removeFile(record);
            throw;
        }
    } catch (const Failure& failure) {
        throw failure.after("Nothing was written: Cannot keep a record of the patch of " + quoted(path) + " in " +
                            quoted(folder_) + ": ");
    }
    try {
        image.writePrefix(prefix, rescue());
    } catch (const Failure&) {
        // A patch that did not happen leaves no record; one that left part of its
        // bytes keeps it, so that restore can put the rest back.
        try {
            held.reset();
            if (image.holds(image.prefix())) removeFile(record);
        } catch (const Failure&) {  // a pending record counts for nothing while the image holds what it replaced
        }
        throw;
    }
    // Not flushed: a pending record whose bytes the image holds counts as done.
    try {
        held->close();
        renameFile(record, folder_ / recordFileName(name.in(RecordState::Done)));
    } catch (const Failure&) {
    }
    try {
        image.close();
    } catch (const Failure& failure) {
        throw FailureAfterWrite(
            failure.after("The new logo is written into " + quoted(path) + " and flushed to the disk, but then: "));
    }
    return true;
}

void PatchHistory::checkUsable(const std::filesystem::path& image) const {
    try {
        checkRoomFor(folder_, kMaxRecordSize);
    } catch (const Failure& failure) {
        throw failure.after("Cannot keep a record of the patch of " + quoted(image) + " in " + quoted(folder_) + ": ");
    }
}

}  // namespace tolvane
