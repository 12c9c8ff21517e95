// PNG files built in code, chunk by chunk, so that a test can damage exactly
// one part of one: every chunk gets its CRC, and the pixel data goes into a zlib
// stream of stored blocks, whose bytes are the rows themselves.
#pragma once

#include "logo/base/bytes.h"

#include <span>
#include <string>
#include <vector>

namespace tolvane::testing {

struct PngHeader {
    std::uint32_t width = 384;
    std::uint32_t height = 64;
    Byte bits = 8;
    Byte colourType = 0;  // 0 grey, 2 RGB, 3 palette, 4 grey and alpha, 6 RGBA
};

// Length, type, data, CRC.
std::vector<Byte> pngChunk(const std::string& type, std::span<const Byte> data);

// A zlib stream of stored blocks holding these bytes, and its Adler-32 last.
std::vector<Byte> storedZlib(std::span<const Byte> bytes);

// The signature, IHDR, the chunks given, one IDAT holding pixelData, and IEND.
std::vector<Byte> buildPng(const PngHeader& header, const std::vector<std::vector<Byte>>& chunks,
                           std::span<const Byte> pixelData);

// The CRC of the chunk starting at `at` made right again after its bytes changed.
void fixChunkCrc(std::vector<Byte>& file, std::size_t at);

}  // namespace tolvane::testing
