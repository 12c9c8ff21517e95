// Keeping, following and settling the records of patches; patching and restoring with them.
#include "history/patch_history.h"

#include "history/data_folder.h"
#include "history/history_index.h"
#include "history/patch_record.h"
#include "logo/base/failure.h"
#include "logo/base/time_text.h"
#include "logo/files/file_io.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <span>

namespace tolvane {

namespace {

struct Entry {
    std::filesystem::path file;
    RecordName name;
};

// The history's folder as the names in it tell: the records of one disc, the
// backups of the older formats, and the summary of them all that the folder's
// index keeps.
struct Scan {
    std::vector<Entry> records;  // of the disc: all of them, or those a command left unfinished
    std::int64_t newest = 0;     // when the newest record of the disc was made
    std::vector<std::pair<std::filesystem::path, std::int64_t>> legacy;
    HistorySummary all;  // records and older backups of every disc
};

std::int64_t oldestKept() { return nanosecondsNow() - std::chrono::nanoseconds(kRecordLifetime).count(); }

// A patch needs only the disc's records that a command left unfinished; a
// restore follows them all.
enum class Records { Unfinished, All };

// Reads in full only the names of the records wanted: the others' fields are
// compared as they stand, as a patch reads the folder every time.
Scan scan(const std::filesystem::path& folder, std::uint64_t disc, Records wanted) {
    Scan found;
    const std::string ours = discField(disc);
    std::string newest, newestOfAll, oldestOfAll;  // time fields, which compare as their times do
    forEachName(folder, [&](std::string_view name) {
        if (const auto fields = recordNameFields(name)) {
            ++found.all.records;
            if (oldestOfAll.empty() || fields->time < oldestOfAll) oldestOfAll = fields->time;
            if (fields->time > newestOfAll) newestOfAll = fields->time;
            if (fields->disc != ours) return;
            if (fields->time > newest) newest = fields->time;
            if (wanted == Records::Unfinished && fields->done) return;
            if (const auto record = parseRecordName(name))
                found.records.push_back({folder / std::string(name), *record});
        } else if (const auto time = legacyNameTime(name)) {
            found.legacy.emplace_back(folder / std::string(name), *time);
            ++found.all.records;
        }
    });
    found.newest = readTimeField(newest).value_or(0);
    found.all.oldest = readTimeField(oldestOfAll).value_or(0);
    found.all.newest = readTimeField(newestOfAll).value_or(0);
    for (const auto& [file, time] : found.legacy) {
        found.all.oldest = found.all.oldest == 0 ? time : std::min(found.all.oldest, time);
        found.all.newest = std::max(found.all.newest, time);
    }
    found.all.read = nanosecondsNow();
    return found;
}

// When records of every disc together go past kMaxRecords, the oldest go down to
// this many fewer, so that the next patches need not read the folder whole.
constexpr std::size_t kTrimmedBelow = 10;

// Removes every record older than kRecordLifetime and, when there are more than
// kMaxRecords, the oldest until kMaxRecords - kTrimmedBelow are left; never
// `made`, the one just made. Gives the summary of those left.
HistorySummary trim(const std::filesystem::path& folder, const std::filesystem::path& made) {
    std::vector<std::pair<std::int64_t, std::string>> all;
    forEachName(folder, [&all](std::string_view name) {
        if (const auto record = parseRecordName(name))
            all.emplace_back(record->time, name);
        else if (const auto time = legacyNameTime(name))
            all.emplace_back(*time, name);
    });
    std::ranges::sort(all);
    HistorySummary kept{static_cast<std::uint32_t>(all.size()), 0, all.empty() ? 0 : all.back().first,
                        nanosecondsNow()};
    const auto keep = [&kept](std::int64_t time) { kept.oldest = kept.oldest ? kept.oldest : time; };
    const std::int64_t oldest = oldestKept();
    std::size_t left = all.size();
    const std::size_t most = left > kMaxRecords ? kMaxRecords - kTrimmedBelow : left;
    for (const auto& [time, name] : all) {
        if (left <= most && time >= oldest) {
            keep(time);
            break;
        }
        if (folder / name == made) {
            keep(time);
            continue;
        }
        try {
            removeFile(folder / name);
            --kept.records;
        } catch (const Failure&) {  // one that cannot be removed only stays a while longer
            keep(time);
        }
        --left;
    }
    return kept;
}

// Whether records are to go before one more is kept.
bool needsTrimming(const HistorySummary& all) {
    return all.records + 1 > kMaxRecords || (all.records > 0 && all.oldest < oldestKept());
}

// A patch with its record read: from a record's file, or from an older backup.
struct Step {
    Entry entry;
    PatchRecord record;
    bool legacy = false;
};

HistoryStep shown(const Step& step, bool interrupted = false) {
    return {step.entry.file, step.entry.name.time, "", interrupted};
}

// The records of one disc, for one open image of it.
struct Ledger {
    std::filesystem::path folder;
    DiscImage& image;
    std::uint64_t holder;  // the image file, in the names of records it is writing
    std::vector<Entry> records;
    std::vector<Step> legacy;                // older backups of the image's path
    std::vector<HistoryStep> damagedLegacy;  // and those of them that cannot be read
};

PatchRecord readRecord(const std::filesystem::path& file) { return decodeRecord(readSmallFile(file, kMaxRecordSize)); }

bool fits(const PatchRecord& record, const DiscImage& image) {
    return record.fingerprint == image.fingerprint() && record.before.size() == image.prefix().size();
}

bool same(std::span<const Byte> a, std::span<const Byte> b) { return std::ranges::equal(a, b); }

Ledger ledgerOf(const std::filesystem::path& folder, Scan scanned, DiscImage& image, bool withLegacy) {
    Ledger ledger{folder, image, image.fileIdentity(), std::move(scanned.records), {}, {}};
    const std::uint64_t disc = discHash(image.fingerprint());
    if (!withLegacy || scanned.legacy.empty()) return ledger;
    // Older backups are found by the image's canonical path (none where it is too
    // long to be told).
    std::string path;
    try {
        path = pathText(canonicalPath(image.path()));
    } catch (const Failure&) {
        return ledger;
    }
    const std::string start = legacyNameStart(path);
    for (const auto& [file, time] : scanned.legacy) {
        if (!pathText(file.filename()).starts_with(start)) continue;
        try {
            LegacyBackup backup = decodeLegacyBackup(readSmallFile(file, kMaxRecordSize));
            if (backup.imagePath != path || backup.before.size() != image.prefix().size()) continue;
            const RecordName name{disc, time, bytesChecksum(backup.written), bytesChecksum(backup.before)};
            ledger.legacy.push_back(
                {{file, name}, {time, image.fingerprint(), std::move(backup.before), std::move(backup.written)}, true});
        } catch (const Failure& failure) {
            ledger.damagedLegacy.push_back({file, time, failure.what(), false});
        }
    }
    return ledger;
}

enum class Holds { Written, Before, Part, Other };

// Whether the image holds what a record's patch wrote, what it replaced, or some
// of each (a write that stopped part way).
Holds whatImageHolds(std::span<const Byte> held, const PatchRecord& record) {
    if (held.size() != record.written.size()) return Holds::Other;
    bool written = true, before = true;
    for (std::size_t i = 0; i < held.size(); ++i) {
        written = written && held[i] == record.written[i];
        before = before && held[i] == record.before[i];
        if (held[i] != record.written[i] && held[i] != record.before[i]) return Holds::Other;
    }
    return written ? Holds::Written : before ? Holds::Before : Holds::Part;
}

enum class Settling { Patch, Restore, Look };  // Look: decides as a restore would, changes no file

struct Unfinished {
    std::optional<Step> restore;   // to be finished: the image holds what the patch wrote, or part of it
    std::optional<Step> finished;  // a restore that had written everything; its record is gone now
};

// Records that a patch or a restore of this very file left unfinished when the
// program stopped. Decided under the image's lock (so that command is over) by
// the bytes the image holds. Records of other files are left to their own.
Unfinished settle(Ledger& ledger, Settling mode) {
    Unfinished unfinished;
    const auto held = ledger.image.prefix().bytes();
    const auto move = [&](Entry& entry, RecordState state) {
        const RecordName next = entry.name.in(state, ledger.holder);
        const auto file = ledger.folder / recordFileName(next);
        if (mode != Settling::Look) renameFile(entry.file, file);
        entry = {file, next};
    };
    for (auto it = ledger.records.begin(); it != ledger.records.end();) {
        Entry& entry = *it;
        std::optional<PatchRecord> record;
        if (entry.name.state != RecordState::Done && entry.name.holder == ledger.holder) {
            try {
                record = readRecord(entry.file);
            } catch (const Failure&) {  // damaged: reported where a restore meets it
            }
        }
        if (!record || !fits(*record, ledger.image)) {
            ++it;
            continue;
        }
        const Holds holds = whatImageHolds(held, *record);
        bool drop = false;
        if (entry.name.state == RecordState::Pending) {
            // The patch stopped between keeping its record and saying it was written.
            if (holds == Holds::Written) move(entry, RecordState::Done);
            drop = holds == Holds::Before;  // it never wrote
            if (holds == Holds::Part) {     // it wrote part: to be taken back
                move(entry, RecordState::Restoring);
                unfinished.restore = Step{entry, *record};
            }
        } else if (holds == Holds::Before) {  // the restore wrote everything, then stopped
            drop = true;
            unfinished.finished = Step{entry, *record};
        } else if (holds == Holds::Part || (holds == Holds::Written && mode != Settling::Patch)) {
            unfinished.restore = Step{entry, *record};
        } else {  // it wrote nothing, or the image changed since: an ordinary record again
            move(entry, RecordState::Done);
        }
        if (drop && mode != Settling::Look) removeFile(entry.file);
        it = drop ? ledger.records.erase(it) : it + 1;
    }
    return unfinished;
}

// Records that stand for a patch that happened: done, or left restoring by a
// command on another file. A pending one is not: its patch is still under way
// on another file, or it stopped before it said.
bool standsForAPatch(const Entry& entry, std::uint64_t holder) {
    return entry.name.state == RecordState::Done ||
           (entry.name.state == RecordState::Restoring && entry.name.holder != holder);
}

// The newest patch before `olderThan` that wrote `held`, its record read and
// confirmed byte for byte. Damaged records that might have been it are added to
// `damaged`.
std::optional<Step> lastPatch(const Ledger& ledger, std::span<const Byte> held, std::int64_t olderThan,
                              std::vector<HistoryStep>& damaged) {
    const std::uint32_t sum = bytesChecksum(held);
    std::vector<const Step*> backups;
    std::vector<const Entry*> records;
    for (const Entry& entry : ledger.records)
        if (standsForAPatch(entry, ledger.holder) && entry.name.written == sum && entry.name.time < olderThan)
            records.push_back(&entry);
    for (const Step& backup : ledger.legacy)
        if (backup.entry.name.time < olderThan && same(backup.record.written, held)) backups.push_back(&backup);
    std::ranges::sort(records, std::ranges::greater{}, [](const Entry* e) { return e->name.time; });
    const Step* newestBackup =
        backups.empty()
            ? nullptr
            : *std::ranges::max_element(backups, std::ranges::less{}, [](const Step* s) { return s->entry.name.time; });
    for (const Entry* entry : records) {
        if (newestBackup && newestBackup->entry.name.time > entry->name.time) break;
        try {
            PatchRecord record = readRecord(entry->file);
            // Another disc, or other bytes with the same checksums.
            if (!fits(record, ledger.image) || !same(record.written, held)) continue;
            return Step{*entry, std::move(record)};
        } catch (const Failure& failure) {
            damaged.push_back({entry->file, entry->name.time, failure.what(), false});
        }
    }
    if (newestBackup) return *newestBackup;
    return std::nullopt;
}

// The patches restore would take back one by one from `held` on, and the
// damaged records on the way.
std::vector<HistoryStep> walk(const Ledger& ledger, std::span<const Byte> held,
                              std::int64_t olderThan = std::numeric_limits<std::int64_t>::max()) {
    std::vector<HistoryStep> steps;
    std::vector<Byte> bytes(held.begin(), held.end());
    for (;;) {
        std::vector<HistoryStep> damaged;
        const auto step = lastPatch(ledger, bytes, olderThan, damaged);
        for (const HistoryStep& d : damaged)
            if (std::ranges::find(steps, d.file, &HistoryStep::file) == steps.end()) steps.push_back(d);
        if (!step) return steps;
        steps.push_back(shown(*step));
        bytes = step->record.before;
        olderThan = step->entry.name.time;
    }
}

std::size_t usable(const std::vector<HistoryStep>& steps) {
    return static_cast<std::size_t>(std::ranges::count(steps, std::string(), &HistoryStep::damage));
}

std::string nothingToRestore(const Ledger& ledger, const std::filesystem::path& image,
                             const std::vector<HistoryStep>& damaged) {
    std::string text = "Nothing was written: ";
    if (!damaged.empty())
        return text + "the record of the last patch of " + quoted(image) + ", " + quoted(damaged.front().file) +
               ", is damaged (" + damaged.front().damage + "), and no other record is of a patch that wrote what " +
               "it holds now";
    const std::size_t kept = ledger.records.size() + ledger.legacy.size() + ledger.damagedLegacy.size();
    if (kept == 0) return text + "there is no record of a patch of " + quoted(image) + " in " + quoted(ledger.folder);
    return text + "none of the " + std::to_string(kept) + (kept == 1 ? " record" : " records") + " of this disc in " +
           quoted(ledger.folder) + " is of a patch that wrote what " + quoted(image) +
           " holds now (it was changed since by something else, or it is a copy that was not patched)";
}

}  // namespace

PatchHistory PatchHistory::forUser() { return PatchHistory(programDataFolder()); }

bool PatchHistory::patch(const std::filesystem::path& path, const ImagePrefix& prefix,
                         const ImagePrefix& expectedOnDisk) const {
    DiscImage image = DiscImage::open(path, ImageAccess::Update);
    image.checkUnchanged(expectedOnDisk);
    return patch(image, prefix);
}

bool PatchHistory::patch(DiscImage& image, const ImagePrefix& prefix) const {
    const std::filesystem::path& path = image.path();
    const ImagePrefix& expectedOnDisk = image.prefix();  // as read, under the lock held since
    if (prefix == expectedOnDisk) {                      // nothing to write, nothing to take back
        image.close();
        return false;
    }
    // The folder is read whole only where its index cannot tell what a patch
    // needs, or where records are to go: a patch takes its time, a look at every
    // name of a folder of hundreds of records more than a tenth of it.
    std::optional<HistoryIndex> index;
    std::optional<HistorySummary> summary;
    Scan scanned;
    std::optional<Ledger> ledger;
    std::filesystem::path record;
    RecordName name;
    std::int64_t time = 0;
    try {
        makeFolders(folder_);
        if (auto locked = HistoryIndex::lock(folder_)) index.emplace(std::move(*locked));
        if (index) summary = index->summary();
        if (summary && needsTrimming(*summary)) summary.reset();
        if (index) index->begin();
        if (!summary) scanned = scan(folder_, discHash(image.fingerprint()), Records::Unfinished);
        ledger.emplace(ledgerOf(folder_, scanned, image, false));
        // What the index does not tell was left unfinished: it says the folder was
        // changing, and the folder is read.
        if (!summary) settle(*ledger, Settling::Patch);
        // Strictly after every record of the disc (the index: of every disc), so
        // that a history is always followed back in time, whatever the clock did.
        time = std::max(nanosecondsNow(), (summary ? summary->newest : scanned.newest) + 1);
        const auto before = image.prefix().bytes(), after = prefix.bytes();
        const EncodedRecord encoded = encodeRecord(time, image.fingerprint(), before, after);
        name = encoded.name.in(RecordState::Pending, ledger->holder);
        record = folder_ / recordFileName(name);
        const std::span<const Byte> pieces[] = {encoded.header, image.fingerprint(), before, after, encoded.trailer};
        // Not flushed: the image's own write is, and a record that a crash cut
        // short fails its checksums and is never used. Flushing it too would
        // double the time an import takes.
        createFile(record, pieces, Cached);
    } catch (const Failure& failure) {
        throw failure.after("Nothing was written: Cannot keep a record of the patch of " + quoted(path) + " in " +
                            quoted(folder_) + ": ");
    }
    try {
        image.writePrefix(prefix, expectedOnDisk, folder_);
    } catch (const Failure&) {
        // A patch that did not happen leaves no record; one that left part of its
        // bytes keeps it, so that restore can put the rest back.
        bool asBefore = false;
        try {
            asBefore = image.holds(image.prefix());
            if (asBefore) removeFile(record);
        } catch (const Failure&) {  // a record left pending counts for nothing while the image holds what it replaced
        }
        throw;
    }
    // Said before the image's lock goes, so that a pending record found under the
    // lock is always one whose patch stopped.
    const RecordName done = name.in(RecordState::Done);
    bool said = true;
    try {
        renameFile(record, folder_ / recordFileName(done));
    } catch (const Failure&) {  // a pending record counts as done once the image is seen to hold its bytes
        said = false;
    }
    try {
        image.close();
    } catch (const Failure& failure) {
        throw FailureAfterWrite(
            failure.after("The new logo is written into " + quoted(path) + " and flushed to the disk, but then: "));
    }

    HistorySummary now = summary ? *summary : scanned.all;
    if (!summary && needsTrimming(now)) {
        now = trim(folder_, folder_ / recordFileName(done));
    } else {
        now.records += 1;
        now.oldest = now.oldest ? std::min(now.oldest, time) : time;
        now.newest = std::max(now.newest, time);
    }
    if (index && said) index->finish(now);
    return true;
}

void PatchHistory::checkUsable(const std::filesystem::path& image) const {
    try {
        checkRoomFor(folder_, kMaxRecordSize);
    } catch (const Failure& failure) {
        throw failure.after("Cannot keep a record of the patch of " + quoted(image) + " in " + quoted(folder_) + ": ");
    }
}

std::vector<HistoryStep> PatchHistory::list(const std::filesystem::path& given) const {
    DiscImage image = DiscImage::open(given);
    Ledger ledger = ledgerOf(folder_, scan(folder_, discHash(image.fingerprint()), Records::All), image, true);
    image.close();
    const Unfinished unfinished = settle(ledger, Settling::Look);
    std::vector<HistoryStep> steps;
    if (unfinished.finished) steps.push_back(shown(*unfinished.finished, true));
    std::int64_t olderThan = std::numeric_limits<std::int64_t>::max();
    auto held = image.prefix().bytes();
    if (unfinished.restore) {
        steps.push_back(shown(*unfinished.restore, true));
        held = unfinished.restore->record.before;
        olderThan = unfinished.restore->entry.name.time;
    }
    for (HistoryStep& step : walk(ledger, held, olderThan)) steps.push_back(std::move(step));
    steps.insert(steps.end(), ledger.damagedLegacy.begin(), ledger.damagedLegacy.end());
    return steps;
}

RestoreResult PatchHistory::restore(const std::filesystem::path& given) const {
    DiscImage image = DiscImage::open(given, ImageAccess::Update);
    const std::filesystem::path path = image.path();  // for a CUE sheet, the file of its data track
    // The index is left saying the folder changed: the next patch reads it whole.
    std::optional<HistoryIndex> index = HistoryIndex::lock(folder_);
    if (index) index->begin();
    Ledger ledger = ledgerOf(folder_, scan(folder_, discHash(image.fingerprint()), Records::All), image, true);
    RestoreResult result;
    const Unfinished unfinished = settle(ledger, Settling::Restore);
    if (unfinished.finished) {
        image.close();
        const Step& step = *unfinished.finished;
        result.finishedEarlierRestore = true;
        result.restored = shown(step);
        result.left = usable(walk(ledger, image.prefix().bytes(), step.entry.name.time));
        return result;
    }

    std::optional<Step> step = unfinished.restore;
    if (!step) {
        step = lastPatch(ledger, image.prefix().bytes(), std::numeric_limits<std::int64_t>::max(), result.skipped);
        if (!step) throw Failure(nothingToRestore(ledger, path, result.skipped), Problem::NoRecord);
        result.restored = shown(*step);
        // Marked first, so that a restore that stops on the way is finished by the
        // next one rather than taken a patch further back.
        const RecordName restoring = step->entry.name.in(RecordState::Restoring, ledger.holder);
        const auto file = folder_ / recordFileName(restoring);
        if (step->legacy) {
            const EncodedRecord encoded =
                encodeRecord(restoring.time, image.fingerprint(), step->record.before, step->record.written);
            const std::span<const Byte> pieces[] = {encoded.header, image.fingerprint(), step->record.before,
                                                    step->record.written, encoded.trailer};
            createFile(file, pieces, Cached);
            removeFile(step->entry.file);
        } else {
            renameFile(step->entry.file, file);
        }
        step->entry = {file, restoring};
    }

    const ImagePrefix asRead = image.prefix();
    ImagePrefix before(image.layout());
    std::ranges::copy(step->record.before, before.bytes().begin());
    try {
        image.writePrefix(before, asRead, folder_);
    } catch (const Failure&) {
        try {  // put back as it was: an ordinary record again
            if (image.holds(asRead))
                renameFile(step->entry.file, folder_ / recordFileName(step->entry.name.in(RecordState::Done)));
        } catch (const Failure&) {  // the next command sees that the restore did not write
        }
        throw;
    }
    if (unfinished.restore) result.restored = shown(*step, true);
    const std::string restored = "The bytes from before the patch of " + localTimeText(step->entry.name.time) +
                                 " are written back into " + quoted(path) + " and flushed to the disk, but then: ";
    try {
        removeFile(step->entry.file);
    } catch (const Failure& failure) {
        throw FailureAfterWrite(
            failure.after(restored).with("; the next restore removes the record and goes no further back"));
    }
    try {
        image.close();
    } catch (const Failure& failure) {
        throw FailureAfterWrite(failure.after(restored));
    }
    result.left = usable(walk(ledger, before.bytes(), step->entry.name.time));
    return result;
}

}  // namespace tolvane
