// The rescue copy of an image's first bytes.
#include "logo/disc/rescue_copy.h"

#include "logo/base/failure.h"
#include "logo/base/time_text.h"
#include "logo/files/file_io.h"

#include <exception>
#include <span>

namespace tolvane {

std::string bytesDescription(std::uint64_t start, std::size_t length) {
    if (start == 0) return "first " + std::to_string(length) + " bytes";
    return std::to_string(length) + " bytes from byte " + std::to_string(start) + " on";
}

std::string saveAsTheyWere(const std::filesystem::path& image, std::uint64_t start, const ImagePrefix& asRead,
                           const std::vector<std::filesystem::path>& folders) {
    std::filesystem::path name = image.filename();
    name += ".before-patch-" + timeText(nanosecondsNow() / 1'000'000'000, "%Y%m%d-%H%M%S") + ".bin";
    std::string firstReason;
    for (const std::filesystem::path& given : folders) {
        try {
            const auto folder = given.empty() ? std::filesystem::path(".") : given;
            makeFolders(folder);
            const auto rescue = folder / name;
            const std::span<const Byte> pieces[] = {asRead.bytes()};
            createFile(rescue, pieces, Flushed);
            return "its " + bytesDescription(start, asRead.size()) + " as they were are saved in " + quoted(rescue) +
                   (start == 0
                        ? ": copy them over the start of the image to repair it"
                        : ": copy them over the image's bytes from byte " + std::to_string(start) + " on to repair it");
        } catch (const std::exception& failure) {
            if (firstReason.empty()) firstReason = failure.what();
        }
    }
    return "its " + bytesDescription(start, asRead.size()) + " as they were could not be saved either (" + firstReason +
           ")";
}

}  // namespace tolvane
