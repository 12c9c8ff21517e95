// The history folder's index: its file format and its lock.
#include "history/history_index.h"

#include "history/patch_record.h"
#include "logo/base/failure.h"
#include "logo/base/time_text.h"

#include <array>
#include <chrono>

namespace tolvane {

namespace {

// The file: magic, format version, whether a command is changing the folder,
// the number of records, a word of zeros, the oldest's and the newest's times,
// when the folder was read whole, and the bytesChecksum of all that.
constexpr std::array<Byte, 8> kMagic{'T', 'L', 'V', 'I', 'N', 'D', 'X', '\n'};
constexpr std::uint32_t kFormat = 1;
constexpr std::size_t kChecked = 48, kLength = kChecked + 8;

// Long enough for any patch or restore to finish, short enough that a command
// that hangs holds no other up for long.
constexpr std::chrono::seconds kLockWait{2};

constexpr std::int64_t kTrustedFor = std::chrono::nanoseconds(std::chrono::hours(24)).count();

}  // namespace

std::optional<HistoryIndex> HistoryIndex::lock(const std::filesystem::path& folder) {
    try {
        File file = File::openOrCreate(folder / kHistoryIndexName);
        if (!file.lockForWriting(kLockWait)) return std::nullopt;
        return HistoryIndex(std::move(file), folder / kHistoryIndexName);
    } catch (const Failure&) {  // an index that cannot be used: the folder is read whole
        return std::nullopt;
    }
}

std::optional<HistorySummary> HistoryIndex::summary() {
    std::array<Byte, kLength> bytes{};
    looked_ = true;
    try {
        if (file_.readAt(0, bytes) != kLength) return std::nullopt;
    } catch (const Failure&) {
        return std::nullopt;
    }
    const std::span<const Byte> all(bytes);
    if (!std::equal(kMagic.begin(), kMagic.end(), bytes.begin()) || readLe32(all, 8) != kFormat ||
        readLe32(all, kChecked) != bytesChecksum(all.first(kChecked)))
        return std::nullopt;
    held_ = HistorySummary{readLe32(all, 16), static_cast<std::int64_t>(readLe64(all, 24)),
                           static_cast<std::int64_t>(readLe64(all, 32)), static_cast<std::int64_t>(readLe64(all, 40))};
    const std::int64_t now = nanosecondsNow();
    if (readLe32(all, 12) != 0 || held_->read > now || now - held_->read >= kTrustedFor) return std::nullopt;
    return held_;
}

void HistoryIndex::begin() {
    if (!looked_) summary();
    try {
        write(held_.value_or(HistorySummary{}), true);
    } catch (const Failure&) {
        // An index that cannot say the folder changes must not be trusted later.
        try {
            removeFile(path_);
        } catch (const Failure&) {
        }
    }
}

void HistoryIndex::finish(const HistorySummary& summary) {
    try {
        write(summary, false);
    } catch (const Failure&) {  // it still says the folder is changing: the next patch reads it whole
    }
}

void HistoryIndex::write(const HistorySummary& summary, bool changing) {
    std::array<Byte, kLength> bytes{};
    std::copy(kMagic.begin(), kMagic.end(), bytes.begin());
    writeLe32(bytes, 8, kFormat);
    writeLe32(bytes, 12, changing ? 1 : 0);
    writeLe32(bytes, 16, summary.records);
    writeLe64(bytes, 24, static_cast<std::uint64_t>(summary.oldest));
    writeLe64(bytes, 32, static_cast<std::uint64_t>(summary.newest));
    writeLe64(bytes, 40, static_cast<std::uint64_t>(summary.read));
    writeLe32(bytes, kChecked, bytesChecksum(std::span<const Byte>(bytes).first(kChecked)));
    file_.writeAt(0, bytes);
}

}  // namespace tolvane
