// Pictures as PNG files: written as 8-bit grey, read back in any PNG kind.
// One encoder and one decoder over bytes in memory.
#pragma once

#include "logo/picture/grey_picture.h"

#include <array>
#include <span>
#include <string>
#include <vector>

namespace tolvane {

// The 8-byte signature every PNG file starts with.
inline constexpr std::array<Byte, 8> kPngSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// The encoder: an 8-bit grey PNG, not interlaced, one sample a pixel.
std::vector<Byte> encodePng(const GreyPicture& picture);

// The decoder: a PNG of exactly that shape in any kind (grey, grey and alpha,
// palette, RGB, RGBA; 1 to 16 bits a sample; interlaced or not). A sample of 16
// bits becomes round(v / 257); each pixel becomes the grey level of its colour
// (greyLevel); alpha is not used. A file of another shape or a damaged one
// fails with the reason; name is how the message calls the file.
GreyPicture decodePng(std::span<const Byte> file, const std::string& name, PictureShape shape);

}  // namespace tolvane
