// The file layer's parts common to every system: injected faults and stops, small files.
#include "logo/files/file_io.h"

#include "logo/base/failure.h"

#include <algorithm>
#include <deque>

namespace tolvane {

namespace {

struct QueuedFault {
    FileOperation operation;
    detail::InjectedFault fault;
};

std::deque<QueuedFault>& faults() {
    static std::deque<QueuedFault> queue;
    return queue;
}

struct Stop {
    std::optional<std::size_t> step;  // counted from the changes seen so far
    std::size_t afterBytes = 0;
    std::size_t counted = 0;
};

Stop& stop() {
    static Stop state;
    return state;
}

// Counts a change; true when the program is to stop before it.
bool stopDue() {
    Stop& s = stop();
    const bool due = s.step && *s.step == s.counted;
    ++s.counted;
    if (due) s.step.reset();
    return due;
}

}  // namespace

void injectFileFault(FileOperation operation, int error, std::size_t afterBytes) {
    faults().push_back({operation, {afterBytes, error}});
}

void injectFileStop(std::size_t step, std::size_t afterBytes) { stop() = {step, afterBytes, 0}; }

std::size_t fileChangesCounted() { return stop().counted; }

void clearFileFaults() {
    faults().clear();
    stop() = {};
}

void detail::countChange() {
    if (stopDue()) throw FileStop{};
}

detail::PlannedWrite detail::planWrite(std::size_t length) {
    if (stopDue()) return {std::min(stop().afterBytes, length), true};
    if (const auto fault = takeFileFault(FileOperation::Write))
        return {std::min(fault->afterBytes, length), false, fault->error};
    return {length};
}

std::optional<detail::InjectedFault> detail::takeFileFault(FileOperation operation) {
    auto& queue = faults();
    if (queue.empty() || queue.front().operation != operation) return std::nullopt;
    const InjectedFault fault = queue.front().fault;
    queue.pop_front();
    // Error 0 lets this call through, so that the next fault reaches a later call of its kind.
    if (fault.error == 0 && operation != FileOperation::Nameless) return std::nullopt;
    return fault;
}

std::vector<std::filesystem::path> namesIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> names;
    forEachName(folder, [&names](std::string_view name) {
#ifdef _WIN32
        names.emplace_back(std::u8string(name.begin(), name.end()));  // UTF-8 from the system's UTF-16
#else
        names.emplace_back(std::string(name));  // the system's own bytes
#endif
    });
    return names;
}

bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code missing;
    return std::filesystem::equivalent(a, b, missing);
}

std::vector<Byte> readSmallFile(const std::filesystem::path& path, std::size_t maxSize) {
    File file = File::openForReading(path);
    const std::uint64_t size = file.size();
    if (size > maxSize)
        throw Failure(quoted(path) + " is too large: " + std::to_string(size) + " bytes, at most " +
                          std::to_string(maxSize) + " are expected",
                      Problem::NotSupported);
    std::vector<Byte> bytes(static_cast<std::size_t>(size));
    bytes.resize(file.readAt(0, bytes));
    file.close();
    return bytes;
}

}  // namespace tolvane
