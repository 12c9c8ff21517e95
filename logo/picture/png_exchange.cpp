// PNG through libspng, both ways. Files come from anywhere, so before libspng
// sees one this file checks what libspng 0.7 leaves unchecked or words poorly:
// every chunk up to IEND lies inside the file, IHDR comes first and gives the
// picture's shape, each critical chunk passes its CRC check, the IDAT chunks
// follow one another with no other chunk between them, and the IDAT
// chunks' zlib stream ends, passes its Adler-32 check and does not unpack to far
// more than a picture holds (libspng stops inflating at the last row, before the
// check). libspng gets the critical chunks alone, ancillary ones being of no use
// here, and decodes them to the file's own samples, which become grey levels
// here: palette indices checked against the palette and 16-bit samples rounded,
// neither of which libspng does.
#include "logo/picture/png_exchange.h"

#include "logo/picture/bitmap_exchange.h"
#include "logo/base/failure.h"

#include "spng_calls.h"
#define ZLIB_CONST
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace tolvane {
namespace {

// The logo's rows unpack to at most 64 x (1 + 384 x 8) bytes (16-bit RGBA),
// a few hundred more interlaced, and libspng's buffers for them stay as small.
// Pixel data that unpacks to more than this is damaged.
constexpr std::size_t kBufferLimit = 4 * 1024 * 1024;
constexpr std::uint32_t kMostChunkLength = 0x7FFFFFFF;  // the PNG maximum, 2^31 - 1

// A fuzzer cannot make CRCs and Adler-32s match what it changed, so its build
// (FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION, as libFuzzer users name it) skips
// both checks, here and in libspng, for its inputs to reach what lies behind them.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
constexpr bool kChecksums = false;
#else
constexpr bool kChecksums = true;
#endif

void* boundedMalloc(std::size_t size) { return size <= kBufferLimit ? std::malloc(size) : nullptr; }
void* boundedRealloc(void* block, std::size_t size) {
    return size <= kBufferLimit ? std::realloc(block, size) : nullptr;
}
void* boundedCalloc(std::size_t count, std::size_t size) {
    return count != 0 && size > kBufferLimit / count ? nullptr : std::calloc(count, size);
}
void release(void* block) { std::free(block); }

std::string text(std::uint64_t n) { return std::to_string(n); }

std::uint32_t readBe32(std::span<const Byte> bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) << 24 | static_cast<std::uint32_t>(bytes[at + 1]) << 16 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 8 | static_cast<std::uint32_t>(bytes[at + 3]);
}

bool isType(std::span<const Byte> chunk, const char (&type)[5]) { return std::equal(type, type + 4, &chunk[4]); }

// "IDAT chunk at byte 33", or "chunk at byte 33" when its type is not letters.
std::string chunkText(std::span<const Byte> chunk, std::uint64_t at) {
    const auto type = chunk.subspan(4, 4);
    const bool letters =
        std::all_of(type.begin(), type.end(), [](Byte c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; });
    return (letters ? std::string(type.begin(), type.end()) + " chunk" : "chunk") + " at byte " + text(at);
}

struct Chunks {
    std::vector<Byte> critical;                    // the signature and the critical chunks, for libspng
    std::vector<std::span<const Byte>> pixelData;  // the IDAT chunks' data, in order
    std::uint32_t width = 0, height = 0;
};

// Every chunk (length, type, data, CRC) up to IEND must lie inside the file; a
// critical chunk (its type's first letter upper case) must pass its CRC check.
// An ancillary one is left out whatever its CRC, but not where it splits the
// IDAT chunks: the PNG format has them consecutive, and libpng (so GIMP and
// ImageMagick) refuses a file where they are not.
Chunks readChunks(std::span<const Byte> file, const std::string& name) {
    Chunks chunks;
    chunks.critical.assign(kPngSignature.begin(), kPngSignature.end());
    std::uint64_t at = kPngSignature.size();
    std::string afterPixelData;  // the first chunk after the IDAT chunks, once they have begun
    while (true) {
        if (at == file.size())
            throw Failure(name + " is too short: it ends after " + text(file.size()) +
                              " bytes, before its IEND chunk; it was cut short",
                          Problem::TooShort);
        const std::uint32_t length = at + 8 <= file.size() ? readBe32(file, at) : 0;
        const std::uint64_t end = at + 12 + length;
        if (end > file.size())
            throw Failure(name + " is too short: it has " + text(file.size()) + " bytes, and its chunk at byte " +
                              text(at) + " needs the first " + text(end) +
                              "; it was cut short, or the chunk is damaged",
                          Problem::TooShort);
        const auto chunk = file.subspan(at, end - at);
        if (length > kMostChunkLength)
            throw Failure(name + " is damaged: its " + chunkText(chunk, at) + " is longer than a PNG chunk may be");
        if (at == kPngSignature.size()) {
            if (!isType(chunk, "IHDR") || length != 13)
                throw Failure(name + " is damaged: it does not start with a 13-byte IHDR chunk");
            chunks.width = readBe32(chunk, 8);
            chunks.height = readBe32(chunk, 12);
        }
        if ((chunk[4] & 0x20) == 0) {
            if (kChecksums && crc32_z(0, chunk.data() + 4, length + 4) != readBe32(chunk, 8 + length))
                throw Failure(name + " is damaged: its " + chunkText(chunk, at) + " fails its CRC check");
            chunks.critical.insert(chunks.critical.end(), chunk.begin(), chunk.end());
        }
        if (isType(chunk, "IDAT")) {
            if (!afterPixelData.empty())
                throw Failure(name + " is damaged: its IDAT chunks are not consecutive: its " + afterPixelData +
                              " stands between them");
            chunks.pixelData.push_back(chunk.subspan(8, length));
        } else if (!chunks.pixelData.empty() && afterPixelData.empty()) {
            afterPixelData = chunkText(chunk, at);
        }
        if (isType(chunk, "IEND")) return chunks;
        at = end;
    }
}

[[noreturn]] void unpacksToFarMore(const std::string& name, PictureShape shape) {
    throw Failure(name + " is damaged: its pixel data unpacks to far more than a " + text(shape.width) + " x " +
                  text(shape.height) + " picture holds");
}

// The IDAT chunks' zlib stream inflated to its end, into a buffer thrown away.
void checkPixelData(const std::vector<std::span<const Byte>>& pixelData, const std::string& name, PictureShape shape) {
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK || inflateValidate(&stream, kChecksums) != Z_OK) throw std::bad_alloc();
    const std::unique_ptr<z_stream, int (*)(z_streamp)> ending(&stream, inflateEnd);
    std::array<Byte, 16 * 1024> unpacked;
    std::size_t total = 0;
    int result = Z_OK;
    for (const auto data : pixelData) {
        stream.next_in = data.data();
        stream.avail_in = static_cast<uInt>(data.size());
        while (stream.avail_in > 0 && result == Z_OK) {
            stream.next_out = unpacked.data();
            stream.avail_out = static_cast<uInt>(unpacked.size());
            result = inflate(&stream, Z_NO_FLUSH);
            total += unpacked.size() - stream.avail_out;
            if (total > kBufferLimit) unpacksToFarMore(name, shape);
        }
        if (result == Z_MEM_ERROR) throw std::bad_alloc();
        if (result == Z_DATA_ERROR && stream.msg && std::string(stream.msg) == "incorrect data check")
            throw Failure(name + " is damaged: its pixel data fails its Adler-32 check");
        if (result != Z_OK && result != Z_STREAM_END)
            throw Failure(name + " is damaged: its pixel data cannot be unpacked (zlib: " +
                          (stream.msg ? stream.msg : "error " + std::to_string(result)) + ")");
    }
    if (result != Z_STREAM_END) throw Failure(name + " is damaged: its pixel data is cut off before its end");
}

