// The wrappers of the file layer's system calls that fail or stop them.
#include "support/file_faults.h"

#include "system_calls.h"

#include <algorithm>
#include <cerrno>
#include <deque>
#include <optional>
#include <vector>

namespace tolvane {

namespace {

using files::Handle;
using files::SystemCalls;

struct Fault {
    FileOperation operation;
    std::size_t afterBytes;
    int error;
};
std::deque<Fault> faults;

struct Stop {
    std::optional<std::size_t> step;  // counted from the changes seen so far
    std::size_t afterBytes = 0;
    std::size_t counted = 0;
};
Stop stop;

// The system's own calls, which the wrappers make.
SystemCalls real;

std::error_code errnoError(int error) { return {error, std::generic_category()}; }

// The fault queued for this operation, if it is the next one.
std::optional<Fault> take(FileOperation operation) {
    if (faults.empty() || faults.front().operation != operation) return std::nullopt;
    const Fault fault = faults.front();
    faults.pop_front();
    // Error 0 lets this call through, so that the next fault reaches a later call of its kind.
    if (fault.error == 0 && operation != FileOperation::Nameless) return std::nullopt;
    return fault;
}

// Counts a change; true when the program is to stop before it.
bool stopDue() {
    const bool due = stop.step && *stop.step == stop.counted;
    ++stop.counted;
    if (due) stop.step.reset();
    return due;
}

void countChange() {
    if (stopDue()) throw FileStop{};
}

// A system call, then the fault queued for it, if any, in place of its outcome.
std::error_code thenFault(std::error_code outcome, FileOperation operation) {
    if (const auto fault = take(operation)) return errnoError(fault->error);
    return outcome;
}

std::error_code open(const std::filesystem::path& path, bool forUpdate, Handle& handle) {
    const std::error_code error = real.open(path, forUpdate, handle);
    if (error || !forUpdate) return error;
    if (const auto fault = take(FileOperation::Open)) {
        real.close(handle);
        return errnoError(fault->error);
    }
    return {};
}

std::error_code read(Handle file, std::uint64_t offset, std::span<Byte> out, std::size_t& got) {
    if (const auto fault = take(FileOperation::Read)) return errnoError(fault->error);
    return real.read(file, offset, out, got);
}

// A stop or a fault lets only the bytes planned through.
std::error_code write(Handle file, std::uint64_t offset, FilePieces pieces) {
    std::size_t total = 0;
    for (const auto piece : pieces) total += piece.size();
    std::size_t through = total;
    bool stops = false;
    int error = 0;
    if (stopDue()) {
        through = std::min(stop.afterBytes, total);
        stops = true;
    } else if (const auto fault = take(FileOperation::Write)) {
        through = std::min(fault->afterBytes, total);
        error = fault->error;
    }
    std::vector<std::span<const Byte>> cut;
    for (const auto piece : pieces) {
        cut.push_back(piece.first(std::min(piece.size(), through)));
        through -= cut.back().size();
    }
    if (const std::error_code failed = real.write(file, offset, cut)) return failed;
    if (stops) throw FileStop{};
    return error ? errnoError(error) : std::error_code();
}

std::error_code flush(Handle file) {
    countChange();
    return thenFault(real.flush(file), FileOperation::Flush);
}

std::error_code reserve(Handle file, std::uint64_t length) {
    return thenFault(real.reserve(file, length), FileOperation::Reserve);
}

std::error_code truncate(Handle file, std::uint64_t length) {
    countChange();
    return thenFault(real.truncate(file, length), FileOperation::Truncate);
}

std::error_code close(Handle file) { return thenFault(real.close(file), FileOperation::Close); }

std::error_code makeFolders(const std::filesystem::path& folder) {
    countChange();
    return real.makeFolders(folder);
}

#ifdef _WIN32
std::error_code move(const std::filesystem::path& from, const std::filesystem::path& to, unsigned long flags) {
    countChange();
    return real.move(from, to, flags);
}

std::error_code remove(const std::filesystem::path& path) {
    countChange();
    return real.remove(path);
}
#else
std::error_code flushFolder(const std::filesystem::path& folder) {
    return thenFault(real.flushFolder(folder), FileOperation::FolderFlush);
}

std::error_code flock(Handle file, int operation) {
    return thenFault(real.flock(file, operation), FileOperation::Lock);
}

std::error_code setPermissions(Handle file, unsigned mode) {
    return thenFault(real.setPermissions(file, mode), FileOperation::Permissions);
}

std::error_code setOwner(Handle file, unsigned owner, unsigned group) {
    return thenFault(real.setOwner(file, owner, group), FileOperation::Permissions);
}

std::error_code openNameless(const std::filesystem::path& folder, Handle& handle) {
    if (take(FileOperation::Nameless)) return errnoError(EOPNOTSUPP);
    return real.openNameless(folder, handle);
}

std::error_code link(const std::filesystem::path& from, const std::filesystem::path& to) {
    countChange();
    return real.link(from, to);
}

std::error_code rename(const std::filesystem::path& from, const std::filesystem::path& to) {
    countChange();
    return real.rename(from, to);
}

std::error_code unlink(const std::filesystem::path& path) {
    countChange();
    return real.unlink(path);
}
#endif

// In place from the start of the test program.
[[maybe_unused]] const bool kWrapped = [] {
    real = files::systemCalls();
    files::systemCalls() = SystemCalls{
        .open = open,
        .read = read,
        .write = write,
        .flush = flush,
        .reserve = reserve,
        .truncate = truncate,
        .close = close,
        .makeFolders = makeFolders,
#ifdef _WIN32
        .move = move,
        .remove = remove,
#else
        .flushFolder = flushFolder,
        .flock = flock,
        .setPermissions = setPermissions,
        .setOwner = setOwner,
        .openNameless = openNameless,
        .link = link,
        .rename = rename,
        .unlink = unlink,
#endif
    };
    return true;
}();

}  // namespace

void injectFileFault(FileOperation operation, int error, std::size_t afterBytes) {
    faults.push_back({operation, afterBytes, error});
}

void injectFileStop(std::size_t step, std::size_t afterBytes) { stop = {step, afterBytes, 0}; }

std::size_t fileChangesCounted() { return stop.counted; }

void clearFileFaults() {
    faults.clear();
    stop = {};
}

}  // namespace tolvane
