// Images kept compressed or in an archive (CSO, ZSO, gzip, xz, bzip2, Zstandard,
// ZIP, 7-Zip, RAR, tar, and a CHD that a CUE sheet names: a CHD is read when it
// is opened itself): their bytes are not the disc's sectors, so they are refused
// with what to do.
#pragma once

#include <filesystem>
#include <string_view>

namespace tolvane {

// Fails, saying what the file is and how to get the image out of it, when the
// file's first bytes (a tar archive's at 257) are those of such a file.
void refusePackedImage(std::string_view start, const std::filesystem::path& path);

}  // namespace tolvane
