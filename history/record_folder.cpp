// The history's folder: the names in it, the records of one disc, and the count rule.
#include "history_parts.h"

#include "logo/base/failure.h"
#include "logo/files/file_io.h"

#include <algorithm>
#include <tuple>

namespace tolvane::history {

namespace {

// When kMaxRecords are kept, the oldest go down to this many fewer, so that
// records are not removed one at every patch.
constexpr std::size_t kTrimmedBelow = 10;

Kept keptAs(const std::filesystem::path& file, const RecordName& name) {
    Kept kept;
    kept.file = file;
    kept.name = name;
    return kept;
}

PatchRecord readRecord(const std::filesystem::path& file) { return decodeRecord(readSmallFile(file, kMaxRecordSize)); }

// An older backup of the image's path, as a record of its disc.
std::optional<Kept> legacyOf(const std::filesystem::path& file, std::int64_t time, const std::string& imagePath,
                             const std::vector<Byte>& fingerprint, std::uint64_t disc) {
    Kept kept = keptAs(file, {disc, time, 0, 0});
    kept.legacy = kept.read = true;
    try {
        LegacyBackup backup = decodeLegacyBackup(readSmallFile(file, kMaxRecordSize));
        if (backup.imagePath != imagePath) return std::nullopt;
        kept.name.written = bytesChecksum(backup.written);
        kept.name.before = bytesChecksum(backup.before);
        kept.record = PatchRecord{
            time, fingerprint, std::move(backup.before), std::move(backup.written), {}, ImageFile{0, imagePath}, {}};
    } catch (const Failure& failure) {
        kept.damage = failure.what();
    }
    return kept;
}

}  // namespace

Listing listFolder(const std::filesystem::path& folder, std::optional<std::uint64_t> disc, const std::string& imagePath,
                   const std::vector<Byte>& fingerprint) {
    Listing listing;
    const std::string ours = disc ? discField(*disc) : std::string();
    // Time fields of one width compare as their times do: only the disc's names
    // are read in full.
    std::string newest;
    std::vector<std::pair<std::filesystem::path, std::int64_t>> legacy;
    forEachName(folder, [&](std::string_view name) {
        if (const auto fields = recordNameFields(name)) {
            ++listing.all;
            if (fields->time > newest) newest = fields->time;
            if (!disc || fields->disc != ours) return;
            if (const auto record = parseRecordName(name))
                listing.ofDisc.push_back(keptAs(folder / std::string(name), *record));
        } else if (const auto time = legacyNameTime(name)) {
            ++listing.all;
            listing.newest = std::max(listing.newest, *time);
            if (disc && !imagePath.empty() && pathText(name).starts_with(legacyNameStart(imagePath)))
                legacy.emplace_back(folder / std::string(name), *time);
        }
    });
    listing.newest = std::max(listing.newest, readTimeField(newest).value_or(0));
    for (const auto& [file, time] : legacy)
        if (auto kept = legacyOf(file, time, imagePath, fingerprint, *disc)) listing.ofDisc.push_back(std::move(*kept));
    return listing;
}

void trim(const std::filesystem::path& folder) {
    // Taken back (for some file) first, then by the order the history gave them.
    std::vector<std::tuple<bool, std::int64_t, std::filesystem::path>> all;
    forEachName(folder, [&](std::string_view name) {
        if (const auto record = parseRecordName(name))
            all.emplace_back(false, record->time, folder / std::string(name));
        else if (const auto time = legacyNameTime(name))
            all.emplace_back(false, *time, folder / std::string(name));
    });
    if (all.size() < kMaxRecords) return;
    for (auto& [stays, time, file] : all) {
        try {
            const PatchRecord record = readRecord(file);
            stays = std::ranges::none_of(record.events,
                                         [](const RecordEvent& e) { return e.kind == RecordEvent::TakenBack; });
        } catch (const Failure&) {  // damaged, or an older backup: by its age alone
            stays = true;
        }
    }
    std::ranges::sort(all);
    std::size_t left = all.size();
    for (const auto& [stays, time, file] : all) {
        if (left < kMaxRecords - kTrimmedBelow) break;
        try {
            removeFile(file);
        } catch (const Failure&) {  // one that cannot be removed only stays a while longer
        }
        --left;
    }
}

bool readKept(Kept& kept) {
    if (!kept.read) {
        kept.read = true;
        try {
            kept.record = readRecord(kept.file);
        } catch (const Failure& failure) {
            kept.damage = failure.what();
        }
    }
    return kept.record.has_value();
}

ImageFile madeOnOf(const Kept& kept) {
    // Names of version 0.3.0 tell the file being written by its identity alone.
    if (kept.name.holder != 0 && kept.record->madeOn.identity == 0) return {kept.name.holder, {}};
    return kept.record->madeOn;
}

RecordName writeRecord(const std::filesystem::path& folder, RecordState state, std::int64_t time,
                       std::span<const Byte> fingerprint, const ImageFile& madeOn, std::span<const Byte> before,
                       std::span<const Byte> written, std::span<const Byte> trace) {
    const EncodedRecord encoded = encodeRecord(time, fingerprint, madeOn, before, written, trace);
    const std::span<const Byte> path(reinterpret_cast<const Byte*>(madeOn.path.data()), madeOn.path.size());
    const std::span<const Byte> pieces[] = {encoded.header, fingerprint,   path,           before,
                                            written,        encoded.trace, encoded.trailer};
    const RecordName name = encoded.name.in(state);
    // The record, then its name in the folder, reach the disk before the image
    // changes: a power cut then leaves the way back.
    createFile(folder / recordFileName(name), pieces, Flushed);
    return name;
}

ThisImage thisImage(DiscImage& image) {
    ImageFile file{image.fileIdentity(), {}};
    try {
        file.path = pathText(canonicalPath(image.path()));
    } catch (const Failure&) {  // too long to be told: known by the file itself alone
    }
    return {image, std::move(file)};
}

bool fits(const PatchRecord& record, const DiscImage& image) {
    return record.fingerprint == image.fingerprint() && record.before.size() == image.prefix().size();
}

HistoryStep shown(const Kept& kept, bool interrupted) {
    HistoryStep step;
    step.file = kept.file;
    step.time = kept.name.time;
    step.damage = kept.damage;
    step.interrupted = interrupted;
    if (kept.record) step.madeOn = kept.record->madeOn.path;
    return step;
}

}  // namespace tolvane::history
