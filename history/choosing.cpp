// Which patch a restore takes back: of those that wrote what the image holds,
// the one made on this very file, else one that all the others agree with; a
// record named by the person; and the walk through the steps restore would
// take one by one.
#include "history_parts.h"

#include "logo/base/failure.h"

#include <algorithm>

namespace tolvane::history {

namespace {

bool same(std::span<const Byte> a, std::span<const Byte> b) { return std::ranges::equal(a, b); }

void noteDamaged(const Kept& kept, std::vector<HistoryStep>& damaged) {
    if (std::ranges::find(damaged, kept.file, &HistoryStep::file) == damaged.end()) damaged.push_back(shown(kept));
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

Kept& named(std::vector<Kept>& records, const ThisImage& here, const std::string& name) {
    for (Kept& kept : records)
        if (pathText(kept.file.filename()) == name && couldTakeBack(kept, here, here.image.prefix().bytes()))
            return kept;
    throw Failure("Nothing was written: " + name + " is not a record of a patch that wrote what " +
                      quoted(here.image.path()) + " holds now (tolvane restore --list shows those)",
                  Problem::NoRecord);
}

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

}  // namespace tolvane::history
