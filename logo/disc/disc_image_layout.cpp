// The logo taken out of an image's first bytes and put back.
#include "logo/disc/disc_image_layout.h"

#include <algorithm>

namespace tolvane {

ExtractedLogo extractLogo(const ImagePrefix& prefix) {
    ExtractedLogo result{};
    const auto bytes = prefix.bytes();
    for (std::size_t i = 0; i < kLogoSectors; ++i) {
        const auto from = bytes.begin() + static_cast<std::ptrdiff_t>(prefix.layout().payloadOffset(i));
        std::copy_n(from, kUserDataLength, result.payloads[i].begin());
        std::copy_n(from, kUserDataLength, result.logo.begin() + static_cast<std::ptrdiff_t>(i * kUserDataLength));
    }
    return result;
}

void insertLogo(std::span<const Byte, kLogoLength> logo, ImagePrefix& prefix) {
    auto bytes = prefix.bytes();
    for (std::size_t i = 0; i < kLogoSectors; ++i)
        std::copy_n(logo.begin() + static_cast<std::ptrdiff_t>(i * kUserDataLength), kUserDataLength,
                    bytes.begin() + static_cast<std::ptrdiff_t>(prefix.layout().payloadOffset(i)));
}

}  // namespace tolvane
