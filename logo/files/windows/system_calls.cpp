// The system's own calls on Windows.
#include "system_calls.h"
#include "windows_parts.h"

#include <algorithm>

namespace tolvane::files {

namespace {

// Windows' own codes: the layer words them (windows_parts.h).
std::error_code lastError() { return {static_cast<int>(GetLastError()), std::system_category()}; }
HANDLE handleOf(Handle value) { return reinterpret_cast<HANDLE>(value); }

OVERLAPPED at(std::uint64_t offset) {
    OVERLAPPED place{};
    place.Offset = static_cast<DWORD>(offset);
    place.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return place;
}

std::error_code openFile(const std::filesystem::path& path, bool forUpdate, Handle& handle) {
    const HANDLE opened =
        CreateFileW(path.c_str(), GENERIC_READ | (forUpdate ? GENERIC_WRITE : 0), FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return lastError();
    handle = reinterpret_cast<Handle>(opened);
    return {};
}

std::error_code readFile(Handle file, std::uint64_t offset, std::span<Byte> out, std::size_t& got) {
    got = 0;
    while (got < out.size()) {
        OVERLAPPED place = at(offset + got);
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(out.size() - got, 1u << 30));
        DWORD read = 0;
        if (!ReadFile(handleOf(file), out.data() + got, want, &read, &place)) {
            const DWORD error = GetLastError();
            if (error == ERROR_HANDLE_EOF) break;
            return {static_cast<int>(error), std::system_category()};
        }
        if (read == 0) break;
        got += read;
    }
    return {};
}

std::error_code writeFile(Handle file, std::uint64_t offset, FilePieces pieces) {
    for (const auto piece : pieces) {
        std::size_t done = 0;
        while (done < piece.size()) {
            OVERLAPPED place = at(offset + done);
            const DWORD want = static_cast<DWORD>(std::min<std::size_t>(piece.size() - done, 1u << 30));
            DWORD wrote = 0;
            if (!WriteFile(handleOf(file), piece.data() + done, want, &wrote, &place)) return lastError();
            if (wrote == 0) return {ERROR_WRITE_FAULT, std::system_category()};
            done += wrote;
        }
        offset += piece.size();
    }
    return {};
}

std::error_code flushFile(Handle file) { return FlushFileBuffers(handleOf(file)) ? std::error_code() : lastError(); }

// Writing over the start of an existing file does not grow it; NTFS has no
// holes in files other programs made, unless they were made sparse.
std::error_code reserveFile(Handle, std::uint64_t) { return {}; }

std::error_code truncateFile(Handle file, std::uint64_t length) {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
    return SetFileInformationByHandle(handleOf(file), FileEndOfFileInfo, &end, sizeof end) ? std::error_code()
                                                                                           : lastError();
}

std::error_code closeFile(Handle file) { return CloseHandle(handleOf(file)) ? std::error_code() : lastError(); }

std::error_code makeFolders(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    return error;
}

std::error_code moveFile(const std::filesystem::path& from, const std::filesystem::path& to, unsigned long flags) {
    return MoveFileExW(from.c_str(), to.c_str(), flags) ? std::error_code() : lastError();
}

std::error_code removeFile(const std::filesystem::path& path) {
    return DeleteFileW(path.c_str()) ? std::error_code() : lastError();
}

constinit SystemCalls calls{
    .open = openFile,
    .read = readFile,
    .write = writeFile,
    .flush = flushFile,
    .reserve = reserveFile,
    .truncate = truncateFile,
    .close = closeFile,
    .makeFolders = makeFolders,
    .move = moveFile,
    .remove = removeFile,
};

}  // namespace

SystemCalls& systemCalls() { return calls; }

}  // namespace tolvane::files
