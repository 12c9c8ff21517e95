// Runs of changed bytes.
#include "logo/patch/file_change.h"

#include <stdexcept>

namespace tolvane {

std::vector<ChangedRun> changedRuns(const FileChange& change, std::size_t longestGap) {
    const std::size_t length = change.before.size();
    if (change.after.size() != length || change.offset > change.fileSize || length > change.fileSize - change.offset)
        throw std::invalid_argument("a file change must keep its length and lie within the file");
    std::vector<ChangedRun> runs;
    for (std::size_t i = 0; i < length; ++i) {
        if (change.before[i] == change.after[i]) continue;
        if (!runs.empty() && i - runs.back().end <= longestGap)
            runs.back().end = i + 1;
        else
            runs.push_back({i, i + 1});
    }
    return runs;
}

}  // namespace tolvane
