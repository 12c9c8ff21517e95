#include "bmp_builder.h"

#include "logo/picture/bitmap_exchange.h"
#include "logo/base/bytes.h"

#include <algorithm>

namespace tolvane::testing {

std::vector<Byte> buildBmp(const BmpHeaders& headers, const std::vector<Byte>& rows) {
    const bool core = headers.infoHeaderSize == 12;  // OS/2 1.x: 16-bit sizes, 3-byte palette entries
    const std::size_t entrySize = core ? 3 : 4;
    const std::size_t paletteOffset = 14 + headers.infoHeaderSize;
    const std::size_t pixelOffset = paletteOffset + entrySize * headers.palette.size() + headers.gapBeforePixels;
    std::vector<Byte> file(pixelOffset);
    std::span<Byte> f(file);
    f[0] = 'B';
    f[1] = 'M';
    writeLe32(f, 2, static_cast<std::uint32_t>(pixelOffset + rows.size()));
    writeLe32(f, 10, static_cast<std::uint32_t>(pixelOffset));

    // The 40-byte layout, cut to the header's size (OS/2 2.x headers may be shorter).
    std::vector<Byte> info(std::max<std::size_t>(headers.infoHeaderSize, 40));
    writeLe32(info, 0, headers.infoHeaderSize);
    if (core) {
        writeLe16(info, 4, static_cast<std::uint16_t>(headers.width));
        writeLe16(info, 6, static_cast<std::uint16_t>(headers.height));
        writeLe16(info, 8, 1);
        writeLe16(info, 10, headers.bitsPerPixel);
    } else {
        writeLe32(info, 4, static_cast<std::uint32_t>(headers.width));
        writeLe32(info, 8, static_cast<std::uint32_t>(headers.height));
        writeLe16(info, 12, 1);
        writeLe16(info, 14, headers.bitsPerPixel);
        writeLe32(info, 16, headers.compression);
        writeLe32(info, 20, static_cast<std::uint32_t>(rows.size()));
        writeLe32(info, 32, headers.coloursUsed);
    }
    std::copy_n(info.begin(), headers.infoHeaderSize, file.begin() + 14);

    for (std::size_t n = 0; n < headers.palette.size(); ++n) {
        const std::size_t at = paletteOffset + entrySize * n;
        f[at] = headers.palette[n].blue;
        f[at + 1] = headers.palette[n].green;
        f[at + 2] = headers.palette[n].red;
    }
    file.insert(file.end(), rows.begin(), rows.end());
    return file;
}

std::vector<Byte> buildIndexedBmp(const LogoImage& logo, const BmpHeaders& headers,
                                  const std::array<Byte, 256>& greyToIndex) {
    std::vector<Byte> rows;
    for (std::size_t fileRow = 0; fileRow < kLogoHeight; ++fileRow) {
        const std::size_t row = headers.height < 0 ? fileRow : kLogoHeight - 1 - fileRow;
        for (std::size_t x = 0; x < kLogoWidth; ++x) rows.push_back(greyToIndex[logo[row * kLogoWidth + x]]);
    }
    return buildBmp(headers, rows);
}

std::vector<Byte> indicesBottomUp(const LogoImage& logo, const std::array<Byte, 256>& greyToIndex) {
    std::vector<Byte> indices;
    for (std::size_t fileRow = 0; fileRow < kLogoHeight; ++fileRow)
        for (std::size_t x = 0; x < kLogoWidth; ++x) indices.push_back(greyToIndex[logo[(63 - fileRow) * 384 + x]]);
    return indices;
}

std::vector<Byte> packRows(const std::vector<Byte>& indices, int bits) {
    const std::size_t stride = (kLogoWidth * static_cast<std::size_t>(bits) + 31) / 32 * 4;
    std::vector<Byte> rows(stride * kLogoHeight, 0);
    for (std::size_t y = 0; y < kLogoHeight; ++y)
        for (std::size_t x = 0; x < kLogoWidth; ++x) {
            const std::size_t bit = x * static_cast<std::size_t>(bits);
            const int shift = 8 - bits - static_cast<int>(bit % 8);
            rows[y * stride + bit / 8] |= static_cast<Byte>(indices[y * kLogoWidth + x] << shift);
        }
    return rows;
}

std::vector<Byte> encodeRle8(const std::vector<Byte>& indices) {
    std::vector<Byte> out;
    for (std::size_t y = 0; y < kLogoHeight; ++y) {
        const Byte* row = indices.data() + y * kLogoWidth;
        std::size_t x = 0;
        while (x < kLogoWidth) {
            std::size_t run = 1;
            while (x + run < kLogoWidth && run < 255 && row[x + run] == row[x]) ++run;
            if (run >= 2) {
                out.insert(out.end(), {Byte(run), row[x]});
                x += run;
                continue;
            }
            std::size_t stored = 1;  // up to the next repeat
            while (x + stored < kLogoWidth && stored < 255 &&
                   !(x + stored + 1 < kLogoWidth && row[x + stored] == row[x + stored + 1]))
                ++stored;
            if (stored < 3) {
                for (std::size_t i = 0; i < stored; ++i) out.insert(out.end(), {Byte(1), row[x + i]});
            } else {
                out.insert(out.end(), {Byte(0), Byte(stored)});
                out.insert(out.end(), row + x, row + x + stored);
                if (stored % 2) out.push_back(0);
            }
            x += stored;
        }
        out.insert(out.end(), {Byte(0), Byte(0)});
    }
    out.insert(out.end(), {Byte(0), Byte(1)});
    return out;
}

std::vector<Byte> encodeRle4(const std::vector<Byte>& indices) {
    std::vector<Byte> out;
    for (std::size_t y = 0; y < kLogoHeight; ++y) {
        const Byte* row = indices.data() + y * kLogoWidth;
        if (y % 2 == 0) {
            for (std::size_t x = 0; x < kLogoWidth; x += 128) {  // stored: 128 pixels, 64 bytes
                out.insert(out.end(), {Byte(0), Byte(128)});
                for (std::size_t i = 0; i < 128; i += 2)
                    out.push_back(static_cast<Byte>(row[x + i] << 4 | row[x + i + 1]));
            }
        } else {
            for (std::size_t x = 0; x < kLogoWidth; x += 2)
                out.insert(out.end(), {Byte(2), static_cast<Byte>(row[x] << 4 | row[x + 1])});
        }
        out.insert(out.end(), {Byte(0), Byte(0)});
    }
    out.insert(out.end(), {Byte(0), Byte(1)});
    return out;
}

std::vector<Rgb> greyPalette() {
    std::vector<Rgb> palette;
    for (int n = 0; n < 256; ++n) palette.push_back({Byte(n), Byte(n), Byte(n)});
    return palette;
}

LogoImage decodedLogo(std::span<const Byte> file, const std::string& name) {
    return logoOf(decodeBitmap(file, name, kLogoShape));
}

}  // namespace tolvane::testing