[[noreturn]] void undecodable(const std::string& name, int error) {
    if (error == SPNG_EMEM) throw std::bad_alloc();
    throw Failure(name + " is damaged: its PNG data cannot be decoded (" + spng().strerror(error) + ")");
}

// Sample k of a row as libspng decodes SPNG_FMT_PNG: below 8 bits packed from
// each byte's high bits, 16 bits in the machine's byte order.
unsigned sampleAt(std::span<const Byte> row, std::size_t k, unsigned bits) {
    if (bits == 16) {
        std::uint16_t sample;
        std::memcpy(&sample, &row[2 * k], 2);
        return sample;
    }
    const std::size_t bit = k * bits;
    return (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
}

// 1-, 2- and 4-bit greys scale to exact multiples of 255 / 15, 85 and 255;
// 16 bits become round(v / 257).
Byte eightBits(unsigned sample, unsigned bits) {
    return static_cast<Byte>(bits == 16 ? (sample + 128) / 257 : sample * 255 / ((1u << bits) - 1));
}

}  // namespace

std::vector<Byte> encodePng(const GreyPicture& picture) {
    const std::unique_ptr<spng_ctx, void (*)(spng_ctx*)> context(spng().ctxNew(SPNG_CTX_ENCODER), spng().ctxFree);
    if (!context) throw std::bad_alloc();
    spng_ihdr header{};  // compression, filter and interlace methods 0
    header.width = static_cast<std::uint32_t>(picture.width());
    header.height = static_cast<std::uint32_t>(picture.height());
    header.bit_depth = 8;
    header.color_type = SPNG_COLOR_TYPE_GRAYSCALE;
    int error = spng().setOption(context.get(), SPNG_ENCODE_TO_BUFFER, 1);
    if (!error) error = spng().setIhdr(context.get(), &header);
    if (!error)
        error = spng().encodeImage(context.get(), picture.pixels().data(), picture.pixels().size(), SPNG_FMT_PNG,
                                   SPNG_ENCODE_FINALIZE);
    std::size_t length = 0;
    std::unique_ptr<void, void (*)(void*)> file(nullptr, release);
    if (!error) file.reset(spng().getPngBuffer(context.get(), &length, &error));
    if (error == SPNG_EMEM) throw std::bad_alloc();
    if (error) throw Failure(std::string("cannot write the picture as PNG: ") + spng().strerror(error));
    const auto* bytes = static_cast<const Byte*>(file.get());
    return {bytes, bytes + length};
}

