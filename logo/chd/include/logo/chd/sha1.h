// SHA-1 (FIPS 180-4), which a CHD's header keeps of its data and of its data
// with its metadata.
#pragma once

#include "logo/base/bytes.h"

#include <array>
#include <cstdint>
#include <span>

namespace tolvane::chd {

using Sha1Digest = std::array<Byte, 20>;

class Sha1 {
public:
    void add(std::span<const Byte> bytes);
    Sha1Digest finish();  // once; the object is spent after it

private:
    void block(const Byte* bytes);

    std::array<std::uint32_t, 5> state_{0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    std::array<Byte, 64> pending_{};
    std::size_t pendingBytes_ = 0;
    std::uint64_t length_ = 0;
};

inline Sha1Digest sha1Of(std::span<const Byte> bytes) {
    Sha1 sha;
    sha.add(bytes);
    return sha.finish();
}

}  // namespace tolvane::chd
