#include "logo/picture/bitmap_exchange.h"

#include "logo/base/bytes.h"
#include "logo/base/failure.h"
#include "logo/files/file_io.h"
#include "logo/picture/picture_file.h"

#include <algorithm>
#include <system_error>

namespace tolvane {

namespace {

constexpr std::uint32_t kPixelsPerMetre = 2835;  // 72 dpi

std::size_t greyStride(std::size_t width) { return (width + 3) / 4 * 4; }

}  // namespace

BitmapHeader greyBitmapHeader(PictureShape shape) {
    BitmapHeader header{};
    const auto pixelBytes = static_cast<std::uint32_t>(greyStride(shape.width) * shape.height);
    header[0] = 'B';
    header[1] = 'M';
    writeLe32(header, 2, static_cast<std::uint32_t>(kBitmapHeaderLength) + pixelBytes);
    writeLe32(header, 10, kBitmapHeaderLength);  // pixel data offset
    writeLe32(header, 14, kInfoHeaderSize);
    writeLe32(header, 18, static_cast<std::uint32_t>(shape.width));
    writeLe32(header, 22, static_cast<std::uint32_t>(shape.height));  // positive: bottom row first
    writeLe16(header, 26, 1);                                         // planes
    writeLe16(header, 28, 8);                                         // bits per pixel
    writeLe32(header, 30, 0);                                         // uncompressed
    writeLe32(header, 34, pixelBytes);
    writeLe32(header, 38, kPixelsPerMetre);
    writeLe32(header, 42, kPixelsPerMetre);
    writeLe32(header, 46, 256);  // colours used
    writeLe32(header, 50, 0);    // all colours important
    for (std::size_t n = 0; n < 256; ++n) {
        const std::size_t entry = kFileHeaderSize + kInfoHeaderSize + 4 * n;
        header[entry] = header[entry + 1] = header[entry + 2] = static_cast<Byte>(n);  // blue, green, red
        header[entry + 3] = 0;
    }
    return header;
}

const BitmapHeader& builtInBitmapHeader() {
    static const BitmapHeader header = greyBitmapHeader(kLogoShape);
    return header;
}

std::vector<Byte> encodeBitmap(const GreyPicture& picture, const BitmapHeader& header) {
    const std::size_t stride = greyStride(picture.width());
    std::vector<Byte> file(header.size() + stride * picture.height(), 0);
    std::copy(header.begin(), header.end(), file.begin());
    for (std::size_t k = 0; k < picture.height(); ++k) {
        const auto row = picture.row(picture.height() - 1 - k);
        std::copy(row.begin(), row.end(), file.begin() + static_cast<std::ptrdiff_t>(header.size() + k * stride));
    }
    return file;
}

WrongPictureShape::WrongPictureShape(const std::string& name, std::int64_t width, std::int64_t height,
                                     PictureShape wanted)
    : Failure(name + " is " + std::to_string(width) + " x " + std::to_string(height) + " pixels; the logo is " +
              std::to_string(wanted.width) + " x " + std::to_string(wanted.height)),
      found_(width < 0 || height < 0
                 ? PictureShape{}
                 : PictureShape{static_cast<std::size_t>(width), static_cast<std::size_t>(height)}) {}

BitmapPixels toBitmapRows(const LogoImage& logo) {
    BitmapPixels pixels{};
    for (std::size_t k = 0; k < kLogoHeight; ++k) {
        const auto from = logo.begin() + static_cast<std::ptrdiff_t>((kLogoHeight - 1 - k) * kLogoWidth);
        std::copy_n(from, kLogoWidth, pixels.begin() + static_cast<std::ptrdiff_t>(k * kLogoWidth));
    }
    return pixels;
}

LogoImage fromBitmapRows(const BitmapPixels& pixels) {
    // Flipping rows is its own inverse.
    return toBitmapRows(pixels);
}

BitmapHeader loadHeaderTemplate(const std::filesystem::path& templatePath) {
    std::error_code ignored;
    if (!std::filesystem::exists(templatePath, ignored)) return builtInBitmapHeader();

    const auto shown = std::filesystem::absolute(templatePath, ignored);
    BitmapHeader header{};
    File file = File::openForReading(shown.empty() ? templatePath : shown);
    const std::size_t got = file.readAt(0, header);
    file.close();
    if (got < header.size())
        throw Failure("The header template " + quoted(shown) + " is too short: " + std::to_string(got) +
                      " bytes, a bitmap header needs " + std::to_string(header.size()));
    return header;
}

ExportedBitmap exportBitmap(const std::filesystem::path& path, const LogoImage& logo,
                            const std::filesystem::path& templatePath) {
    const bool bmp = pictureFormatFor(path) == PictureFormat::Bmp;
    ExportedBitmap result{bmp ? loadHeaderTemplate(templatePath) : builtInBitmapHeader(), toBitmapRows(logo)};
    writePictureFile(path, pictureOf(logo), result.header);
    return result;
}

ImportedBitmap importBitmap(const std::filesystem::path& path) {
    const std::vector<Byte> file = readPictureBytes(path);
    ImportedBitmap result{};
    result.logo = logoOf(decodePicture(file, quoted(path), kLogoShape));
    if (file[0] == 'B')  // a BMP; a PNG starts with 0x89
        std::copy_n(file.begin(), std::min(file.size(), result.header.size()), result.header.begin());
    else
        result.header = builtInBitmapHeader();
    result.pixels = toBitmapRows(result.logo);
    return result;
}

}  // namespace tolvane
