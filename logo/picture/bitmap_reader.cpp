// Reading a 384 x 64 BMP as other programs write it: 1, 2, 4 and 8 bits per
// pixel through a palette (uncompressed or RLE), 16, 24 and 32 bits (plain or
// with bit-field masks), under a Windows or an OS/2 header. The header is
// checked, not trusted: pixel data offset, row order, palette length and masks
// come from the file, and every read is bounded by the file's length. Files
// come from anywhere; a damaged one gets a message, never a read past its end.
#include "logo/picture/bitmap_exchange.h"

#include "logo/base/bytes.h"
#include "logo/base/failure.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <vector>

namespace tolvane {

namespace {

enum Compression : std::uint32_t {
    kRgb = 0,
    kRle8 = 1,
    kRle4 = 2,
    kBitFields = 3,
    kJpeg = 4,
    kPng = 5,
    kAlphaBitFields = 6,  // bit fields with an alpha mask too; the alpha is not used
};
// An OS/2 2.x header gives compressions 3 and 4 other meanings.
constexpr std::uint32_t kOs2Huffman = 3, kOs2Rle24 = 4;

// The header's size tells its form. 12 bytes: OS/2 1.x, with 16-bit width and
// height, no compression field and 3-byte palette entries. 40, 52, 56, 108 and
// 124: Windows; 52 and 56 end after the colour masks, 56 with an alpha mask.
// Any other size from 16 to 64: OS/2 2.x, laid out as the 40-byte Windows
// header for as far as it goes (the fields it leaves out count as zero) and
// followed by fields of no use here; 4-byte palette entries.
enum class HeaderForm { kOs2Core, kOs2, kWindows };

constexpr std::size_t kCoreHeaderSize = 12;
constexpr std::size_t kMasksAt = kFileHeaderSize + 40;  // after a 40-byte header, or inside a larger one

struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint32_t max = 0;

    explicit Channel(std::uint32_t m = 0) : mask(m) {
        if (mask == 0) return;
        shift = std::countr_zero(mask);
        max = mask >> shift;
    }
    // A channel of up to 8 bits is widened by repeating its bits (5-bit 3 is
    // 24, 6-bit 11 is 44), so that a grey stored in 5 or 6 bits reads as paint
    // programs show it; a wider one is scaled and rounded.
    Byte level(std::uint32_t pixel) const {
        if (max == 0) return 0;
        const std::uint64_t value = (pixel & mask) >> shift;
        const int bits = std::bit_width(max);
        if (bits > 8) return static_cast<Byte>((value * 255u + max / 2) / max);
        std::uint64_t repeated = 0;
        int filled = 0;
        for (; filled < 8; filled += bits) repeated = repeated << bits | value;
        return static_cast<Byte>(repeated >> (filled - 8));
    }
};

struct BmpInfo {
    std::uint32_t pixelOffset = 0;
    bool topDown = false;
    std::uint16_t bitsPerPixel = 0;
    std::uint32_t compression = 0;
    std::vector<Byte> paletteGreys;  // grey level of each palette entry
    std::array<Channel, 3> masks;    // red, green, blue, for 16 and 32 bits
};

// The header fields that matter, whichever form they came in.
struct HeaderFields {
    std::int64_t width = 0, height = 0;
    std::uint16_t bitsPerPixel = 0;
    std::uint32_t compression = kRgb;
    std::uint32_t coloursUsed = 0;
};

std::string text(std::uint64_t n) { return std::to_string(n); }

class Reader {
public:
    Reader(std::span<const Byte> file, const std::string& name, std::size_t width, std::size_t height)
        : file_(file), name_(name), width_(width), height_(height) {}

    // A BMP of a kind this program does not read.
    [[noreturn]] void fail(const std::string& what, Problem problem = Problem::NotSupported) const {
        throw Failure(name_ + " " + what, problem);
    }
    [[noreturn]] void damaged(const std::string& what) const { fail("is damaged: " + what, Problem::Damaged); }
    void need(std::uint64_t end, const std::string& what) const {
        if (end > file_.size())
            fail("is too short: it has " + text(file_.size()) + " bytes, and " + what + " needs the first " +
                     text(end) + "; it was cut short, or its header is damaged",
                 Problem::TooShort);
    }

