// Picture files as people exchange them: BMP or PNG. Writing takes the format
// from the file's name, reading from the file's first bytes. The two file
// functions only read and write whole files around one encoder and one decoder.
#pragma once

#include "logo/picture/bitmap_exchange.h"

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tolvane {

enum class PictureFormat { Bmp, Png };

// PNG for a name ending in ".png" in any letter case; BMP for any other.
PictureFormat pictureFormatFor(const std::filesystem::path& path);

// The picture as a file of that format. A BMP gets bmpHeader, or when there is
// none the grey header of the picture's shape; a PNG is 8-bit grey.
std::vector<Byte> encodePicture(const GreyPicture& picture, PictureFormat format,
                                const std::optional<BitmapHeader>& bmpHeader = std::nullopt);

// A PNG or a BMP, told apart by its signature, of exactly that shape, each
// pixel the grey level of its colour. Anything else fails with the reason;
// name is how the message calls the file.
GreyPicture decodePicture(std::span<const Byte> file, const std::string& name, PictureShape shape);

// Replaces the file at path by the picture in the format its name asks for: a
// BMP headed by bmpHeader (or the grey header of the picture's shape), or a PNG.
// An existing file stays as it was when anything fails.
void exportBitmap(const std::filesystem::path& path, const GreyPicture& picture,
                  const std::optional<BitmapHeader>& bmpHeader = std::nullopt);

struct ImportedBitmap {
    GreyPicture picture;
    std::optional<BitmapHeader> header;  // a BMP's first 1078 bytes (zero past a shorter file's end)
};
// Reads the picture file at path, a BMP or a PNG of that shape (decodePicture).
ImportedBitmap importBitmap(const std::filesystem::path& path, PictureShape shape = kLogoShape);

// Whether the file at path starts as a picture file this program reads does: a
// BMP's "BM" or PNG's signature. False for a file that cannot be read.
bool startsAsPicture(const std::filesystem::path& path);

}  // namespace tolvane
