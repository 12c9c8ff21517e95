// PNG through stb_image (reading) and stb_image_write (writing), built here for
// PNG alone. Files come from anywhere, so stb gets only a file whose chunks all
// lie inside it and whose shape is the one asked for, and none of its buffers
// may grow past kMostBuffer: a small file cannot unpack into gigabytes.
#include "logo/png_exchange.h"

#include "logo/bitmap_exchange.h"
#include "logo/failure.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <memory>
#include <new>

namespace tolvane {
namespace {

// stb's buffers for a picture of the logo's size stay far below this: its
// unpacked rows take at most 64 x (1 + 384 x 8) bytes (16-bit RGBA), and its
// compressed data less in any sound file. Pixel data that needs more is damaged.
constexpr std::size_t kMostBuffer = 4 * 1024 * 1024;

void* boundedMalloc(std::size_t size) { return size <= kMostBuffer ? std::malloc(size) : nullptr; }
void* boundedRealloc(void* block, std::size_t size) {
    return size <= kMostBuffer ? std::realloc(block, size) : nullptr;
}

}  // namespace
}  // namespace tolvane

#define STBI_MALLOC(size) tolvane::boundedMalloc(size)
#define STBI_REALLOC(block, size) tolvane::boundedRealloc(block, size)
#define STBI_FREE(block) std::free(block)
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#include <stb_image.h>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>

namespace tolvane {
namespace {

std::string text(std::uint64_t n) { return std::to_string(n); }

std::uint32_t readBe32(std::span<const Byte> bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) << 24 | static_cast<std::uint32_t>(bytes[at + 1]) << 16 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 8 | static_cast<std::uint32_t>(bytes[at + 3]);
}

// Every chunk (length, type, data, CRC) up to IEND must lie inside the file:
// stb reads what is missing as zeros.
void checkChunks(std::span<const Byte> file, const std::string& name) {
    std::uint64_t at = kPngSignature.size();
    while (true) {
        if (at == file.size())
            throw Failure(name + " is too short: " + text(file.size()) + " bytes, it ends before its IEND chunk");
        const std::uint64_t end = at + 12 + (at + 8 <= file.size() ? readBe32(file, at) : 0);
        if (end > file.size())
            throw Failure(name + " is too short: " + text(file.size()) + " bytes, its chunk at " + text(at) +
                          " needs " + text(end));
        if (std::equal(file.begin() + static_cast<std::ptrdiff_t>(at + 4),
                       file.begin() + static_cast<std::ptrdiff_t>(at + 8), "IEND"))
            return;
        at = end;
    }
}

[[noreturn]] void damaged(const std::string& name, PictureShape shape) {
    const char* reason = stbi_failure_reason();
    if (reason && std::string(reason) == "outofmem")
        throw Failure(name + " is damaged: its pixel data unpacks to far more than a " + text(shape.width) + " x " +
                      text(shape.height) + " picture holds");
    throw Failure(name + " is damaged: its PNG data cannot be decoded (" + (reason ? reason : "no reason given") + ")");
}

// As ImageMagick reads 16-bit samples: round(v / 257).
Byte eightBits(stbi_us sample) { return static_cast<Byte>((sample + 128u) / 257u); }

}  // namespace

std::vector<Byte> encodePng(const GreyPicture& picture) {
    std::vector<Byte> file;
    const auto append = [](void* context, void* data, int size) {
        auto& out = *static_cast<std::vector<Byte>*>(context);
        out.insert(out.end(), static_cast<const Byte*>(data), static_cast<const Byte*>(data) + size);
    };
    const int width = static_cast<int>(picture.width());
    if (!stbi_write_png_to_func(append, &file, width, static_cast<int>(picture.height()), 1, picture.pixels().data(),
                                width))
        throw std::bad_alloc();
    return file;
}

GreyPicture decodePng(std::span<const Byte> file, const std::string& name, PictureShape shape) {
    if (file.size() < kPngSignature.size() || !std::equal(kPngSignature.begin(), kPngSignature.end(), file.begin()))
        throw Failure(name + " is not a PNG file: it does not start with the PNG signature");
    checkChunks(file, name);
    if (file.size() > INT_MAX)
        throw Failure(name + " is too large for a PNG file of a " + text(shape.width) + " x " + text(shape.height) +
                      " picture");
    const int length = static_cast<int>(file.size());

    int width = 0, height = 0, channels = 0;
    if (!stbi_info_from_memory(file.data(), length, &width, &height, &channels)) damaged(name, shape);
    if (static_cast<std::size_t>(width) != shape.width || static_cast<std::size_t>(height) != shape.height)
        throw WrongPictureShape(name, width, height, shape);

    // The 16-bit loader takes every depth (8-bit samples come as v * 257), as
    // red, green and blue: grey repeated, palette looked up, alpha left out.
    const std::unique_ptr<stbi_us, void (*)(void*)> samples(
        stbi_load_16_from_memory(file.data(), length, &width, &height, &channels, 3), stbi_image_free);
    if (!samples) damaged(name, shape);
    std::vector<Byte> pixels(shape.area());
    for (std::size_t k = 0; k < pixels.size(); ++k) {
        const stbi_us* rgb = samples.get() + 3 * k;
        pixels[k] = greyLevel(eightBits(rgb[0]), eightBits(rgb[1]), eightBits(rgb[2]));
    }
    return GreyPicture(shape, std::move(pixels));
}

}  // namespace tolvane
