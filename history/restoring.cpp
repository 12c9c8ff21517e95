// Taking patches back: which record a restore takes, the walk that lists them,
// and the restore itself.
#include "history_parts.h"

#include "logo/base/failure.h"
#include "logo/base/time_text.h"
#include "logo/files/file_io.h"

#include <algorithm>

namespace tolvane {

namespace history {

namespace {

bool same(std::span<const Byte> a, std::span<const Byte> b) { return std::ranges::equal(a, b); }

std::size_t usable(const std::vector<HistoryStep>& steps) {
    return static_cast<std::size_t>(
        std::ranges::count_if(steps, [](const HistoryStep& step) { return step.damage.empty() && !step.choice; }));
}

void noteDamaged(const Kept& kept, std::vector<HistoryStep>& damaged) {
    if (std::ranges::find(damaged, kept.file, &HistoryStep::file) == damaged.end()) damaged.push_back(shown(kept));
}

// The patches restore would take back one by one from `held` on, each with the
// records it has taken back before it, and the damaged records on the way.
std::vector<HistoryStep> walk(std::vector<Kept>& records, const ThisImage& here, std::span<const Byte> held,
                              std::vector<const Kept*> taken) {
    std::vector<HistoryStep> steps;
    std::vector<Byte> bytes(held.begin(), held.end());
    for (;;) {
        std::vector<HistoryStep> damaged;
        const Choice choice = choose(records, here, bytes, taken, damaged);
        for (const HistoryStep& d : damaged)
            if (std::ranges::find(steps, d.file, &HistoryStep::file) == steps.end()) steps.push_back(d);
        if (!choice.step) {
            for (const Kept* undecided : choice.undecided) {
                steps.push_back(shown(*undecided));
                steps.back().choice = true;
            }
            return steps;
        }
        steps.push_back(shown(*choice.step));
        bytes = choice.step->record->before;
        taken.push_back(choice.step);
    }
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
    return text + "none of the " + std::to_string(kept) + (kept == 1 ? " record" : " records") + " of this disc in " +
           quoted(folder) + " is of a patch that wrote what " + quoted(image) +
           " holds now (it was changed since by something else, or its patches are taken back already)";
}

// Whether restore could take the patch back from `held` in this file.
bool couldTakeBack(Kept& kept, const ThisImage& here, std::span<const Byte> held) {
    if (kept.gone || kept.runningElsewhere || !readKept(kept)) return false;
    const PatchRecord& record = *kept.record;
    // Another disc, or other bytes with the same checksums.
    if (!fits(record, here.image) || !same(record.written, held)) return false;
    const RecordEvent* last = record.lastEventOf(here.file);
    return !last || last->kind != RecordEvent::TakenBack;
}

// The record restore is told to take back: one that it could take back now.
Kept& named(std::vector<Kept>& records, const ThisImage& here, const std::string& name) {
    for (Kept& kept : records)
        if (pathText(kept.file.filename()) == name && couldTakeBack(kept, here, here.image.prefix().bytes()))
            return kept;
    throw Failure("Nothing was written: " + name + " is not a record of a patch that wrote what " +
                      quoted(here.image.path()) + " holds now (tolvane restore --list shows those)",
                  Problem::NoRecord);
}

}  // namespace

Choice choose(std::vector<Kept>& records, const ThisImage& here, std::span<const Byte> held,
              const std::vector<const Kept*>& taken, std::vector<HistoryStep>& damaged) {
    const std::uint32_t sum = bytesChecksum(held);
    std::vector<Kept*> candidates;
    for (Kept& kept : records) {
        if (kept.name.written != sum || std::ranges::find(taken, &kept) != taken.end()) continue;
        if (couldTakeBack(kept, here, held))
            candidates.push_back(&kept);
        else if (!kept.gone && !kept.damage.empty())
            noteDamaged(kept, damaged);
    }
    std::ranges::sort(candidates, std::ranges::greater{}, [](const Kept* k) { return k->name.time; });
    Choice choice;
    for (Kept* kept : candidates)
        if (madeOnOf(*kept).is(here.file)) {
            choice.step = kept;
            return choice;
        }
    const bool agree = std::ranges::all_of(
        candidates, [&](const Kept* k) { return same(k->record->before, candidates.front()->record->before); });
    if (agree && !candidates.empty())
        choice.step = candidates.front();
    else
        choice.undecided = std::move(candidates);
    return choice;
}

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
    DiscImage image = DiscImage::open(given, ImageAccess::Update);
    const std::filesystem::path path = image.path();  // for a CUE sheet, the file of its data track
    const ThisImage here = thisImage(image);
    Listing listing = listFolder(folder_, discHash(image.fingerprint()), here.file.path, image.fingerprint());
    std::vector<Kept>& records = listing.ofDisc;
    RestoreResult result;
    const Unfinished unfinished = settle(folder_, records, here, Settling::Change);
    if (unfinished.finished) {
        Kept& step = *unfinished.finished;
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

    const ImagePrefix asRead = image.prefix();
    ImagePrefix before(image.layout());
    std::ranges::copy(record.before, before.bytes().begin());
    try {
        image.writePrefix(before, asRead, folder_);
    } catch (const Failure&) {
        try {  // nothing written: an ordinary record again
            if (image.holds(asRead)) addEvent(*step, RecordEvent::Abandoned, here.file);
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
