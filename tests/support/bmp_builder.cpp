#include "bmp_builder.h"

#include "logo/byte_order.h"

namespace tolvane::testing {

std::vector<Byte> buildBmp(const BmpSpec& spec, const std::vector<Byte>& rows) {
    const std::size_t paletteOffset = 14 + spec.infoHeaderSize;
    const std::size_t pixelOffset = paletteOffset + 4 * spec.palette.size() + spec.gapBeforePixels;
    std::vector<Byte> file(pixelOffset);
    std::span<Byte> f(file);
    f[0] = 'B';
    f[1] = 'M';
    writeLe32(f, 2, static_cast<std::uint32_t>(pixelOffset + rows.size()));
    writeLe32(f, 10, static_cast<std::uint32_t>(pixelOffset));
    writeLe32(f, 14, spec.infoHeaderSize);
    if (spec.infoHeaderSize >= 40) {
        writeLe32(f, 18, static_cast<std::uint32_t>(spec.width));
        writeLe32(f, 22, static_cast<std::uint32_t>(spec.height));
        writeLe16(f, 26, 1);
        writeLe16(f, 28, spec.bitsPerPixel);
        writeLe32(f, 30, spec.compression);
        writeLe32(f, 34, static_cast<std::uint32_t>(rows.size()));
        writeLe32(f, 46, spec.coloursUsed);
    }
    for (std::size_t n = 0; n < spec.palette.size(); ++n) {
        f[paletteOffset + 4 * n] = spec.palette[n].blue;
        f[paletteOffset + 4 * n + 1] = spec.palette[n].green;
        f[paletteOffset + 4 * n + 2] = spec.palette[n].red;
    }
    file.insert(file.end(), rows.begin(), rows.end());
    return file;
}

std::vector<Byte> buildIndexedBmp(const LogoImage& logo, const BmpSpec& spec,
                                  const std::array<Byte, 256>& greyToIndex) {
    std::vector<Byte> rows;
    for (std::size_t fileRow = 0; fileRow < kLogoHeight; ++fileRow) {
        const std::size_t row = spec.height < 0 ? fileRow : kLogoHeight - 1 - fileRow;
        for (std::size_t x = 0; x < kLogoWidth; ++x) rows.push_back(greyToIndex[logo[row * kLogoWidth + x]]);
    }
    return buildBmp(spec, rows);
}

std::vector<Rgb> greyPalette() {
    std::vector<Rgb> palette;
    for (int n = 0; n < 256; ++n) palette.push_back({Byte(n), Byte(n), Byte(n)});
    return palette;
}

}  // namespace tolvane::testing
