// Bytes, and the little-endian fields that BMP files and CD sectors store.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tolvane {

using Byte = std::uint8_t;

inline std::uint16_t readLe16(std::span<const Byte> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

inline std::uint32_t readLe32(std::span<const Byte> bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

inline std::uint64_t readLe64(std::span<const Byte> bytes, std::size_t at) {
    return readLe32(bytes, at) | std::uint64_t{readLe32(bytes, at + 4)} << 32;
}

inline std::int32_t readLeSigned32(std::span<const Byte> bytes, std::size_t at) {
    return static_cast<std::int32_t>(readLe32(bytes, at));
}

inline void writeLe16(std::span<Byte> bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<Byte>(value);
    bytes[at + 1] = static_cast<Byte>(value >> 8);
}

inline void writeLe32(std::span<Byte> bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<Byte>(value >> (8 * i));
}

inline void writeLe64(std::span<Byte> bytes, std::size_t at, std::uint64_t value) {
    writeLe32(bytes, at, static_cast<std::uint32_t>(value));
    writeLe32(bytes, at + 4, static_cast<std::uint32_t>(value >> 32));
}

}  // namespace tolvane
