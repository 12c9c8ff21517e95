// The header template exported bitmaps start with, ettbmp.hed: the file header,
// information header and palette of a 384 x 64 grey BMP, which a person may
// replace with one of their own.
#pragma once

#include "logo/picture/bitmap_exchange.h"

#include <filesystem>
#include <span>
#include <vector>

namespace tolvane {

inline constexpr const char* kHeaderTemplateName = "ettbmp.hed";

// Where the template is looked for, in order: the current folder, the
// program's own folder, the folder it is installed into.
std::vector<std::filesystem::path> templateFolders();

// The first 1078 bytes of the first template found in the folders, once
// checked; the built-in header when no folder holds one.
BitmapHeader loadHeaderTemplate(const std::vector<std::filesystem::path>& folders = templateFolders());

// Fails, naming the file and what is wrong, unless the header gives the logo back
// as it is: "BM", pixel data at 1078, a 40-byte information header of a 384 x 64
// bottom-up, 8-bit, uncompressed picture, and palette entry n grey level n.
void checkHeaderTemplate(std::span<const Byte> header, const std::filesystem::path& file);

}  // namespace tolvane
