// The sample disc the benchmarks work on.
#include "sample_disc.h"

#include "logo/disc/sector_checks.h"

#include <algorithm>

namespace tolvane::bench {

namespace {

Byte bcd(std::size_t n) { return static_cast<Byte>((n / 10) << 4 | (n % 10)); }

}  // namespace

ImagePrefix validPrefix() {
    ImagePrefix prefix;
    const std::span<Byte> bytes = prefix.bytes();
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<Byte>(i * 7 + i / kRawSectorSize * 13 + 1);
    // Sync, header and subheader of sectors 0-12; the prefix ends with sector 12's.
    for (std::size_t n = 0; n <= kLogoSectors; ++n) {
        const std::span<Byte> head = bytes.subspan(n * kRawSectorSize, 24);
        std::fill(head.begin(), head.begin() + 12, Byte{0xFF});
        head[0] = head[11] = 0;
        const std::size_t frame = n + 150;  // sector 0 is at 00:02:00
        head[12] = bcd(frame / 4500);
        head[13] = bcd(frame / 75 % 60);
        head[14] = bcd(frame % 75);
        head[15] = 2;
        for (std::size_t copy : {16u, 20u}) {
            head[copy] = head[copy + 1] = head[copy + 3] = 0;
            head[copy + 2] = 0x08;  // submode: data, Form 1
        }
        if (n < kLogoSectors) writeCheckFields(rawSector(bytes, n));
    }
    return prefix;
}

LogoImage sampleLogo(unsigned seed) {
    LogoImage logo{};
    for (std::size_t k = 0; k < logo.size(); ++k)
        logo[k] = static_cast<Byte>((k % kLogoWidth) * 3 + (k / kLogoWidth) * 5 + seed * 17);
    return logo;
}

}  // namespace tolvane::bench
