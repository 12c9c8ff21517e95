// Which layout an image file has, and which game it is: the serial and video
// mode from SYSTEM.CNF in the disc's root directory. Only a handful of small
// reads, wherever the sectors lie; never the whole image.
#pragma once

#include "logo/image_layout.h"

#include <filesystem>
#include <string>

namespace tolvane {

// The layout under which the ISO 9660 volume descriptor ("CD001") appears at the
// start of sector 16's user data; the raw Mode 2 layout when none shows it.
const ImageLayout& detectImageLayout(const std::filesystem::path& path);

enum class VideoMode { Unknown, Ntsc, Pal };

struct DiscIdentity {
    std::string serial;  // "SLUS_200.01", or empty when unknown
    VideoMode videoMode = VideoMode::Unknown;
    std::string unknownBecause;  // why the serial is unknown, for people
};

// Reads SYSTEM.CNF through the root directory. Anything missing, malformed or
// unreadable gives an unknown serial with its reason: never a failure.
DiscIdentity readDiscIdentity(const std::filesystem::path& path, const ImageLayout& layout);

// Four letters, an underscore, three digits, a dot, two digits: SLUS_200.01.
bool isSerial(const std::string& name);

// The parts of a SYSTEM.CNF text this program uses.
DiscIdentity parseSystemCnf(const std::string& text);

std::string describe(VideoMode mode);

// "SLUS_200.01, NTSC", or "serial unknown: no SYSTEM.CNF in the root directory".
std::string describe(const DiscIdentity& identity);

}  // namespace tolvane
