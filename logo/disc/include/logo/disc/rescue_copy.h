// The copy of an image's first bytes that a patch leaves when it could neither
// write them nor put them back: what a person needs to repair the image.
#pragma once

#include "logo/disc/image_layout.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace tolvane {

// The bytes of an image a patch writes, for messages: "first 28248 bytes", or
// for a disc that starts further into its file (a CUE sheet's data track after
// others) "28248 bytes from byte 352800 on".
std::string bytesDescription(std::uint64_t start, std::size_t length);

// What a write does with an image's first bytes as they were (those from byte
// `start` of its file) when it could neither write the new ones nor put those
// back: keeps them where the layer that patches decides, and gives what a
// message says of them: where they are, or why they are not.
using RescuePolicy =
    std::function<std::string(const std::filesystem::path& image, std::uint64_t start, const ImagePrefix& asRead)>;

// Keeps the bytes in a new file in the first of `folders` where one can be made
// (a missing folder is made first): a folder the image is in, or one of the
// user's own, never one others may write, where a name could be taken first.
// Gives what a message says of it.
std::string saveAsTheyWere(const std::filesystem::path& image, std::uint64_t start, const ImagePrefix& asRead,
                           const std::vector<std::filesystem::path>& folders);

}  // namespace tolvane
