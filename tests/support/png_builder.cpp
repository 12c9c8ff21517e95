#include "png_builder.h"

#include <algorithm>

namespace tolvane::testing {
namespace {

void writeBe32(std::span<Byte> bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<Byte>(value >> (24 - 8 * i));
}

void appendBe32(std::vector<Byte>& bytes, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<Byte>(value >> shift));
}

// CRC-32 as PNG and zlib define it, bit by bit: written apart from the reader's.
std::uint32_t crc32Of(std::span<const Byte> bytes) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (Byte b : bytes) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

}  // namespace

std::vector<Byte> storedZlib(std::span<const Byte> bytes) {
    std::vector<Byte> stream{0x78, 0x01};
    std::uint32_t a = 1, b = 0;
    std::size_t at = 0;
    do {
        const std::size_t length = std::min<std::size_t>(bytes.size() - at, 0xFFFF);
        stream.push_back(at + length == bytes.size() ? 1 : 0);  // BFINAL on the last; BTYPE 0, stored
        for (std::uint16_t field : {static_cast<std::uint16_t>(length), static_cast<std::uint16_t>(~length)}) {
            stream.push_back(static_cast<Byte>(field));
            stream.push_back(static_cast<Byte>(field >> 8));
        }
        for (std::size_t k = at; k < at + length; ++k) {
            stream.push_back(bytes[k]);
            a = (a + bytes[k]) % 65521;
            b = (b + a) % 65521;
        }
        at += length;
    } while (at < bytes.size());
    appendBe32(stream, b << 16 | a);
    return stream;
}

std::vector<Byte> pngChunk(const std::string& type, std::span<const Byte> data) {
    std::vector<Byte> chunk(4 + 4 + data.size() + 4);
    writeBe32(chunk, 0, static_cast<std::uint32_t>(data.size()));
    std::copy_n(type.begin(), 4, chunk.begin() + 4);
    std::copy(data.begin(), data.end(), chunk.begin() + 8);
    writeBe32(chunk, 8 + data.size(), crc32Of(std::span<const Byte>(chunk).subspan(4, 4 + data.size())));
    return chunk;
}

std::vector<Byte> buildPng(const PngHeader& header, const std::vector<std::vector<Byte>>& chunks,
                           std::span<const Byte> pixelData) {
    std::vector<Byte> file{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<Byte> fields;
    appendBe32(fields, header.width);
    appendBe32(fields, header.height);
    fields.insert(fields.end(), {header.bits, header.colourType, 0, 0, 0});
    const auto append = [&](const std::vector<Byte>& chunk) { file.insert(file.end(), chunk.begin(), chunk.end()); };
    append(pngChunk("IHDR", fields));
    for (const auto& chunk : chunks) append(chunk);
    append(pngChunk("IDAT", pixelData));
    append(pngChunk("IEND", {}));
    return file;
}

void fixChunkCrc(std::vector<Byte>& file, std::size_t at) {
    const std::size_t length = std::size_t{file[at]} << 24 | file[at + 1] << 16 | file[at + 2] << 8 | file[at + 3];
    writeBe32(file, at + 8 + length, crc32Of(std::span<const Byte>(file).subspan(at + 4, 4 + length)));
}

}  // namespace tolvane::testing
