// Settling what an interrupted patch or restore left in the history, by the bytes
// the image holds.
#include "history_parts.h"

#include "logo/base/failure.h"
#include "logo/files/file_io.h"

#include <chrono>

namespace tolvane::history {

namespace {

// What a command that stopped left in a record, as seen from the image file
// being settled (whose lock this command holds, so no command on it still runs).
enum class Left {
    PendingHere,       // a patch of this file kept it and did not say it wrote
    PendingElsewhere,  // the same, by a patch of another file that is over
    RestoringHere,     // a restore of this file began to write the bytes back
};

enum class Outcome {
    Drop,       // the patch never wrote: the record goes
    Done,       // an ordinary record of a patch that happened
    TakeBack,   // the image holds part of the patch's bytes: taken back first
    TakenBack,  // the restore wrote everything: it is marked taken back for this file
    Abandon,    // the restore wrote nothing, or the image changed since: an ordinary record again
};

struct Row {
    Left left;
    Holds holds;
    Outcome outcome;
};

// Every case, one row each. A pending record of another file (or of another
// file under this path) counts as done whatever this file holds: only the very
// file it was made on can tell that its patch never wrote. A copy that holds
// part of a patch is taken back all the same (see partlyHeld).
constexpr Row kSettling[] = {
    {Left::PendingHere, Holds::Before, Outcome::Drop},
    {Left::PendingHere, Holds::Written, Outcome::Done},
    {Left::PendingHere, Holds::Part, Outcome::TakeBack},
    {Left::PendingHere, Holds::Other, Outcome::Done},  // changed since by something else
    {Left::PendingElsewhere, Holds::Before, Outcome::Done},
    {Left::PendingElsewhere, Holds::Written, Outcome::Done},
    {Left::PendingElsewhere, Holds::Part, Outcome::Done},
    {Left::PendingElsewhere, Holds::Other, Outcome::Done},
    {Left::RestoringHere, Holds::Before, Outcome::TakenBack},
    {Left::RestoringHere, Holds::Written, Outcome::Abandon},
    {Left::RestoringHere, Holds::Part, Outcome::TakeBack},
    {Left::RestoringHere, Holds::Other, Outcome::Abandon},
};

Outcome outcomeOf(Left left, Holds holds) {
    for (const Row& row : kSettling)
        if (row.left == left && row.holds == holds) return row.outcome;
    return Outcome::Done;
}

// Whether the command that keeps a pending record still runs: it holds a lock
// on the record while it does.
bool heldByItsCommand(const std::filesystem::path& record) {
    try {
        File file = File::openForUpdate(record);
        const bool free = file.lockForWriting(std::chrono::milliseconds(0));
        file.close();
        return !free;
    } catch (const Failure&) {  // gone meanwhile, or not ours to lock: not in the way
        return false;
    }
}

// What the record left unfinished for this file, if anything: its events first,
// as its name's state may be older than they are (a rename to done that a power
// cut lost).
std::optional<Left> leftIn(const Kept& kept, const ThisImage& here) {
    const PatchRecord& record = *kept.record;
    const RecordEvent* last = record.lastEventOf(here.file);
    if (last) return last->kind == RecordEvent::Restoring ? std::optional(Left::RestoringHere) : std::nullopt;
    switch (kept.name.state) {
        case RecordState::Pending: {
            if (!record.events.empty()) return std::nullopt;  // restored elsewhere: its patch happened
            const std::uint64_t madeOn = madeOnOf(kept).identity;
            return madeOn != 0 && madeOn == here.file.identity ? Left::PendingHere : Left::PendingElsewhere;
        }
        case RecordState::Restoring:  // as version 0.3.0 marked it
            if (kept.name.holder == here.file.identity) return Left::RestoringHere;
            return std::nullopt;
        case RecordState::Done: return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

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

Unfinished settle(const std::filesystem::path& folder, std::vector<Kept>& records, const ThisImage& here,
                  Settling mode) {
    Unfinished unfinished;
    const auto held = here.image.prefix().bytes();
    const auto rename = [&](Kept& kept, RecordState state) {
        const RecordName next = kept.name.in(state);
        const auto file = folder / recordFileName(next);
        if (mode == Settling::Change) renameFile(kept.file, file);
        kept.file = file;
        kept.name = next;
    };
    for (Kept& kept : records) {
        if (kept.name.state == RecordState::Pending && heldByItsCommand(kept.file)) {
            kept.runningElsewhere = true;
            continue;
        }
        std::optional<Left> left;
        if (!kept.legacy && readKept(kept) && fits(*kept.record, here.image)) left = leftIn(kept, here);
        if (!left) continue;
        const Holds holds = whatImageHolds(held, *kept.record);
        switch (outcomeOf(*left, holds)) {
            case Outcome::Drop:
                // A CHD whose patch stopped after its append, before its header:
                // the bytes appended go too.
                if (mode == Settling::Change && !kept.record->trace.empty() &&
                    here.image.holdsWrite(kept.record->trace))
                    here.image.undoWrite(kept.record->trace);
                if (mode == Settling::Change) removeFile(kept.file);
                kept.gone = true;
                break;
            case Outcome::Done:
                if (*left == Left::PendingHere) rename(kept, RecordState::Done);
                break;
            case Outcome::TakeBack:
                unfinished.takeBack = &kept;
                unfinished.partWay = true;
                break;
            case Outcome::TakenBack: unfinished.finished = &kept; break;
            case Outcome::Abandon:
                if (kept.name.state == RecordState::Restoring)
                    rename(kept, RecordState::Done);
                else if (mode == Settling::Change)
                    addEvent(kept, RecordEvent::Abandoned, here.file);
                else
                    kept.record->events.push_back({RecordEvent::Abandoned, here.file});
                break;
        }
    }
    return unfinished;
}

Kept* partlyHeld(std::vector<Kept>& records, const ThisImage& here) {
    const auto held = here.image.prefix().bytes();
    Kept* newest = nullptr;
    for (Kept& kept : records) {
        if (kept.gone || kept.runningElsewhere || !readKept(kept) || !fits(*kept.record, here.image)) continue;
        const RecordEvent* last = kept.record->lastEventOf(here.file);
        if (last && last->kind == RecordEvent::TakenBack) continue;
        if (whatImageHolds(held, *kept.record) == Holds::Part && (!newest || kept.name.time > newest->name.time))
            newest = &kept;
    }
    return newest;
}

void addEvent(Kept& kept, RecordEvent::Kind kind, const ImageFile& file) {
    const std::vector<Byte> bytes = encodeEvent({kind, file});
    File record = File::openForUpdate(kept.file);
    // One command at a time adds to a record, after its last whole event.
    if (!record.lockForWriting(std::chrono::seconds(2)))
        throw Failure("Cannot add to the record " + quoted(kept.file) + ": another program is writing it",
                      Problem::Busy);
    std::vector<Byte> now(std::min<std::uint64_t>(record.size(), kMaxRecordSize));
    now.resize(record.readAt(0, now));
    PatchRecord read = decodeRecord(now);
    if (read.end + bytes.size() > kMaxRecordSize)
        throw Failure("Cannot add to", kept.file, std::make_error_code(std::errc::file_too_large));
    record.writeAt(read.end, bytes);
    record.flushToDisk();
    record.close();
    read.events.push_back({kind, file});
    read.end += bytes.size();
    kept.record = std::move(read);
}

}  // namespace tolvane::history
