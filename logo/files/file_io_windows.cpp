// Windows side of the file layer: wide-character paths, so names in any
// language open, and the same wording of the common failures as elsewhere.
#include "logo/base/failure.h"
#include "logo/files/file_io.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <cwchar>
#include <string>

namespace tolvane {

namespace {

// The common errors as the C library's codes, so that they read and compare as
// on other systems; the rest as Windows' own.
std::error_code systemError(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME: return {ENOENT, std::generic_category()};
        case ERROR_ACCESS_DENIED: return {EACCES, std::generic_category()};
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return {ENOSPC, std::generic_category()};
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return {EEXIST, std::generic_category()};
        default: return {static_cast<int>(error), std::system_category()};
    }
}

[[noreturn]] void fail(const std::string& what, const std::filesystem::path& path, DWORD error,
                       const std::string& purpose = "") {
    throw Failure(what, path, systemError(error), purpose);
}

// An injected fault's errno value.
[[noreturn]] void failWith(const std::string& what, const std::filesystem::path& path, int error,
                           const std::string& purpose = "") {
    throw Failure(what, path, std::error_code(error, std::generic_category()), purpose);
}

HANDLE handleOf(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }

bool isFolder(const std::filesystem::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Only files on a disk: a folder, a pipe or a device (NUL, COM1) is refused.
std::intptr_t openHandle(const std::filesystem::path& path, DWORD access, DWORD disposition, const char* purpose) {
    if (isFolder(path)) failWith("Cannot open", path, EISDIR, purpose);
    const HANDLE handle = CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) fail("Cannot open", path, GetLastError(), purpose);
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        throw Failure("Cannot open " + quoted(path) + purpose + ": it is not a regular file", Problem::NotSupported);
    }
    return reinterpret_cast<std::intptr_t>(handle);
}

constexpr const wchar_t* kTempPrefix = L".tolvane-export-";
constexpr const wchar_t* kTempSuffix = L".tmp";

// Temporary files of exports whose process has died before it could rename or
// remove them.
void removeDeadTemporaries(const std::filesystem::path& folder) {
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((folder / (std::wstring(kTempPrefix) + L"*" + kTempSuffix)).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        wchar_t* end = nullptr;
        const DWORD pid = wcstoul(found.cFileName + wcslen(kTempPrefix), &end, 10);
        if (pid == 0 || !end || *end != L'-') continue;  // not a name this program gives
        // Only this machine's processes can be asked, and the folder may be shared:
        // a file that young may be a live export elsewhere.
        FILETIME now{};
        GetSystemTimeAsFileTime(&now);
        const auto ticks = [](FILETIME t) { return (std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime; };
        if (ticks(now) - ticks(found.ftLastWriteTime) < 10ull * 60 * 10'000'000) continue;  // 100 ns ticks
        const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
        if (process) {
            CloseHandle(process);
        } else if (GetLastError() == ERROR_INVALID_PARAMETER) {  // no such process
            DeleteFileW((folder / found.cFileName).c_str());
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

OVERLAPPED at(std::uint64_t offset) {
    OVERLAPPED place{};
    place.Offset = static_cast<DWORD>(offset);
    place.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return place;
}

}  // namespace

File File::openForReading(const std::filesystem::path& path) {
    return File(openHandle(path, GENERIC_READ, OPEN_EXISTING, " for reading"), path);
}

File File::openForUpdate(const std::filesystem::path& path) {
    File file(openHandle(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, " for writing"), path);
    if (const auto fault = detail::takeFileFault(FileOperation::Open))
        failWith("Cannot open", path, fault->error, " for writing");
    return file;
}

File File::openOrCreate(const std::filesystem::path& path) {
    detail::countChange();
    return File(openHandle(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, " for writing"), path);
}

File::File(File&& other) noexcept : handle_(other.handle_), path_(std::move(other.path_)) { other.handle_ = -1; }

File::~File() {
    if (handle_ != -1) CloseHandle(handleOf(handle_));
}

std::uint64_t File::size() const {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handleOf(handle_), &size)) fail("Cannot read the size of", path_, GetLastError());
    return static_cast<std::uint64_t>(size.QuadPart);
}

std::size_t File::readAt(std::uint64_t offset, std::span<Byte> out) {
    if (const auto fault = detail::takeFileFault(FileOperation::Read)) failWith("Cannot read", path_, fault->error);
    std::size_t done = 0;
    while (done < out.size()) {
        OVERLAPPED place = at(offset + done);
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(out.size() - done, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(handleOf(handle_), out.data() + done, want, &got, &place)) {
            const DWORD error = GetLastError();
            if (error == ERROR_HANDLE_EOF) break;
            fail("Cannot read", path_, error);
        }
        if (got == 0) break;
        done += got;
    }
    return done;
}

void File::writeAt(std::uint64_t offset, std::span<const Byte> bytes) {
    const detail::PlannedWrite plan = detail::planWrite(bytes.size());
    std::size_t done = 0;
    while (done < plan.through) {
        OVERLAPPED place = at(offset + done);
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(plan.through - done, 1u << 30));
        DWORD wrote = 0;
        if (!WriteFile(handleOf(handle_), bytes.data() + done, want, &wrote, &place))
            fail("Cannot write", path_, GetLastError());
        if (wrote == 0) fail("Cannot write", path_, ERROR_WRITE_FAULT);
        done += wrote;
    }
    if (plan.stop) throw FileStop{};
    if (plan.error) failWith("Cannot write", path_, plan.error);
}

