// The logo as a BMP file: written for other programs to change, read back after.
#pragma once

#include "logo/image_layout.h"

#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace tolvane {

inline constexpr std::size_t kFileHeaderSize = 14;
inline constexpr std::size_t kInfoHeaderSize = 40;
inline constexpr std::size_t kPaletteSize = 256 * 4;
inline constexpr std::size_t kBitmapHeaderLength = kFileHeaderSize + kInfoHeaderSize + kPaletteSize;  // 1078
inline constexpr std::size_t kBitmapFileLength = kBitmapHeaderLength + kLogoLength;                   // 25654

using BitmapHeader = std::array<Byte, kBitmapHeaderLength>;
using BitmapPixels = std::array<Byte, kLogoLength>;  // 64 rows of 384, bottom row first

// The template's bare name: looked up in the working directory when exporting.
inline constexpr const char* kHeaderTemplateName = "ettbmp.hed";

// The header of a 384 x 64, 8-bit, bottom-up, uncompressed BMP whose palette
// entry n is grey n; the same bytes as the shipped data/ettbmp.hed.
const BitmapHeader& builtInBitmapHeader();

// Rows bottom first: row k of the result is row 63 - k of the input. Each is the
// other's inverse.
BitmapPixels toBitmapRows(const LogoImage& logo);
LogoImage fromBitmapRows(const BitmapPixels& pixels);

// The header to export with: the template's first 1078 bytes when the template
// file exists, the built-in header when it does not.
BitmapHeader loadHeaderTemplate(const std::filesystem::path& templatePath = kHeaderTemplateName);

struct ExportedBitmap {
    BitmapHeader header;
    BitmapPixels pixels;
};

// Replaces the file at path by the header and the logo's rows: exactly 25654 bytes.
ExportedBitmap exportBitmap(const std::filesystem::path& path, const LogoImage& logo,
                            const std::filesystem::path& templatePath = kHeaderTemplateName);

struct ImportedBitmap {
    LogoImage logo;
    BitmapHeader header;  // the file's first 1078 bytes (zero past a shorter file's end)
    BitmapPixels pixels;  // the logo's grey levels, bottom row first
};

// Reads a 384 x 64 BMP file; each pixel becomes the grey level of its colour.
ImportedBitmap importBitmap(const std::filesystem::path& path);

// The same from bytes in memory; name is how messages call the file.
LogoImage decodeBitmap(std::span<const Byte> file, const std::string& name);

// A grey picture of any shape, rows top first.
struct GreyPicture {
    std::size_t width = 0;
    std::size_t height = 0;
    std::vector<Byte> pixels;
    friend bool operator==(const GreyPicture&, const GreyPicture&) = default;
};

// A bitmap of exactly width x height, read as grey levels.
GreyPicture decodeBitmap(std::span<const Byte> file, const std::string& name, std::size_t width, std::size_t height);
GreyPicture importGreyBitmap(const std::filesystem::path& path, std::size_t width, std::size_t height);

// An 8-bit, bottom-up, uncompressed BMP with a grey palette (entry n is grey n),
// headers built for the picture's shape.
std::vector<Byte> encodeGreyBitmap(const GreyPicture& picture);
void exportGreyBitmap(const std::filesystem::path& path, const GreyPicture& picture);

// Grey level of a colour: the value itself for a grey, else its luminance
// (299 R + 587 G + 114 B) / 1000, rounded.
Byte greyLevel(Byte red, Byte green, Byte blue);

}  // namespace tolvane
