#include "logo/disc_image_layout.h"

#include "logo/failure.h"
#include "logo/file_io.h"

#include <algorithm>
#include <string>

namespace tolvane {

namespace {

std::string tooShort(const std::filesystem::path& path, std::uint64_t size, std::size_t needed) {
    return quoted(path) + " is too short: " + std::to_string(size) + " bytes, the logo needs the first " +
           std::to_string(needed);
}

}  // namespace

ImagePrefix readImagePrefix(const std::filesystem::path& path, const ImageLayout& layout) {
    ImagePrefix prefix(layout);
    File file = File::openForReading(path);
    const std::size_t got = file.readAt(0, prefix.bytes());
    if (got < prefix.size()) throw Failure(tooShort(path, got, prefix.size()));
    file.close();
    return prefix;
}

ExtractedLogo extractLogo(const ImagePrefix& prefix) {
    ExtractedLogo result{};
    const auto bytes = prefix.bytes();
    for (std::size_t i = 0; i < kLogoSectors; ++i) {
        const auto from = bytes.begin() + static_cast<std::ptrdiff_t>(prefix.layout().payloadOffset(i));
        std::copy_n(from, kUserDataLength, result.payloads[i].begin());
        std::copy_n(from, kUserDataLength, result.logo.begin() + static_cast<std::ptrdiff_t>(i * kUserDataLength));
    }
    return result;
}

SectorPayloads insertLogo(const LogoImage& logo, ImagePrefix& prefix) {
    SectorPayloads payloads{};
    auto bytes = prefix.bytes();
    for (std::size_t i = 0; i < kLogoSectors; ++i) {
        std::copy_n(logo.begin() + static_cast<std::ptrdiff_t>(i * kUserDataLength), kUserDataLength,
                    payloads[i].begin());
        std::copy(payloads[i].begin(), payloads[i].end(),
                  bytes.begin() + static_cast<std::ptrdiff_t>(prefix.layout().payloadOffset(i)));
    }
    return payloads;
}

namespace {

File openUnchanged(const std::filesystem::path& path, const ImagePrefix& expectedOnDisk) {
    File file = File::openForUpdate(path);
    ImagePrefix onDisk(expectedOnDisk.layout());
    const std::size_t got = file.readAt(0, onDisk.bytes());
    if (got < onDisk.size()) throw Failure("Nothing was written: " + tooShort(path, got, onDisk.size()));
    if (!(onDisk == expectedOnDisk))
        throw Failure("Nothing was written: " + quoted(path) + " changed on disk since it was opened; open it again");
    return file;
}

}  // namespace

void verifyImagePrefix(const std::filesystem::path& path, const ImagePrefix& expectedOnDisk) {
    openUnchanged(path, expectedOnDisk).close();
}

void writeImagePrefix(const std::filesystem::path& path, const ImagePrefix& prefix, const ImagePrefix& expectedOnDisk) {
    File file = openUnchanged(path, expectedOnDisk);
    file.writeAt(0, prefix.bytes());
    file.flushToDisk();
    file.close();
}

}  // namespace tolvane
