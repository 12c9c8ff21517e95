// Pictures as BMP files: written for other programs to change, read back after.
// One encoder and one decoder over bytes in memory; the file functions beside
// them only read and write whole files.
#pragma once

#include "logo/grey_picture.h"

#include <array>
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

// The header of an 8-bit, bottom-up, uncompressed BMP of that shape whose
// palette entry n is grey n.
BitmapHeader greyBitmapHeader(PictureShape shape);
// That header for the logo's 384 x 64; the same bytes as the shipped data/ettbmp.hed.
const BitmapHeader& builtInBitmapHeader();

// The encoder: the header, then the picture's rows bottom first, one byte a
// pixel, each row padded to a multiple of 4 bytes.
std::vector<Byte> encodeBitmap(const GreyPicture& picture, const BitmapHeader& header);

// The decoder: a BMP of exactly that shape as other programs write it, each pixel
// the grey level of its colour. A file of another shape or kind, or a damaged
// one, fails with the reason; name is how the message calls the file.
GreyPicture decodeBitmap(std::span<const Byte> file, const std::string& name, PictureShape shape);

// Grey level of a colour: the value itself for a grey, else its luminance
// (299 R + 587 G + 114 B) / 1000, rounded.
Byte greyLevel(Byte red, Byte green, Byte blue);

// Replaces the file at path by the encoded picture; an existing file stays as it
// was when anything fails.
void writeBitmapFile(const std::filesystem::path& path, const GreyPicture& picture, const BitmapHeader& header);
// Reads and decodes the file at path.
GreyPicture readBitmapFile(const std::filesystem::path& path, PictureShape shape);

// Whether the file at path starts as a picture file this program writes does: a
// BMP's "BM" or PNG's signature. False for a file that cannot be read.
bool startsAsPicture(const std::filesystem::path& path);

// The logo's rows bottom first: row k of the result is row 63 - k of the input.
// Each is the other's inverse.
BitmapPixels toBitmapRows(const LogoImage& logo);
LogoImage fromBitmapRows(const BitmapPixels& pixels);

// The header to export the logo with: the template's first 1078 bytes when the
// template file exists, the built-in header when it does not.
BitmapHeader loadHeaderTemplate(const std::filesystem::path& templatePath = kHeaderTemplateName);

struct ExportedBitmap {
    BitmapHeader header;
    BitmapPixels pixels;
};

// The logo as a bitmap file headed by the template: exactly 25654 bytes.
ExportedBitmap exportBitmap(const std::filesystem::path& path, const LogoImage& logo,
                            const std::filesystem::path& templatePath = kHeaderTemplateName);

struct ImportedBitmap {
    LogoImage logo;
    BitmapHeader header;  // the file's first 1078 bytes (zero past a shorter file's end)
    BitmapPixels pixels;  // the logo's grey levels, bottom row first
};

// A 384 x 64 bitmap file as the logo.
ImportedBitmap importBitmap(const std::filesystem::path& path);

}  // namespace tolvane
