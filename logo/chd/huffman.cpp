// CHD's bit reader and static Huffman decoder.
#include "huffman.h"

#include <algorithm>
#include <array>

namespace tolvane::chd {

std::uint32_t BitReader::peek(int count) const {
    if (count == 0) return 0;
    std::uint64_t word = 0;
    const std::uint64_t first = position_ / 8;
    for (std::uint64_t i = 0; i < 8; ++i)
        word = word << 8 | (first + i < bytes_.size() ? bytes_[static_cast<std::size_t>(first + i)] : 0);
    return static_cast<std::uint32_t>((word << (position_ % 8)) >> (64 - count));
}

HuffmanDecoder::HuffmanDecoder(int codes, int maxBits)
    : codes_(codes), maxBits_(maxBits), lengths_(static_cast<std::size_t>(codes)) {}

void HuffmanDecoder::readRunLengthTree(BitReader& bits) {
    // Each length in a field of a width that depends on maxBits; 1 is an escape:
    // 1 1 stands for a length of 1, 1 L N for N + 3 lengths of L.
    const int width = maxBits_ >= 16 ? 5 : maxBits_ >= 8 ? 4 : 3;
    for (std::size_t code = 0; code < lengths_.size();) {
        const auto length = static_cast<Byte>(bits.read(width));
        if (length != 1) {
            lengths_[code++] = length;
            continue;
        }
        const auto repeated = static_cast<Byte>(bits.read(width));
        if (repeated == 1) {
            lengths_[code++] = 1;
            continue;
        }
        const std::size_t count = bits.read(width) + 3;
        if (count > lengths_.size() - code) throw Damage("its Huffman tree has more codes than symbols");
        std::fill_n(lengths_.begin() + static_cast<std::ptrdiff_t>(code), count, repeated);
        code += count;
    }
    assignCodes();
}

void HuffmanDecoder::readHuffmanTree(BitReader& bits) {
    // The lengths are themselves coded with a small tree of 24 symbols: symbol 0
    // repeats the last length (3 more bits give the count, and 7 an escape to a
    // longer count), symbol n gives the length n - 1.
    HuffmanDecoder small(24, 6);
    small.lengths_[0] = static_cast<Byte>(bits.read(3));
    const std::size_t start = bits.read(3) + 1;
    Byte last = 0;
    for (std::size_t index = 1; index < small.lengths_.size(); ++index) {
        if (index < start || last == 7) {
            small.lengths_[index] = 0;
            continue;
        }
        last = static_cast<Byte>(bits.read(3));
        small.lengths_[index] = last == 7 ? 0 : last;
    }
    small.assignCodes();

    int countBits = 0;
    for (auto rest = static_cast<unsigned>(codes_ - 9); rest != 0; rest >>= 1) ++countBits;
    Byte length = 0;
    for (std::size_t code = 0; code < lengths_.size();) {
        const std::uint32_t symbol = small.decode(bits);
        if (symbol != 0) {
            lengths_[code++] = length = static_cast<Byte>(symbol - 1);
            continue;
        }
        std::size_t count = bits.read(3) + 2;
        if (count == 7 + 2) count += bits.read(countBits);
        for (; count != 0 && code < lengths_.size(); --count) lengths_[code++] = length;
    }
    assignCodes();
}

void HuffmanDecoder::assignCodes() {
    // Counting codes by length from the longest down, each length's first code
    // is half of where the longer ones ended; a tree whose codes do not fill
    // their lengths exactly is damaged (as chdman makes them, length 1 aside).
    std::array<std::uint32_t, 33> next{};
    for (const Byte length : lengths_) {
        if (length > maxBits_) throw Damage("its Huffman tree has a code longer than the format allows");
        ++next[length];
    }
    std::uint32_t start = 0;
    for (int length = 32; length > 0; --length) {
        const std::uint32_t end = start + next[static_cast<std::size_t>(length)];
        if (length != 1 && end % 2 != 0) throw Damage("its Huffman tree is not a valid tree");
        next[static_cast<std::size_t>(length)] = start;
        start = end / 2;
    }
    table_.assign(std::size_t{1} << maxBits_, 0);
    for (std::size_t symbol = 0; symbol < lengths_.size(); ++symbol) {
        const Byte length = lengths_[symbol];
        if (length == 0) continue;
        const std::uint32_t code = next[length]++;
        if (code >> length != 0) throw Damage("its Huffman tree is not a valid tree");
        const int shift = maxBits_ - length;
        const auto first = table_.begin() + static_cast<std::ptrdiff_t>(std::size_t{code} << shift);
        std::fill(first, first + static_cast<std::ptrdiff_t>(std::size_t{1} << shift),
                  static_cast<std::uint32_t>(symbol << 5 | length));
    }
}

std::uint32_t HuffmanDecoder::decode(BitReader& bits) const {
    const std::uint32_t entry = table_[bits.peek(maxBits_)];
    if ((entry & 0x1F) == 0) throw Damage("its Huffman-coded data holds a code that is not in its tree");
    bits.skip(static_cast<int>(entry & 0x1F));
    return entry >> 5;
}

}  // namespace tolvane::chd