void File::writeAt(std::uint64_t offset, FilePieces pieces) {
    std::size_t total = 0;
    for (const auto piece : pieces) total += piece.size();
    const detail::PlannedWrite plan = detail::planWrite(total);
    std::size_t through = plan.through;
    for (const auto piece : pieces) {
        const auto part = piece.first(std::min(piece.size(), through));
        std::size_t done = 0;
        while (done < part.size()) {
            OVERLAPPED place = at(offset + done);
            const DWORD want = static_cast<DWORD>(std::min<std::size_t>(part.size() - done, 1u << 30));
            DWORD wrote = 0;
            if (!WriteFile(handleOf(handle_), part.data() + done, want, &wrote, &place))
                fail("Cannot write", path_, GetLastError());
            if (wrote == 0) fail("Cannot write", path_, ERROR_WRITE_FAULT);
            done += wrote;
        }
        offset += piece.size();
        through -= part.size();
    }
    if (plan.stop) throw FileStop{};
    if (plan.error) failWith("Cannot write", path_, plan.error);
}

void File::flushToDisk() {
    detail::countChange();
    const DWORD error = FlushFileBuffers(handleOf(handle_)) ? 0 : GetLastError();
    if (const auto fault = detail::takeFileFault(FileOperation::Flush))
        failWith("Cannot flush to disk", path_, fault->error);
    if (error) fail("Cannot flush to disk", path_, error);
}

std::uint64_t File::identity() const {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handleOf(handle_), &info))
        fail("Cannot read the identity of", path_, GetLastError());
    const std::uint64_t index = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    return std::uint64_t{info.dwVolumeSerialNumber} * 0x9E3779B97F4A7C15u ^ index;
}

namespace {

// Windows locks are mandatory: a lock on the image's bytes would stop every
// reader that takes none. Writers lock one byte far past any image's end
// instead, exclusively, and locking readers share it: that excludes writers
// from each other and from those readers, and no one else.
bool lockFarByte(HANDLE handle, const std::filesystem::path& path, bool exclusive, std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        OVERLAPPED farByte{};
        farByte.OffsetHigh = 0x7FFFFFFF;
        if (LockFileEx(handle, (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0) | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                       &farByte))
            return true;
        const DWORD error = GetLastError();
        if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) fail("Cannot lock", path, error);
        if (std::chrono::steady_clock::now() >= deadline) return false;
        Sleep(20);
    }
}

}  // namespace

