// Writing BMP files, their headers and the row flip.
#include "logo/picture/bitmap_exchange.h"

#include "logo/base/bytes.h"
#include "logo/base/failure.h"

#include <algorithm>
#include <stdexcept>

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
    std::vector<Byte> file(header.begin(), header.end());
    const std::vector<Byte> rows = toBitmapRows(picture);
    file.insert(file.end(), rows.begin(), rows.end());
    return file;
}

WrongPictureShape::WrongPictureShape(const std::string& name, std::int64_t width, std::int64_t height,
                                     PictureShape wanted)
    : Failure(name + " is " + std::to_string(width) + " x " + std::to_string(height) + " pixels; the logo is " +
                  std::to_string(wanted.width) + " x " + std::to_string(wanted.height),
              Problem::WrongShape),
      found_(width < 0 || height < 0
                 ? PictureShape{}
                 : PictureShape{static_cast<std::size_t>(width), static_cast<std::size_t>(height)}) {}

std::vector<Byte> toBitmapRows(const GreyPicture& picture) {
    const std::size_t stride = greyStride(picture.width());
    std::vector<Byte> rows(stride * picture.height(), 0);
    for (std::size_t k = 0; k < picture.height(); ++k) {
        const auto row = picture.row(picture.height() - 1 - k);
        std::copy(row.begin(), row.end(), rows.begin() + static_cast<std::ptrdiff_t>(k * stride));
    }
    return rows;
}

GreyPicture fromBitmapRows(std::span<const Byte> rows, PictureShape shape) {
    const std::size_t stride = greyStride(shape.width);
    if (rows.size() != stride * shape.height) throw std::invalid_argument("rows of another length than the picture's");
    GreyPicture picture(shape);
    for (std::size_t k = 0; k < shape.height; ++k) {
        const auto row = rows.subspan(k * stride, shape.width);
        std::copy(row.begin(), row.end(), picture.row(shape.height - 1 - k).begin());
    }
    return picture;
}

}  // namespace tolvane
