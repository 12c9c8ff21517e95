// Picture files, BMP or PNG, read and written whole.
#include "logo/picture/picture_file.h"

#include "logo/base/ascii_text.h"
#include "logo/base/failure.h"
#include "logo/files/file_io.h"
#include "logo/picture/png_exchange.h"

#include <algorithm>
#include <array>

namespace tolvane {

namespace {

// Larger than any 384 x 64 picture file, colour profile and comments included.
constexpr std::size_t kMaxPictureFileSize = 64 * 1024 * 1024;

bool startsAsPng(std::span<const Byte> start) {
    return start.size() >= kPngSignature.size() &&
           std::equal(kPngSignature.begin(), kPngSignature.end(), start.begin());
}

bool startsAsBmp(std::span<const Byte> start) { return start.size() >= 2 && start[0] == 'B' && start[1] == 'M'; }

}  // namespace

PictureFormat pictureFormatFor(const std::filesystem::path& path) {
    return lowerAscii(pathText(path.extension())) == ".png" ? PictureFormat::Png : PictureFormat::Bmp;
}

std::vector<Byte> encodePicture(const GreyPicture& picture, PictureFormat format,
                                const std::optional<BitmapHeader>& bmpHeader) {
    if (format == PictureFormat::Png) return encodePng(picture);
    return encodeBitmap(picture, bmpHeader ? *bmpHeader : greyBitmapHeader(picture.shape()));
}

GreyPicture decodePicture(std::span<const Byte> file, const std::string& name, PictureShape shape) {
    if (startsAsPng(file)) return decodePng(file, name, shape);
    if (startsAsBmp(file)) return decodeBitmap(file, name, shape);
    if (file.empty()) throw Failure(name + " is empty", Problem::TooShort);
    throw Failure(name + " is neither a BMP nor a PNG file: it starts with neither \"BM\" nor the PNG signature",
                  Problem::NotSupported);
}

void exportBitmap(const std::filesystem::path& path, const GreyPicture& picture,
                  const std::optional<BitmapHeader>& bmpHeader) {
    replaceFile(path, encodePicture(picture, pictureFormatFor(path), bmpHeader));
}

ImportedBitmap importBitmap(const std::filesystem::path& path, PictureShape shape) {
    const std::vector<Byte> file = readSmallFile(path, kMaxPictureFileSize);
    ImportedBitmap imported{decodePicture(file, quoted(path), shape), std::nullopt};
    if (startsAsBmp(file)) {
        imported.header.emplace();
        std::copy_n(file.begin(), std::min(file.size(), imported.header->size()), imported.header->begin());
    }
    return imported;
}

bool startsAsPicture(const std::filesystem::path& path) {
    try {
        File file = File::openForReading(path);
        std::array<Byte, kPngSignature.size()> start{};
        const std::size_t got = file.readAt(0, start);
        const std::span<const Byte> read(start.data(), got);
        return startsAsBmp(read) || startsAsPng(read);
    } catch (const Failure&) {
        return false;
    }
}

}  // namespace tolvane
