#include "logo/bitmap_exchange.h"

#include "logo/byte_order.h"
#include "logo/failure.h"
#include "logo/file_io.h"

#include <algorithm>
#include <system_error>

namespace tolvane {

namespace {

// Larger than any 384 x 64 bitmap, colour profile included.
constexpr std::size_t kMaxBitmapFileSize = 64 * 1024 * 1024;

constexpr std::uint32_t kPixelsPerMetre = 2835;  // 72 dpi

std::size_t greyStride(std::size_t width) { return (width + 3) / 4 * 4; }

// File header, 40-byte information header and a 256-entry grey palette.
std::vector<Byte> greyBitmapHeader(std::size_t width, std::size_t height) {
    std::vector<Byte> header(kBitmapHeaderLength);
    std::span<Byte> h(header);
    const auto pixelBytes = static_cast<std::uint32_t>(greyStride(width) * height);
    h[0] = 'B';
    h[1] = 'M';
    writeLe32(h, 2, static_cast<std::uint32_t>(kBitmapHeaderLength) + pixelBytes);
    writeLe32(h, 10, kBitmapHeaderLength);  // pixel data offset
    writeLe32(h, 14, kInfoHeaderSize);
    writeLe32(h, 18, static_cast<std::uint32_t>(width));
    writeLe32(h, 22, static_cast<std::uint32_t>(height));  // positive: bottom row first
    writeLe16(h, 26, 1);                                   // planes
    writeLe16(h, 28, 8);                                   // bits per pixel
    writeLe32(h, 30, 0);                                   // uncompressed
    writeLe32(h, 34, pixelBytes);
    writeLe32(h, 38, kPixelsPerMetre);
    writeLe32(h, 42, kPixelsPerMetre);
    writeLe32(h, 46, 256);  // colours used
    writeLe32(h, 50, 0);    // all colours important
    for (std::size_t n = 0; n < 256; ++n) {
        const std::size_t entry = kFileHeaderSize + kInfoHeaderSize + 4 * n;
        h[entry] = h[entry + 1] = h[entry + 2] = static_cast<Byte>(n);  // blue, green, red
        h[entry + 3] = 0;
    }
    return header;
}

BitmapHeader makeBuiltInHeader() {
    const auto bytes = greyBitmapHeader(kLogoWidth, kLogoHeight);
    BitmapHeader header{};
    std::copy(bytes.begin(), bytes.end(), header.begin());
    return header;
}

}  // namespace

const BitmapHeader& builtInBitmapHeader() {
    static const BitmapHeader header = makeBuiltInHeader();
    return header;
}

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
    ExportedBitmap result{loadHeaderTemplate(templatePath), toBitmapRows(logo)};
    std::vector<Byte> file(result.header.begin(), result.header.end());
    file.insert(file.end(), result.pixels.begin(), result.pixels.end());
    replaceFile(path, file);
    return result;
}

std::vector<Byte> encodeGreyBitmap(const GreyPicture& picture) {
    std::vector<Byte> file = greyBitmapHeader(picture.width, picture.height);
    const std::size_t stride = greyStride(picture.width);
    file.resize(file.size() + stride * picture.height, 0);
    for (std::size_t k = 0; k < picture.height; ++k) {
        const auto from =
            picture.pixels.begin() + static_cast<std::ptrdiff_t>((picture.height - 1 - k) * picture.width);
        std::copy_n(from, picture.width, file.begin() + static_cast<std::ptrdiff_t>(kBitmapHeaderLength + k * stride));
    }
    return file;
}

void exportGreyBitmap(const std::filesystem::path& path, const GreyPicture& picture) {
    replaceFile(path, encodeGreyBitmap(picture));
}

GreyPicture importGreyBitmap(const std::filesystem::path& path, std::size_t width, std::size_t height) {
    return decodeBitmap(readSmallFile(path, kMaxBitmapFileSize), quoted(path), width, height);
}

ImportedBitmap importBitmap(const std::filesystem::path& path) {
    const std::vector<Byte> file = readSmallFile(path, kMaxBitmapFileSize);
    ImportedBitmap result{};
    result.logo = decodeBitmap(file, quoted(path));
    std::copy_n(file.begin(), std::min(file.size(), result.header.size()), result.header.begin());
    result.pixels = toBitmapRows(result.logo);
    return result;
}

}  // namespace tolvane
