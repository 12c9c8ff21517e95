// SHA-1, one 64-byte block at a time.
#include "logo/chd/sha1.h"

#include <algorithm>
#include <bit>

namespace tolvane::chd {

void Sha1::block(const Byte* bytes) {
    std::array<std::uint32_t, 80> w{};
    for (std::size_t i = 0; i < 16; ++i)
        w[i] = std::uint32_t{bytes[4 * i]} << 24 | std::uint32_t{bytes[4 * i + 1]} << 16 |
               std::uint32_t{bytes[4 * i + 2]} << 8 | bytes[4 * i + 3];
    for (std::size_t i = 16; i < 80; ++i) w[i] = std::rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    auto [a, b, c, d, e] = state_;
    for (std::size_t i = 0; i < 80; ++i) {
        std::uint32_t f = 0, k = 0;
        if (i < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999;
        } else if (i < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDC;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6;
        }
        const std::uint32_t next = std::rotl(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = std::rotl(b, 30);
        b = a;
        a = next;
    }
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