GreyPicture decodePng(std::span<const Byte> file, const std::string& name, PictureShape shape) {
    if (file.size() < kPngSignature.size() || !std::equal(kPngSignature.begin(), kPngSignature.end(), file.begin()))
        throw Failure(name + " is not a PNG file: it does not start with the PNG signature", Problem::NotSupported);
    const Chunks chunks = readChunks(file, name);
    if (chunks.width != shape.width || chunks.height != shape.height)
        throw WrongPictureShape(name, chunks.width, chunks.height, shape);
    checkPixelData(chunks.pixelData, name, shape);

    spng_alloc allocator{boundedMalloc, boundedRealloc, boundedCalloc, release};
    const std::unique_ptr<spng_ctx, void (*)(spng_ctx*)> context(
        spng().ctxNew2(&allocator, kChecksums ? 0 : SPNG_CTX_IGNORE_ADLER32), spng().ctxFree);
    if (!context) throw std::bad_alloc();
    spng_ctx* const png = context.get();
    spng().setImageLimits(png, chunks.width, chunks.height);
    spng().setChunkLimits(png, kBufferLimit, kBufferLimit);  // no ancillary chunk reaches libspng anyway
    spng().setCrcAction(png, kChecksums ? SPNG_CRC_ERROR : SPNG_CRC_USE, kChecksums ? SPNG_CRC_DISCARD : SPNG_CRC_USE);
    spng().setPngBuffer(png, chunks.critical.data(), chunks.critical.size());

    spng_ihdr header{};
    std::size_t size = 0;
    if (const int error = spng().getIhdr(png, &header)) undecodable(name, error);
    if (const int error = spng().decodedImageSize(png, SPNG_FMT_PNG, &size)) undecodable(name, error);
    std::vector<Byte> samples(size);
    if (const int error = spng().decodeImage(png, samples.data(), size, SPNG_FMT_PNG, 0)) undecodable(name, error);
    spng_plte palette{};
    const bool indexed = header.color_type == SPNG_COLOR_TYPE_INDEXED;
    if (const int error = indexed ? spng().getPlte(png, &palette) : 0) undecodable(name, error);

    const unsigned bits = header.bit_depth;
    // Samples a pixel by colour type: grey, -, RGB, palette index, grey and alpha, -, RGBA.
    const std::size_t channels = std::array<std::size_t, 7>{1, 0, 3, 1, 2, 0, 4}.at(header.color_type);
    const std::size_t stride = size / shape.height;
    GreyPicture picture(shape);
    for (std::size_t y = 0; y < shape.height; ++y) {
        const auto row = std::span<const Byte>(samples).subspan(y * stride, stride);
        for (std::size_t x = 0; x < shape.width; ++x) {
            Byte& grey = picture.row(y)[x];
            if (indexed) {
                const unsigned index = sampleAt(row, x, bits);
                if (index >= palette.n_entries)
                    throw Failure(name + " is damaged: its pixel at x " + text(x) + ", y " + text(y) +
                                  " is palette entry " + text(index) + ", but its palette has " +
                                  text(palette.n_entries) + " entries");
                const spng_plte_entry& colour = palette.entries[index];
                grey = greyLevel(colour.red, colour.green, colour.blue);
            } else if (channels <= 2) {
                grey = eightBits(sampleAt(row, x * channels, bits), bits);
            } else {
                grey = greyLevel(eightBits(sampleAt(row, x * channels, bits), bits),
                                 eightBits(sampleAt(row, x * channels + 1, bits), bits),
                                 eightBits(sampleAt(row, x * channels + 2, bits), bits));
            }
        }
    }
    return picture;
}

}  // namespace tolvane
