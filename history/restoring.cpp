// Taking patches back: the list of the steps a restore would take, and the
// restore itself.
#include "history_parts.h"

#include "logo/base/failure.h"
#include "logo/base/time_text.h"
#include "logo/files/file_io.h"

#include <algorithm>
#include <optional>

namespace tolvane {

namespace history {

namespace {

std::size_t usable(const std::vector<HistoryStep>& steps) {
    return static_cast<std::size_t>(
        std::ranges::count_if(steps, [](const HistoryStep& step) { return step.damage.empty() && !step.choice; }));
}

std::string undecidedText(const std::filesystem::path& image, const std::vector<Kept*>& undecided) {
    std::string text = "Nothing was written: no record of a patch that wrote what " + quoted(image) +
                       " holds was made on it, and the " + std::to_string(undecided.size()) +
                       " made on other files would put back different bytes: ";
    for (std::size_t i = 0; i < undecided.size(); ++i) {
        const Kept& kept = *undecided[i];
        const std::string& madeOn = kept.record->madeOn.path;
        text += (i ? "; " : "") + std::string("the patch of ") + localTimeText(kept.name.time) + " on " +
                (madeOn.empty() ? std::string("a file not named") : quoted(std::filesystem::path(madeOn))) +
                " (record " + pathText(kept.file.filename()) + ")";
    }
    return text + ". Name the one to take back: tolvane restore --record RECORD";
}

std::string nothingToRestore(const std::filesystem::path& folder, const std::vector<Kept>& records,
                             const std::filesystem::path& image, const std::vector<HistoryStep>& damaged) {
    std::string text = "Nothing was written: ";
    if (!damaged.empty())
        return text + "the record of the last patch of " + quoted(image) + ", " + quoted(damaged.front().file) +
               ", is damaged (" + damaged.front().damage + "), and no other record is of a patch that wrote what " +
               "it holds now";
    const std::size_t kept = static_cast<std::size_t>(std::ranges::count(records, false, &Kept::gone));
    if (kept == 0) return text + "there is no record of a patch of " + quoted(image) + " in " + quoted(folder);
    return text + (kept == 1 ? "the only record" : "none of the " + std::to_string(kept) + " records") +
           " of this disc in " + quoted(folder) + (kept == 1 ? " is not" : " is") + " of a patch that wrote what " +
           quoted(image) + " holds now (it was changed since by something else, or its patches are taken back already)";
}

}  // namespace

}  // namespace history

using namespace history;

std::vector<HistoryStep> PatchHistory::list(const std::filesystem::path& given) const {
    DiscImage image = DiscImage::open(given);
    const ThisImage here = thisImage(image);
    Listing listing = listFolder(folder_, discHash(image.fingerprint()), here.file.path, image.fingerprint());
    image.close();
    std::vector<Kept>& records = listing.ofDisc;
    const Unfinished unfinished = settle(folder_, records, here, Settling::Look);
    std::vector<HistoryStep> steps;
    std::vector<const Kept*> taken;
    auto held = image.prefix().bytes();
    if (unfinished.finished) {
        steps.push_back(shown(*unfinished.finished, true));
        taken.push_back(unfinished.finished);
    }
    if (unfinished.takeBack) {
        steps.push_back(shown(*unfinished.takeBack, unfinished.partWay));
        held = unfinished.takeBack->record->before;
        taken.push_back(unfinished.takeBack);
    }
    std::vector<HistoryStep> walked = walk(records, here, held, taken);
    if (walked.empty() && !unfinished.takeBack && !unfinished.finished) {
        if (Kept* part = partlyHeld(records, here)) {
            steps.push_back(shown(*part, true));
            taken.push_back(part);
            walked = walk(records, here, part->record->before, taken);
        }
    }
    for (HistoryStep& step : walked) steps.push_back(std::move(step));
    for (const Kept& kept : records)
        if (kept.legacy && !kept.damage.empty()) steps.push_back(shown(kept));
    return steps;
}

RestoreResult PatchHistory::restore(const std::filesystem::path& given, const std::string& recordName) const {
    std::optional<DiscImage> opened;
    try {
        opened.emplace(DiscImage::open(given, ImageAccess::Update));
    } catch (const Failure&) {
        // An image that may not be written (a compressed CHD, a read-only file)
        // with no patch to take back: that is what to say of it, as of any other.
        std::optional<Failure> nothing;
        try {
            if (recordName.empty() && list(given).empty()) {
                DiscImage image = DiscImage::open(given);
                const ThisImage here = thisImage(image);
                const Listing listing =
                    listFolder(folder_, discHash(image.fingerprint()), here.file.path, image.fingerprint());
                nothing.emplace(nothingToRestore(folder_, listing.ofDisc, image.path(), {}), Problem::NoRecord);
            }
        } catch (const Failure&) {  // not even read: the refusal stands
        }
        if (nothing) throw *nothing;
        throw;
    }
    DiscImage& image = *opened;
    const std::filesystem::path path = image.path();  // for a CUE sheet, the file of its data track
    const ThisImage here = thisImage(image);
    Listing listing = listFolder(folder_, discHash(image.fingerprint()), here.file.path, image.fingerprint());
    std::vector<Kept>& records = listing.ofDisc;
    RestoreResult result;
    const Unfinished unfinished = settle(folder_, records, here, Settling::Change);
    if (unfinished.finished) {
        Kept& step = *unfinished.finished;
        // A CHD whose restore stopped after the old header: cut to its old length.
        if (step.record && !step.record->trace.empty() && image.holdsWrite(step.record->trace))
            image.undoWrite(step.record->trace);
        addEvent(step, RecordEvent::TakenBack, here.file);
        image.close();
        result.finishedEarlierRestore = true;
        result.restored = shown(step);
        result.left = usable(walk(records, here, image.prefix().bytes(), {&step}));
        return result;
    }

    Kept* step = unfinished.takeBack;
    bool partWay = unfinished.partWay;
    if (!step && !recordName.empty()) step = &named(records, here, recordName);
    if (!step) {
        const Choice choice = choose(records, here, image.prefix().bytes(), {}, result.skipped);
        if (!choice.undecided.empty()) throw Failure(undecidedText(path, choice.undecided), Problem::NoRecord);
        step = choice.step;
    }
    if (!step && (step = partlyHeld(records, here))) partWay = true;
    if (!step) throw Failure(nothingToRestore(folder_, records, path, result.skipped), Problem::NoRecord);
    result.restored = shown(*step, partWay);
    const PatchRecord& record = *step->record;
    if (step->legacy) {  // an older backup becomes a record, which can say what became of it
        step->name = writeRecord(folder_, RecordState::Done, record.time, image.fingerprint(), record.madeOn,
                                 record.before, record.written);
        removeFile(step->file);
        step->file = folder_ / recordFileName(step->name);
        step->legacy = false;
    } else if (step->name.state != RecordState::Done) {
        // Version 0.3.0 said in the name which file a restore was writing: kept as an event.
        if (step->name.state == RecordState::Restoring && step->name.holder != here.file.identity)
            addEvent(*step, RecordEvent::Restoring, ImageFile{step->name.holder, {}});
        const RecordName done = step->name.in(RecordState::Done);
        renameFile(step->file, folder_ / recordFileName(done));
        step->file = folder_ / recordFileName(done);
        step->name = done;
    }
    // Said first, on the disk, so that a restore that stops on the way is
    // finished by the next one rather than taken a patch further back.
    addEvent(*step, RecordEvent::Restoring, here.file);

    ImagePrefix before(image.layout());
    std::ranges::copy(record.before, before.bytes().begin());
    try {
        // A CHD as the patch left it goes back exactly (its old header, its old
        // length); one changed since (recompressed, say) gets the old bytes as a
        // new patch.
        const bool exactly = !record.trace.empty() && image.holdsWrite(record.trace);
        if (exactly)
            image.undoWrite(record.trace);
        else
            image.writePrefix(before, rescue());
        result.asNewPatch = !exactly && image.chd().has_value();
    } catch (const Failure&) {
        try {  // nothing written: an ordinary record again
            if (image.holds(image.prefix())) addEvent(*step, RecordEvent::Abandoned, here.file);
        } catch (const Failure&) {  // the next restore sees that this one wrote nothing
        }
        throw;
    }
    const std::string restored = "The bytes from before the patch of " + localTimeText(step->name.time) +
                                 " are written back into " + quoted(path) + " and flushed to the disk, but then: ";
    try {
        addEvent(*step, RecordEvent::TakenBack, here.file);
    } catch (const Failure& failure) {
        throw FailureAfterWrite(failure.after(restored).with("; the next restore notes it and goes no further back"));
    }
    try {
        image.close();
    } catch (const Failure& failure) {
        throw FailureAfterWrite(failure.after(restored));
    }
    result.left = usable(walk(records, here, before.bytes(), {step}));
    return result;
}

}  // namespace tolvane