bool File::lockForWriting(std::chrono::milliseconds wait) { return lockFarByte(handleOf(handle_), path_, true, wait); }

bool File::lockForReading(std::chrono::milliseconds wait) { return lockFarByte(handleOf(handle_), path_, false, wait); }

void File::reserve(std::uint64_t) {
    // Writing over the start of an existing file does not grow it; NTFS has no
    // holes in files other programs made, unless they were made sparse.
    if (const auto fault = detail::takeFileFault(FileOperation::Reserve))
        failWith("Cannot reserve disk space for", path_, fault->error);
}

void File::close() {
    const HANDLE handle = handleOf(handle_);
    handle_ = -1;
    if (handle == INVALID_HANDLE_VALUE) return;
    const DWORD error = CloseHandle(handle) ? 0 : GetLastError();
    if (const auto fault = detail::takeFileFault(FileOperation::Close)) failWith("Cannot close", path_, fault->error);
    if (error) fail("Cannot close", path_, error);
}

File adoptHandle(std::intptr_t handle, std::filesystem::path path) { return File(handle, std::move(path)); }

std::intptr_t nativeHandle(const File& file) { return file.handle_; }

namespace {

// Writes the pieces to a new file in the folder under a temporary name this
// program gives, and gives its path, for a move into place. Nothing is left when
// that fails.
std::filesystem::path writeTemporary(const std::filesystem::path& folder, const std::filesystem::path& chosen,
                                     FilePieces pieces, Durability durability) {
    static std::atomic<unsigned> counter{0};
    std::filesystem::path temp;
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (int attempt = 0; handle == INVALID_HANDLE_VALUE; ++attempt) {
        temp = folder /
               (kTempPrefix + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++) + kTempSuffix);
        handle = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        const DWORD error = handle == INVALID_HANDLE_VALUE ? GetLastError() : 0;
        if (handle == INVALID_HANDLE_VALUE && (error != ERROR_FILE_EXISTS || attempt > 100))
            fail("Cannot write", chosen, error, " (a new file in its folder)");
    }
    File file = adoptHandle(reinterpret_cast<std::intptr_t>(handle), chosen);  // messages name the chosen file
    try {
        file.writeAt(0, pieces);
        if (durability == Flushed) file.flushToDisk();
        file.close();
    } catch (...) {
        try {
            file.close();  // so that it can be removed
        } catch (const Failure&) {
        }
        DeleteFileW(temp.c_str());
        throw;
    }
    return temp;
}

}  // namespace

void replaceFile(const std::filesystem::path& chosen, FilePieces pieces, Durability durability) {
    // A symbolic link is written through: the file it names is replaced, the link stays.
    std::filesystem::path target = chosen;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code error;
        if (!std::filesystem::is_symlink(target, error)) break;
        const auto next = std::filesystem::read_symlink(target, error);
        if (error) break;
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    if (isFolder(target)) failWith("Cannot write", chosen, EISDIR);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        std::error_code ignored;
        if (!std::filesystem::is_regular_file(target, ignored))
            throw Failure("Cannot write " + quoted(chosen) + ": it is not a regular file", Problem::NotSupported);
        if (attributes & FILE_ATTRIBUTE_READONLY) fail("Cannot write", chosen, ERROR_ACCESS_DENIED);
    }

    const auto folder = target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path();
    removeDeadTemporaries(folder);
    const auto temp = writeTemporary(folder, chosen, pieces, durability);
    try {
        // The new file keeps what the old one was marked as (hidden, not indexed...).
        constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & kKept))
            SetFileAttributesW(temp.c_str(), (attributes & kKept) | FILE_ATTRIBUTE_ARCHIVE);
        detail::countChange();
        if (!MoveFileExW(temp.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | (durability == Flushed ? MOVEFILE_WRITE_THROUGH : 0)))
            fail("Cannot replace", chosen, GetLastError());
    } catch (...) {
        DeleteFileW(temp.c_str());
        throw;
    }
}

