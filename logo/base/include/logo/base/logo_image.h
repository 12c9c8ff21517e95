// The logo's bytes: 64 rows of 384 grey levels, top row first, one byte a
// pixel, 0 black to 255 white. What the disc stores in its first sectors and
// pictures show, below both.
#pragma once

#include "logo/base/bytes.h"

#include <array>
#include <cstddef>

namespace tolvane {

inline constexpr std::size_t kLogoWidth = 384;
inline constexpr std::size_t kLogoHeight = 64;
inline constexpr std::size_t kLogoLength = kLogoWidth * kLogoHeight;  // 24576

using LogoImage = std::array<Byte, kLogoLength>;  // 64 rows of 384 grey levels, top row first

}  // namespace tolvane
