// Any bytes as a CHD file: its disc's first sectors (the logo, the volume
// descriptor) and its last, or a Failure, nothing else.
#include "logo/base/failure.h"
#include "logo/chd/chd_image.h"
#include "logo/disc/sector_checks.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tolvane;
    const std::span<const Byte> file(data, size);
    const ChdSource source = [file](std::uint64_t at, std::span<Byte> out) -> std::size_t {
        if (at >= file.size()) return 0;
        const std::size_t n = std::min<std::uint64_t>(out.size(), file.size() - at);
        std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(at), n, out.begin());
        return n;
    };
    try {
        ChdImage chd = ChdImage::open(source, size, "fuzz.chd",
                                      [](std::span<Byte, kRawSectorSize> sector) { writeEccOf(sector); });
        std::vector<Byte> bytes(40000);
        chd.readDisc(0, bytes);
        const ChdDisc& disc = chd.disc();
        if (disc.sectors > 0) chd.readDisc((disc.sectors - 1) * disc.sectorSize, bytes);
    } catch (const Failure&) {
    }
    return 0;
}
