#include "logo/file_io.h"

#include "logo/failure.h"

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

}  // namespace

void injectFileFault(FileOperation operation, int error, std::size_t afterBytes) {
    faults().push_back({operation, {afterBytes, error}});
}

void clearFileFaults() { faults().clear(); }

std::optional<detail::InjectedFault> detail::takeFileFault(FileOperation operation) {
    auto& queue = faults();
    if (queue.empty() || queue.front().operation != operation) return std::nullopt;
    const InjectedFault fault = queue.front().fault;
    queue.pop_front();
    return fault;
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
                      std::to_string(maxSize) + " are expected");
    std::vector<Byte> bytes(static_cast<std::size_t>(size));
    bytes.resize(file.readAt(0, bytes));
    file.close();
    return bytes;
}

}  // namespace tolvane