    BmpInfo readInfo() const;
    GreyPicture decode(const BmpInfo& info) const;

private:
    HeaderForm headerForm(std::uint32_t headerSize) const;
    HeaderFields readFields(HeaderForm form, std::uint32_t headerSize) const;
    void checkCompression(HeaderForm form, const HeaderFields& fields) const;
    std::vector<Byte> readPalette(HeaderForm form, const HeaderFields& fields, std::size_t paletteAt,
                                  std::uint32_t pixelOffset) const;

    Byte grey(const BmpInfo& info, std::size_t index, std::size_t x, std::size_t y) const {
        if (index >= info.paletteGreys.size()) [[unlikely]]
            outsidePalette(info, index, x, y);
        return info.paletteGreys[index];
    }
    // Out of line, so that grey() stays small enough to inline into each row's loop.
    [[noreturn]] [[gnu::noinline]] void outsidePalette(const BmpInfo& info, std::size_t index, std::size_t x,
                                                       std::size_t y) const {
        damaged("pixel (" + text(x) + ", " + text(y) + ") uses colour " + text(index) + " of a palette of " +
                text(info.paletteGreys.size()));
    }
    std::size_t pictureRow(const BmpInfo& info, std::size_t fileRow) const {
        return info.topDown ? fileRow : height_ - 1 - fileRow;
    }
    GreyPicture decodeRows(const BmpInfo& info) const;
    std::vector<Byte> decodeRle(const BmpInfo& info) const;

