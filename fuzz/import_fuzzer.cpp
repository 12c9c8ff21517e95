// Any bytes as an imported picture (BMP or PNG), through the rest of an import:
// the logo goes into a consistent raw image prefix and the check fields are
// recomputed. Traps when the result breaks what an import promises.
#include "logo/disc/disc_image_layout.h"
#include "logo/base/failure.h"
#include "logo/picture/picture_file.h"
#include "logo/disc/sector_checks.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

using namespace tolvane;

ImagePrefix consistentPrefix() {
    ImagePrefix prefix;
    auto bytes = prefix.bytes();
    for (std::size_t n = 0; n < kLogoSectors; ++n) {
        const RawSector sector = rawSector(bytes, n);
        sector[0] = sector[11] = 0;
        std::fill(sector.begin() + 1, sector.begin() + 11, Byte{0xFF});
        sector[14] = static_cast<Byte>(n);
        sector[15] = 2;
        sector[18] = sector[22] = 0x08;
        for (std::size_t i = 24; i < 2072; ++i) sector[i] = static_cast<Byte>(i * n);
        writeCheckFields(sector);
    }
    for (std::size_t i = kLogoSectors * kRawSectorSize; i < prefix.size(); ++i) bytes[i] = static_cast<Byte>(i);
    return prefix;
}

bool isUserData(std::size_t offset) {
    const std::size_t within = offset % kRawSectorSize;
    return offset < kLogoSectors * kRawSectorSize && within >= 24 && within < 2072;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const ImagePrefix original = consistentPrefix();
    LogoImage logo;
    try {
        logo = logoOf(decodePicture({data, size}, "\"fuzz\"", kLogoShape));
    } catch (const Failure&) {
        return 0;
    }
    ImagePrefix prefix = original;
    insertLogo(logo, prefix);
    if (refreshCheckFields(prefix, original) != kLogoSectors) __builtin_trap();
    if (extractLogo(prefix).logo != logo) __builtin_trap();
    for (std::size_t n = 0; n < kLogoSectors; ++n)
        if (!inspectSector(rawSector(prefix.bytes(), n)).checksValid()) __builtin_trap();
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const bool checkField = i < kLogoSectors * kRawSectorSize && i % kRawSectorSize >= 2072;
        if (!isUserData(i) && !checkField && prefix.bytes()[i] != original.bytes()[i]) __builtin_trap();
    }
    return 0;
}
