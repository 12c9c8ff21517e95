// Reading a 384 x 64 BMP as other programs write it. The header is checked, not
// trusted: pixel data offset, row order and palette come from the file, and
// every read is bounded by the file's length.
#include "bitmap_exchange.h"

#include "byte_order.h"
#include "failure.h"

#include <cstdlib>
#include <vector>

namespace tolvane {

namespace {

enum Compression : std::uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kJpeg = 4, kPng = 5 };

struct BmpInfo {
    std::uint32_t pixelOffset;
    std::uint32_t headerSize;
    bool topDown;
    std::uint16_t bitsPerPixel;
    std::uint32_t compression;
    std::vector<Byte> paletteGreys;  // grey level of each palette entry
};

std::string text(std::uint64_t n) { return std::to_string(n); }

BmpInfo readInfo(std::span<const Byte> file, const std::string& name) {
    if (file.size() < kFileHeaderSize + 4 || file[0] != 'B' || file[1] != 'M')
        throw Failure(name + " is not a BMP file: it does not start with \"BM\"");

    BmpInfo info{};
    info.pixelOffset = readLe32(file, 10);
    info.headerSize = readLe32(file, 14);
    if (info.headerSize == 12)
        throw Failure(name + " has an old OS/2 bitmap header; save it as a Windows BMP");
    if (info.headerSize != 40 && info.headerSize != 108 && info.headerSize != 124)
        throw Failure(name + " has an information header of " + text(info.headerSize) +
                      " bytes; only 40, 108 and 124 are known");
    const std::size_t headerEnd = kFileHeaderSize + info.headerSize;
    if (file.size() < headerEnd)
        throw Failure(name + " is too short: " + text(file.size()) + " bytes, its header alone needs " +
                      text(headerEnd));

    const std::int32_t width = readLeSigned32(file, 18);
    const std::int32_t height = readLeSigned32(file, 22);
    if (width != static_cast<std::int32_t>(kLogoWidth) || (height != 64 && height != -64))
        throw Failure(name + " is " + std::to_string(width) + " x " + std::to_string(std::llabs(height)) +
                      " pixels; the logo is 384 x 64");
    info.topDown = height < 0;
    info.bitsPerPixel = readLe16(file, 28);
    info.compression = readLe32(file, 30);

    if (info.compression == kJpeg || info.compression == kPng)
        throw Failure(name + " holds a " + (info.compression == kJpeg ? "JPEG" : "PNG") +
                      " picture inside the BMP; save it as an uncompressed BMP");
    if (info.compression == kRle8 || info.compression == kRle4)
        throw Failure(name + " is RLE-compressed; save it as an uncompressed BMP");
    if (info.compression != kRgb)
        throw Failure(name + " uses compression " + text(info.compression) + "; save it as an uncompressed BMP");
    if (info.bitsPerPixel != 8 && info.bitsPerPixel != 24 && info.bitsPerPixel != 32)
        throw Failure(name + " has " + text(info.bitsPerPixel) +
                      " bits per pixel; 8, 24 and 32 bits per pixel are supported");

    if (info.bitsPerPixel <= 8) {
        const std::uint32_t most = 1u << info.bitsPerPixel;
        const std::uint32_t used = readLe32(file, 46);
        const std::uint32_t entries = used == 0 ? most : used;
        if (entries > most)
            throw Failure(name + " says its palette has " + text(entries) + " colours; a " +
                          text(info.bitsPerPixel) + "-bit picture has at most " + text(most));
        const std::uint64_t paletteEnd = headerEnd + 4ull * entries;
        if (paletteEnd > file.size())
            throw Failure(name + " is too short: " + text(file.size()) + " bytes, its palette needs " +
                          text(paletteEnd));
        for (std::size_t n = 0; n < entries; ++n) {
            const std::size_t at = headerEnd + 4 * n;
            info.paletteGreys.push_back(greyLevel(file[at + 2], file[at + 1], file[at]));
        }
    }
    if (info.pixelOffset < headerEnd)
        throw Failure(name + " is damaged: its pixel data would start at " + text(info.pixelOffset) +
                      ", inside its header");
    return info;
}

}  // namespace

Byte greyLevel(Byte red, Byte green, Byte blue) {
    if (red == green && green == blue) return red;
    return static_cast<Byte>((299u * red + 587u * green + 114u * blue + 500u) / 1000u);
}

LogoImage decodeBitmap(std::span<const Byte> file, const std::string& name) {
    const BmpInfo info = readInfo(file, name);
    const std::size_t bytesPerPixel = info.bitsPerPixel / 8;
    const std::size_t stride = (kLogoWidth * info.bitsPerPixel + 31) / 32 * 4;
    const std::uint64_t pixelEnd = std::uint64_t{info.pixelOffset} + stride * kLogoHeight;
    if (pixelEnd > file.size())
        throw Failure(name + " is too short: " + text(file.size()) + " bytes, its pixel data needs " + text(pixelEnd));

    LogoImage logo{};
    for (std::size_t fileRow = 0; fileRow < kLogoHeight; ++fileRow) {
        const std::size_t row = info.topDown ? fileRow : kLogoHeight - 1 - fileRow;
        const auto in = file.subspan(info.pixelOffset + fileRow * stride, stride);
        Byte* out = logo.data() + row * kLogoWidth;
        for (std::size_t x = 0; x < kLogoWidth; ++x) {
            if (bytesPerPixel == 1) {
                const Byte index = in[x];
                if (index >= info.paletteGreys.size())
                    throw Failure(name + " is damaged: pixel (" + text(x) + ", " + text(row) + ") uses colour " +
                                  text(index) + " of a palette of " + text(info.paletteGreys.size()));
                out[x] = info.paletteGreys[index];
            } else {
                const auto px = in.subspan(x * bytesPerPixel, 3);
                out[x] = greyLevel(px[2], px[1], px[0]);
            }
        }
    }
    return logo;
}

}  // namespace tolvane
