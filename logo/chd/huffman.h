// The bit reader and the static Huffman decoder that CHD files use in two
// places: the compressed hunk map and the `huff` codec. Bits are read most
// significant first; reading past the end gives zero bits, and the reader
// remembers that it did, so that a caller can refuse input that ran short.
#pragma once

#include "logo/base/bytes.h"
#include "logo/chd/chd_codecs.h"

#include <cstdint>
#include <span>
#include <vector>

namespace tolvane::chd {

class BitReader {
public:
    explicit BitReader(std::span<const Byte> bytes, std::uint64_t position = 0) : bytes_(bytes), position_(position) {}

    // The next `count` bits (at most 32) without moving on.
    std::uint32_t peek(int count) const;
    void skip(int count) { position_ += static_cast<std::uint64_t>(count); }
    std::uint32_t read(int count) {
        const std::uint32_t value = peek(count);
        skip(count);
        return value;
    }
    std::uint64_t position() const { return position_; }  // in bits from the first byte
    // Whether more bits were taken than the bytes hold.
    bool overran() const { return position_ > std::uint64_t{bytes_.size()} * 8; }

private:
    std::span<const Byte> bytes_;
    std::uint64_t position_;
};

// Codes of up to maxBits bits for `codes` symbols, read from a stream in one of
// the two ways CHD stores a tree (as code lengths with a run-length escape, or
// Huffman-coded itself), then decoded a symbol at a time through a table of
// 2^maxBits entries. Codes are canonical, longest first, as chdman assigns them.
class HuffmanDecoder {
public:
    HuffmanDecoder(int codes, int maxBits);

    void readRunLengthTree(BitReader& bits);
    void readHuffmanTree(BitReader& bits);
    std::uint32_t decode(BitReader& bits) const;

private:
    void assignCodes();

    int codes_;
    int maxBits_;
    std::vector<Byte> lengths_;
    // For each maxBits-bit value: the symbol whose code starts it (low bits 5
    // up) and that code's length (low 5 bits); length 0 where no code does.
    std::vector<std::uint32_t> table_;
};

}  // namespace tolvane::chd
