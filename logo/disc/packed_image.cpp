// Recognising compressed images and archives.
#include "logo/disc/packed_image.h"

#include "logo/base/failure.h"

namespace tolvane {

namespace {

struct Packed {
    std::string_view signature;
    const char* what;
    const char* how;
    std::size_t at = 0;  // where the signature stands in the file
};

constexpr Packed kPacked[] = {
    {"MComprHD", "a CHD image, which is compressed", "decompress it first, for example with chdman extractcd"},
    {"CISO", "a CSO image, which is compressed", "decompress it first, for example with maxcso --decompress"},
    {"ZISO", "a ZSO image, which is compressed", "decompress it first, for example with maxcso --decompress"},
    {"\x1F\x8B", "compressed with gzip", "decompress it first, for example with gunzip"},
    {"\xFD"
     "7zXZ",
     "compressed with xz", "decompress it first, for example with unxz"},
    {"PK\x03\x04", "a ZIP archive", "extract the image from it first, for example with unzip"},
    {"7z\xBC\xAF\x27\x1C", "a 7-Zip archive", "extract the image from it first, for example with 7z x"},
    {"BZh", "compressed with bzip2", "decompress it first, for example with bunzip2"},
    {"\x28\xB5\x2F\xFD", "compressed with Zstandard", "decompress it first, for example with unzstd"},
    {"Rar!\x1A\x07", "a RAR archive", "extract the image from it first, for example with unrar x"},
    {"ustar", "a tar archive", "extract the image from it first, for example with tar xf", 257},
};

}  // namespace

void refusePackedImage(std::string_view start, const std::filesystem::path& path) {
    for (const Packed& packed : kPacked)
        if (start.size() > packed.at && start.substr(packed.at, packed.signature.size()) == packed.signature)
            throw Failure("Cannot open " + quoted(path) + ": it is " + packed.what + "; " + packed.how,
                          Problem::NotSupported);
}

}  // namespace tolvane
