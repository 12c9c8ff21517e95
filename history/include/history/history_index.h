// What a patch needs to know of the history's folder without reading it: how
// many records there are, and when the oldest and the newest were made. Kept in
// a small file beside the records, under a lock that patches and restores take
// while they change the folder. Only ever a summary of the folder: where the
// file is missing or damaged, where a command that changed the folder did not
// get to say it was done, or after a day, the folder is read whole again.
#pragma once

#include "logo/files/file_io.h"

#include <cstdint>
#include <filesystem>
#include <optional>

namespace tolvane {

// The index's name in the history's folder.
inline constexpr const char* kHistoryIndexName = "history.tolvane-index";

struct HistorySummary {
    std::uint32_t records = 0;  // records and older backups, of every disc
    std::int64_t oldest = 0;    // when the oldest and the newest were made:
    std::int64_t newest = 0;    // nanoseconds since 1970, UTC (0: there are none)
    std::int64_t read = 0;      // when the folder was last read whole
};

class HistoryIndex {
public:
    // The folder's index, made where there is none, locked for this command;
    // nothing when another command still holds it after a while (this one then
    // reads the folder whole and leaves the index alone).
    static std::optional<HistoryIndex> lock(const std::filesystem::path& folder);

    // The summary, where it can be trusted: whole, written by a command that
    // finished, and from a reading of the whole folder less than a day old.
    std::optional<HistorySummary> summary();
    // Says that the folder is changing (the summary stays as it was, but is not
    // trusted until `finish`).
    void begin();
    // The summary of the folder as this command leaves it.
    void finish(const HistorySummary& summary);

private:
    HistoryIndex(File file, std::filesystem::path path) : file_(std::move(file)), path_(std::move(path)) {}
    void write(const HistorySummary& summary, bool changing);

    File file_;
    std::filesystem::path path_;
    bool looked_ = false;
    std::optional<HistorySummary> held_;  // what the file holds, trusted or not
};

}  // namespace tolvane
