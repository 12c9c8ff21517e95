// The thin layer between the byte formats and the operating system. Every call
// is checked, and a failure names the operation, the file and the system's reason.
#pragma once

#include "logo/bytes.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace tolvane {

class File {
public:
    static File openForReading(const std::filesystem::path& path);
    // An existing file, for reading and writing in place: never created, never truncated.
    static File openForUpdate(const std::filesystem::path& path);

    File(File&& other) noexcept;
    File& operator=(File&&) = delete;
    File(const File&) = delete;
    ~File();  // closes without a check; call close() where the outcome matters

    std::uint64_t size() const;
    // Reads up to out.size() bytes at offset; gives how many there were (fewer at the end).
    std::size_t readAt(std::uint64_t offset, std::span<Byte> out);
    void writeAt(std::uint64_t offset, std::span<const Byte> bytes);
    void flushToDisk();
    void close();

private:
    friend void replaceFile(const std::filesystem::path& target, std::span<const Byte> bytes);

    // The existing file's absolute path with links resolved, spelt as the system
    // spells it (on Windows, in the case the folder holds), so that two names of one
    // file give the same text.
    std::filesystem::path canonicalPath(const std::filesystem::path& path);

    // This user's folder for application data: XDG_DATA_HOME (when absolute) or
    // ~/.local/share on POSIX systems, %LOCALAPPDATA% on Windows. Fails when the
    // environment names none.
    std::filesystem::path userDataFolder();
    File(std::intptr_t handle, std::filesystem::path path) : handle_(handle), path_(std::move(path)) {}

    std::intptr_t handle_;
    std::filesystem::path path_;
};

// The whole file, refused when it is longer than maxSize (bitmaps, templates: small files).
std::vector<Byte> readSmallFile(const std::filesystem::path& path, std::size_t maxSize);

// Replaces the file at target by exactly these bytes: written to a new file in the
// same folder, flushed, then renamed over the target, so a failure leaves an
// existing target as it was.
void replaceFile(const std::filesystem::path& target, std::span<const Byte> bytes);

// The existing file's absolute path with links resolved, spelt as the system
// spells it (on Windows, in the case the folder holds), so that two names of one
// file give the same text.
std::filesystem::path canonicalPath(const std::filesystem::path& path);

// This user's folder for application data: XDG_DATA_HOME (when absolute) or
// ~/.local/share on POSIX systems, %LOCALAPPDATA% on Windows. Fails when the
// environment names none.
std::filesystem::path userDataFolder();

}  // namespace tolvane