void createFile(const std::filesystem::path& path, FilePieces pieces, Durability durability) {
    const auto folder = path.parent_path().empty() ? std::filesystem::path(".") : path.parent_path();
    removeDeadTemporaries(folder);
    const auto temp = writeTemporary(folder, path, pieces, durability);
    detail::countChange();
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the name is taken.
    if (!MoveFileExW(temp.c_str(), path.c_str(), durability == Flushed ? MOVEFILE_WRITE_THROUGH : 0)) {
        const DWORD error = GetLastError();
        DeleteFileW(temp.c_str());
        fail("Cannot write", path, error);
    }
}

void forEachName(const std::filesystem::path& folder, const std::function<void(std::string_view)>& each) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder / L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return;
        fail("Cannot read the folder", folder, error);
    }
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") each(pathText(std::filesystem::path(name)));
    } while (FindNextFileW(search, &found));
    const DWORD error = GetLastError();
    FindClose(search);
    if (error != ERROR_NO_MORE_FILES) fail("Cannot read the folder", folder, error);
}

void renameFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    detail::countChange();
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) fail("Cannot rename", from, GetLastError());
}

bool removeFile(const std::filesystem::path& path) {
    detail::countChange();
    if (DeleteFileW(path.c_str())) return true;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return false;
    fail("Cannot remove", path, error);
}

void makeFolders(const std::filesystem::path& folder) {
    if (isFolder(folder)) return;
    detail::countChange();
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) throw Failure("Cannot create the folder", folder, error);
}

void checkRoomFor(const std::filesystem::path& folder, std::uint64_t bytes) {
    std::filesystem::path existing = folder.empty() ? std::filesystem::path(".") : folder;
    while (!isFolder(existing)) {
        const DWORD attributes = GetFileAttributesW(existing.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) fail("Cannot create a file in", folder, ERROR_DIRECTORY);
        if (existing == existing.parent_path() || existing.parent_path().empty())
            fail("Cannot create a file in", folder, ERROR_PATH_NOT_FOUND);
        existing = existing.parent_path();
    }
    ULARGE_INTEGER available{};
    if (GetDiskFreeSpaceExW(existing.c_str(), &available, nullptr, nullptr) && available.QuadPart < bytes)
        fail("Cannot create a file in", folder, ERROR_DISK_FULL);
}

std::filesystem::path programFolder() {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, name.data(), DWORD(name.size()));
        if (length == 0) return {};
        if (length < name.size()) {
            name.resize(length);
            return std::filesystem::path(name).parent_path();
        }
        name.resize(name.size() * 2);
    }
}

std::filesystem::path canonicalPath(const std::filesystem::path& path) {
    // Backup semantics: a folder opens too; no access asked, so any file does.
    const HANDLE handle = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) fail("Cannot find", path, GetLastError());
    std::wstring name(MAX_PATH, L'\0');
    DWORD length =
        GetFinalPathNameByHandleW(handle, name.data(), static_cast<DWORD>(name.size()), FILE_NAME_NORMALIZED);
    if (length >= name.size()) {
        name.resize(length);
        length = GetFinalPathNameByHandleW(handle, name.data(), static_cast<DWORD>(name.size()), FILE_NAME_NORMALIZED);
    }
    const DWORD error = GetLastError();
    CloseHandle(handle);
    if (length == 0 || length >= name.size()) fail("Cannot find", path, error);
    name.resize(length);
    // The system gives \\?\C:\... or \\?\UNC\server\...: the names people type.
    if (name.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + name.substr(8);
    if (name.rfind(L"\\\\?\\", 0) == 0) return name.substr(4);
    return name;
}

}  // namespace tolvane
