// The little of ISO 9660 this program reads: the primary volume descriptor at
// sector 16, the root directory it points to, and a file listed there. Sectors
// come from a reader, so the walk works on any layout and reads only what it needs.
#pragma once

#include "logo/base/bytes.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tolvane {

inline constexpr std::uint64_t kVolumeDescriptorSector = 16;

// The user data of `length` bytes from consecutive sectors starting at `sector`,
// or nothing when the image ends first.
using UserDataReader = std::function<std::optional<std::vector<Byte>>(std::uint64_t sector, std::uint32_t length)>;

// Whether user data starts as a volume descriptor does: a type byte, then "CD001".
bool startsVolumeDescriptor(std::span<const Byte> userData);

struct RootFile {
    std::vector<Byte> contents;
    std::string missingBecause;  // empty when the file was read
};

// A file of the root directory by name ("SYSTEM.CNF"; its version ";1" and the
// letter case do not matter), at most maxLength bytes long. Anything missing or
// malformed gives the reason instead, never a failure.
RootFile readRootFile(const UserDataReader& read, const std::string& name, std::uint32_t maxLength);

}  // namespace tolvane
