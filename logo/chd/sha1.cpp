// SHA-1, one 64-byte block at a time.
#include "logo/chd/sha1.h"

#include <algorithm>
#include <bit>

namespace tolvane::chd {

// The 80 rounds in four loops of 20, each with its own function and constant,
// over a schedule of 16 words that each round extends.
void Sha1::block(const Byte* bytes) {
    std::array<std::uint32_t, 16> w{};
    for (std::size_t i = 0; i < 16; ++i)
        w[i] = std::uint32_t{bytes[4 * i]} << 24 | std::uint32_t{bytes[4 * i + 1]} << 16 |
               std::uint32_t{bytes[4 * i + 2]} << 8 | bytes[4 * i + 3];
    // Plain variables rather than a structured binding, which clang 14's lambdas cannot capture.
    std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3], e = state_[4];
    const auto word = [&w](std::size_t i) {
        if (i < 16) return w[i];
        const std::uint32_t next = std::rotl(w[(i + 13) & 15] ^ w[(i + 8) & 15] ^ w[(i + 2) & 15] ^ w[i & 15], 1);
        w[i & 15] = next;
        return next;
    };
    const auto round = [&](std::uint32_t f, std::uint32_t k, std::size_t i) {
        const std::uint32_t next = std::rotl(a, 5) + f + e + k + word(i);
        e = d;
        d = c;
        c = std::rotl(b, 30);
        b = a;
        a = next;
    };
    for (std::size_t i = 0; i < 20; ++i) round(d ^ (b & (c ^ d)), 0x5A827999, i);
    for (std::size_t i = 20; i < 40; ++i) round(b ^ c ^ d, 0x6ED9EBA1, i);
    for (std::size_t i = 40; i < 60; ++i) round((b & c) | (d & (b | c)), 0x8F1BBCDC, i);
    for (std::size_t i = 60; i < 80; ++i) round(b ^ c ^ d, 0xCA62C1D6, i);
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
    state_[4] += e;
}

void Sha1::add(std::span<const Byte> bytes) {
    length_ += bytes.size();
    if (pendingBytes_ > 0) {
        const std::size_t piece = std::min(bytes.size(), pending_.size() - pendingBytes_);
        std::copy_n(bytes.begin(), piece, pending_.begin() + static_cast<std::ptrdiff_t>(pendingBytes_));
        pendingBytes_ += piece;
        bytes = bytes.subspan(piece);
        if (pendingBytes_ < pending_.size()) return;
        block(pending_.data());
        pendingBytes_ = 0;
    }
    for (; bytes.size() >= 64; bytes = bytes.subspan(64)) block(bytes.data());
    std::copy(bytes.begin(), bytes.end(), pending_.begin());
    pendingBytes_ = bytes.size();
}

Sha1Digest Sha1::finish() {
    const std::uint64_t bits = length_ * 8;
    const Byte one = 0x80;
    add({&one, 1});
    const Byte zero = 0;
    while (pendingBytes_ != 56) add({&zero, 1});
    std::array<Byte, 8> count{};
    for (std::size_t i = 0; i < 8; ++i) count[i] = static_cast<Byte>(bits >> (56 - 8 * i));
    add(count);
    Sha1Digest digest{};
    for (std::size_t i = 0; i < 20; ++i) digest[i] = static_cast<Byte>(state_[i / 4] >> (24 - 8 * (i % 4)));
    return digest;
}

}  // namespace tolvane::chd
