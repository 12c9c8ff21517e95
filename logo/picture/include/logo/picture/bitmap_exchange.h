// Pictures as BMP files: written for other programs to change, read back after.
// One encoder and one decoder over bytes in memory (picture_file.h puts them
// beside PNG's and reads and writes the files), and the headers BMPs start with.
#pragma once

#include "logo/base/failure.h"
#include "logo/picture/grey_picture.h"

#include <array>
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
// (299 R + 587 G + 114 B) / 1000, rounded. Every picture file is read by this rule.
Byte greyLevel(Byte red, Byte green, Byte blue);

// What every decoder throws for a picture of another shape than the one asked
// for: "<name> is 400 x 64 pixels; the logo is 384 x 64".
class WrongPictureShape : public Failure {
public:
    WrongPictureShape(const std::string& name, std::int64_t width, std::int64_t height, PictureShape wanted);
    // The picture's shape; zero for a width or height below zero.
    PictureShape found() const { return found_; }

private:
    PictureShape found_;
};

// The one row flip between a picture (rows top first) and a BMP's pixel data
// (rows bottom first, each padded to a multiple of 4 bytes). Each is the other's
// inverse; fromBitmapRows fails for rows of another length than the shape's.
std::vector<Byte> toBitmapRows(const GreyPicture& picture);
GreyPicture fromBitmapRows(std::span<const Byte> rows, PictureShape shape);

}  // namespace tolvane
