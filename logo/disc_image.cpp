#include "logo/disc_image.h"

#include "logo/failure.h"
#include "logo/iso9660.h"

#include <exception>
#include <string>

namespace tolvane {

namespace {

constexpr std::uint32_t kMaxSystemCnfLength = 8 * 1024;  // a few lines of text

// User data of consecutive sectors under a layout; nothing when the file ends first.
std::optional<std::vector<Byte>> readUserData(File& file, const ImageLayout& layout, std::uint64_t sector,
                                              std::uint32_t length) {
    std::vector<Byte> data(length);
    for (std::uint32_t done = 0; done < length;) {
        const std::uint32_t piece = std::min<std::uint32_t>(length - done, kUserDataLength);
        const std::uint64_t at = (sector + done / kUserDataLength) * layout.sectorSize + layout.userDataOffset;
        if (file.readAt(at, std::span<Byte>(data).subspan(done, piece)) != piece) return std::nullopt;
        done += piece;
    }
    return data;
}

const ImageLayout& detectLayout(File& file) {
    for (const ImageLayout* layout : kImageLayouts) {
        const auto start = readUserData(file, *layout, kVolumeDescriptorSector, 6);
        if (start && startsVolumeDescriptor(*start)) return *layout;
    }
    return *kImageLayouts.front();
}

DiscIdentity readIdentity(File& file, const ImageLayout& layout) {
    try {
        const RootFile systemCnf = readRootFile(
            [&](std::uint64_t sector, std::uint32_t length) { return readUserData(file, layout, sector, length); },
            "SYSTEM.CNF", kMaxSystemCnfLength);
        if (!systemCnf.missingBecause.empty()) return unknownIdentity(systemCnf.missingBecause);
        return parseSystemCnf(std::string(systemCnf.contents.begin(), systemCnf.contents.end()));
    } catch (const std::exception& failure) {
        return unknownIdentity(failure.what());
    }
}

std::string tooShort(const std::filesystem::path& path, std::uint64_t size, std::size_t needed) {
    return quoted(path) + " is too short: " + std::to_string(size) + " bytes, the logo needs the first " +
           std::to_string(needed);
}

}  // namespace

DiscImage::DiscImage(File file, std::filesystem::path path, std::uint64_t size, const ImageLayout& layout)
    : file_(std::move(file)), path_(std::move(path)), size_(size), prefix_(layout) {}

DiscImage DiscImage::open(const std::filesystem::path& path, ImageAccess access) {
    File file = access == ImageAccess::Update ? File::openForUpdate(path) : File::openForReading(path);
    const std::uint64_t size = file.size();
    const ImageLayout& layout = detectLayout(file);
    DiscImage image(std::move(file), path, size, layout);
    const std::size_t got = image.file_.readAt(0, image.prefix_.bytes());
    if (got < image.prefix_.size())
        throw Failure((access == ImageAccess::Update ? "Nothing was written: " : "") +
                      tooShort(path, got, image.prefix_.size()));
    image.identity_ = readIdentity(image.file_, layout);
    return image;
}

void DiscImage::checkUnchanged(const ImagePrefix& expectedOnDisk) const {
    if (!(prefix_ == expectedOnDisk))
        throw Failure("Nothing was written: " + quoted(path_) + " changed on disk since it was opened; open it again");
}

void DiscImage::writePrefix(const ImagePrefix& prefix, const ImagePrefix& expectedOnDisk) {
    checkUnchanged(expectedOnDisk);
    file_.writeAt(0, prefix.bytes());
    file_.flushToDisk();
    prefix_ = prefix;
}

void DiscImage::close() { file_.close(); }

}  // namespace tolvane
