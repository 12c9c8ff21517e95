// What write_chd_discs writes and the CHD tests read back.
#pragma once

#include <cstddef>

namespace tolvane {

// Sectors of each small disc: chdman 0.251 reads back some CHDs of fewer than 64 sectors wrongly.
constexpr std::size_t kChdDiscSectors = 80;

}  // namespace tolvane
