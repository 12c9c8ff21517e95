#include "logo/file_io.h"

#include "logo/failure.h"

namespace tolvane {

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
