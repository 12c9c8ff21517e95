// The file layer's parts common to every system: a folder's names, one file
// under two names, small files read whole.
#include "logo/files/file_io.h"

#include "logo/base/failure.h"

namespace tolvane {

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
