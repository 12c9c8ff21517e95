// What `tolvane restore` says, and the restore command an import prints.
#include "restore_command.h"

#include "logo/base/failure.h"
#include "history/patch_history.h"
#include "logo/base/shown_text.h"

namespace tolvane {

namespace {

std::string leftText(std::size_t count) {
    if (count == 0) return "no earlier patch is recorded";
    return std::to_string(count) + (count == 1 ? " earlier patch" : " earlier patches") + " can still be taken back";
}

}  // namespace

std::string restoreImage(const std::filesystem::path& image, const std::string& record) {
    const RestoreResult result = PatchHistory::forUser().restore(image, record);
    std::string text;
    for (const HistoryStep& skipped : result.skipped)
        text += "Skipped the damaged record " + quoted(skipped.file) + " (" + skipped.damage + ")\n";
    const std::string time = localTimeText(result.restored.time);
    if (result.finishedEarlierRestore)
        return text + "Finished the restore of " + quoted(image) + " that was interrupted: it holds what it held " +
               "before the patch of " + time + " (" + leftText(result.left) + ")\n";
    if (result.asNewPatch)
        return text + "Restored the logo " + quoted(image) + " had before the patch of " + time +
               ", as a new patch: the CHD was made again since that patch, so it grows (" + leftText(result.left) +
               ")\n";
    return text + "Restored " + quoted(image) + " as it was before the patch of " + time + " (" +
           leftText(result.left) + ")\n";
}

std::string listPatches(const std::filesystem::path& image) {
    const PatchHistory history = PatchHistory::forUser();
    const std::vector<HistoryStep> steps = history.list(image);
    if (steps.empty())
        return "No patch of " + quoted(image) + " to take back: no record in " + quoted(history.folder()) +
               " leads from what it holds\n";
    std::string text = "Patches of " + quoted(image) + " that restore takes back, in its order (records in " +
                       quoted(history.folder()) + "):\n";
    bool choice = false;
    for (const HistoryStep& step : steps) {
        if (step.choice && !choice)
            text +=
                "Then restore asks which to take (restore --record RECORD), as these were made on other files "
                "and would write different bytes:\n";
        choice = choice || step.choice;
        text += "  " + localTimeText(step.time) + "  ";
        if (!step.damage.empty())
            text += "damaged, skipped: " + pathText(step.file.filename()) + ": " + step.damage;
        else
            text += pathText(step.file.filename()) + (step.interrupted ? " (interrupted; the next restore "
                                                                         "finishes it)"
                                                                       : "");
        if (step.damage.empty() && !step.madeOn.empty())
            text += "  made on " + quoted(std::filesystem::path(step.madeOn));
        text += '\n';
    }
    return text;
}

std::string restoreCommand(const std::filesystem::path& image) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(image, error);
    const std::string path = pathText(error ? image : absolute);  // a folder too deep to be named: as given
#ifdef _WIN32
    return "tolvane restore \"" + path + "\"";
#else
    if (printable(path) != path) {
        // Control bytes and bytes that are not UTF-8 as escapes that bash and zsh
        // read back ($'...'), so that they never reach the terminal as they are.
        return "tolvane restore $'" + printable(path, "'\\") + "'";
    }
    std::string quoted = "'";  // nothing is special inside single quotes but the quote itself
    for (char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return "tolvane restore " + quoted + "'";
#endif
}

}  // namespace tolvane