    std::span<const Byte> file_;
    const std::string& name_;
    std::size_t width_, height_;
};

HeaderForm Reader::headerForm(std::uint32_t headerSize) const {
    if (headerSize == kCoreHeaderSize) return HeaderForm::kOs2Core;
    if (headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 108 || headerSize == 124)
        return HeaderForm::kWindows;
    if (headerSize >= 16 && headerSize <= 64) return HeaderForm::kOs2;
    fail("has an information header of " + text(headerSize) + " bytes; only 12, 16 to 64, 108 and 124 are known");
}

HeaderFields Reader::readFields(HeaderForm form, std::uint32_t headerSize) const {
    HeaderFields fields;
    if (form == HeaderForm::kOs2Core) {
        fields.width = static_cast<std::int16_t>(readLe16(file_, 18));
        fields.height = static_cast<std::int16_t>(readLe16(file_, 20));
        fields.bitsPerPixel = readLe16(file_, 24);
        return fields;
    }
    std::array<Byte, 40> header{};  // what a short OS/2 2.x header leaves out stays zero
    std::copy_n(file_.begin() + kFileHeaderSize, std::min<std::size_t>(headerSize, header.size()), header.begin());
    fields.width = readLeSigned32(header, 4);
    fields.height = readLeSigned32(header, 8);
    fields.bitsPerPixel = readLe16(header, 14);
    fields.compression = readLe32(header, 16);
    fields.coloursUsed = readLe32(header, 32);
    return fields;
}

void Reader::checkCompression(HeaderForm form, const HeaderFields& fields) const {
    const std::uint32_t compression = fields.compression;
    const std::uint16_t bits = fields.bitsPerPixel;
    if (form == HeaderForm::kOs2 && (compression == kOs2Huffman || compression == kOs2Rle24))
        fail(std::string("uses OS/2 ") + (compression == kOs2Huffman ? "Huffman 1D" : "RLE24") +
             " compression, which is not supported; save it uncompressed");
    if (form == HeaderForm::kWindows && (compression == kJpeg || compression == kPng))
        fail(std::string("holds a ") + (compression == kJpeg ? "JPEG" : "PNG") +
             " picture inside the BMP; save it as a plain BMP");
    if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        fail("has " + text(bits) + " bits per pixel; 1, 2, 4, 8, 16, 24 and 32 are supported");
    const bool bitFields =
        form == HeaderForm::kWindows && (compression == kBitFields || compression == kAlphaBitFields);
    const bool fits = compression == kRgb || (compression == kRle8 && bits == 8) ||
                      (compression == kRle4 && bits == 4) || (bitFields && (bits == 16 || bits == 32));
    if (!fits)
        fail("uses compression " + text(compression) + " with " + text(bits) +
             " bits per pixel, which is not supported");
}

std::vector<Byte> Reader::readPalette(HeaderForm form, const HeaderFields& fields, std::size_t paletteAt,
                                      std::uint32_t pixelOffset) const {
    const std::uint16_t bits = fields.bitsPerPixel;
    const std::uint32_t most = 1u << bits;
    std::uint64_t entries = 0;
    std::size_t entrySize = 4;  // blue, green, red, 0
    if (form == HeaderForm::kOs2Core) {
        // Blue, green, red; as many as fit before the pixels, those past 2^bits unused.
        entrySize = 3;
        entries = std::min<std::uint64_t>((pixelOffset - paletteAt) / entrySize, most);
    } else {
        entries = fields.coloursUsed == 0 ? most : fields.coloursUsed;
        if (entries > most)
            fail("says its palette has " + text(entries) + " colours; a " + text(bits) + "-bit picture has at most " +
                     text(most),
                 Problem::Damaged);
    }
    need(paletteAt + entrySize * entries, "its palette");
    std::vector<Byte> greys;
    for (std::size_t n = 0; n < entries; ++n) {
        const std::size_t at = paletteAt + entrySize * n;
        greys.push_back(greyLevel(file_[at + 2], file_[at + 1], file_[at]));
    }
    return greys;
}

BmpInfo Reader::readInfo() const {
    if (file_.size() < kFileHeaderSize + 4 || file_[0] != 'B' || file_[1] != 'M')
        fail("is not a BMP file: it does not start with \"BM\"");

    BmpInfo info;
    info.pixelOffset = readLe32(file_, 10);
    const std::uint32_t headerSize = readLe32(file_, 14);
    const HeaderForm form = headerForm(headerSize);
    const std::size_t headerEnd = kFileHeaderSize + headerSize;
    need(headerEnd, "its header alone");

    const HeaderFields fields = readFields(form, headerSize);
    if (fields.width != static_cast<std::int64_t>(width_) ||
        std::llabs(fields.height) != static_cast<std::int64_t>(height_))
        throw WrongPictureShape(name_, fields.width, std::llabs(fields.height), {width_, height_});
    info.topDown = fields.height < 0;
    checkCompression(form, fields);
    const std::uint16_t bits = fields.bitsPerPixel;
    info.bitsPerPixel = bits;
    info.compression = fields.compression == kAlphaBitFields ? kBitFields : fields.compression;

    if (bits == 16 || bits == 32) {
        std::array<std::uint32_t, 3> masks = bits == 16 ? std::array<std::uint32_t, 3>{0x7C00, 0x03E0, 0x001F}
                                                        : std::array<std::uint32_t, 3>{0xFF0000, 0xFF00, 0xFF};
        if (info.compression == kBitFields) {
            need(kMasksAt + 12, "its colour masks");
            for (std::size_t c = 0; c < 3; ++c) masks[c] = readLe32(file_, kMasksAt + 4 * c);
            if (masks[0] == 0 && masks[1] == 0 && masks[2] == 0) damaged("its colour masks are all zero");
        }
        for (std::size_t c = 0; c < 3; ++c) info.masks[c] = Channel(masks[c]);
    }

    if (info.pixelOffset < headerEnd)
        damaged("its pixel data would start at " + text(info.pixelOffset) + ", inside its header");
    if (bits <= 8) info.paletteGreys = readPalette(form, fields, headerEnd, info.pixelOffset);
    return info;
}

GreyPicture Reader::decode(const BmpInfo& info) const {
    if (info.compression == kRle8 || info.compression == kRle4) return GreyPicture({width_, height_}, decodeRle(info));
    return decodeRows(info);
}

GreyPicture Reader::decodeRows(const BmpInfo& info) const {
    const std::size_t bits = info.bitsPerPixel;
    const std::size_t stride = (width_ * bits + 31) / 32 * 4;
    need(std::uint64_t{info.pixelOffset} + stride * height_, "its pixel data");

    // A full 8-bit palette needs no check of each index, and the grey ramp that
    // exports carry needs no palette at all: its pixels are the grey levels.
    const bool fullPalette = bits == 8 && info.paletteGreys.size() == 256;
    bool greyRamp = fullPalette;
    for (std::size_t level = 0; greyRamp && level < 256; ++level) greyRamp = info.paletteGreys[level] == level;
    if (greyRamp && !info.topDown)
        return fromBitmapRows(file_.subspan(info.pixelOffset, stride * height_), {width_, height_});

    std::vector<Byte> logo(width_ * height_);
    for (std::size_t fileRow = 0; fileRow < height_; ++fileRow) {
        const std::size_t y = pictureRow(info, fileRow);
        const auto in = file_.subspan(info.pixelOffset + fileRow * stride, stride);
        Byte* out = logo.data() + y * width_;
        // One loop for each depth: the depth is the same for every pixel.
        const auto eachPixel = [&](auto&& greyAt) {
            for (std::size_t x = 0; x < width_; ++x) out[x] = greyAt(x);
        };
        switch (bits) {
            case 1: eachPixel([&](std::size_t x) { return grey(info, (in[x / 8] >> (7 - x % 8)) & 1, x, y); }); break;
            case 2:
                eachPixel([&](std::size_t x) { return grey(info, (in[x / 4] >> (6 - 2 * (x % 4))) & 3, x, y); });
                break;
            case 4:
                eachPixel([&](std::size_t x) { return grey(info, (in[x / 2] >> (x % 2 ? 0 : 4)) & 0xF, x, y); });
                break;
            case 8:
                if (fullPalette)
                    eachPixel([&](std::size_t x) { return info.paletteGreys[in[x]]; });
                else
                    eachPixel([&](std::size_t x) { return grey(info, in[x], x, y); });
                break;
            case 24:
                eachPixel([&](std::size_t x) { return greyLevel(in[3 * x + 2], in[3 * x + 1], in[3 * x]); });
                break;
            default:
                eachPixel([&](std::size_t x) {
                    const std::uint32_t pixel = bits == 16 ? readLe16(in, 2 * x) : readLe32(in, 4 * x);
                    return greyLevel(info.masks[0].level(pixel), info.masks[1].level(pixel),
                                     info.masks[2].level(pixel));
                });
        }
    }
    return GreyPicture({width_, height_}, std::move(logo));
}

// RLE8 and RLE4: pairs (count, value) repeat a pixel (RLE4: two alternating
// pixels); count 0 escapes: 0 end of row, 1 end of picture, 2 a move right and
// up (dx, dy), n >= 3 that many pixels stored as they are, padded to 16 bits.
// Pixels never set keep colour 0.
std::vector<Byte> Reader::decodeRle(const BmpInfo& info) const {
    if (info.pixelOffset > file_.size()) need(info.pixelOffset, "its pixel data");
    const std::span<const Byte> data = file_.subspan(info.pixelOffset);
    const bool four = info.compression == kRle4;

    std::vector<Byte> indices(width_ * height_, 0);
    std::size_t at = 0, x = 0, row = 0;  // row counts in file order, bottom first
    const auto next = [&]() -> Byte {
        if (at >= data.size()) damaged("its RLE data ends inside a run");
        return data[at++];
    };
    const auto put = [&](Byte index) {
        if (row >= height_) damaged("its RLE data runs past the last row");
        if (x >= width_) damaged("an RLE run overruns row " + text(row));
        indices[pictureRow(info, row) * width_ + x++] = index;
    };

    while (true) {
        if (at >= data.size()) {
            // A stream may end without its end-of-picture mark once every row is done.
            if (row == height_ || (row == height_ - 1 && x == width_)) break;
            damaged("its RLE data ends at row " + text(row) + " of " + text(height_));
        }
        const Byte count = next();
        const Byte value = next();
        if (count > 0) {
            for (std::size_t i = 0; i < count; ++i) put(four ? ((i % 2 ? value : value >> 4) & 0xF) : value);
            continue;
        }
        if (value == 0) {  // end of row
            ++row;
            x = 0;
        } else if (value == 1) {  // end of picture
            break;
        } else if (value == 2) {  // move
            const std::size_t dx = next(), dy = next();
            x += dx;
            row += dy;
            if (x > width_ || row > height_ || (row == height_ && x > 0))
                damaged("an RLE move leaves the picture at row " + text(row));
        } else {  // stored pixels
            const std::size_t bytes = four ? (value + 1) / 2 : value;
            if (at + bytes > data.size()) damaged("its RLE data ends inside a run");
            for (std::size_t i = 0; i < value; ++i)
                put(four ? ((i % 2 ? data[at + i / 2] : data[at + i / 2] >> 4) & 0xF) : data[at + i]);
            at += bytes + (bytes % 2);
        }
    }

    for (std::size_t k = 0; k < indices.size(); ++k) indices[k] = grey(info, indices[k], k % width_, k / width_);
    return indices;
}

}  // namespace

Byte greyLevel(Byte red, Byte green, Byte blue) {
    if (red == green && green == blue) return red;
    return static_cast<Byte>((299u * red + 587u * green + 114u * blue + 500u) / 1000u);
}

GreyPicture decodeBitmap(std::span<const Byte> file, const std::string& name, PictureShape shape) {
    const Reader reader(file, name, shape.width, shape.height);
    return reader.decode(reader.readInfo());
}

}  // namespace tolvane
