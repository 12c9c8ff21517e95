// Which game a disc holds, as its SYSTEM.CNF tells: the serial of its boot file
// and its video mode.
#pragma once

#include <string>

namespace tolvane {

enum class VideoMode { Unknown, Ntsc, Pal };

struct DiscIdentity {
    std::string serial;  // "SLUS_200.01", or empty when unknown
    VideoMode videoMode = VideoMode::Unknown;
    std::string unknownBecause;  // why the serial is unknown, for people
};

DiscIdentity unknownIdentity(std::string because);

// Four letters, an underscore, three digits, a dot, two digits: SLUS_200.01.
bool isSerial(const std::string& name);

// The parts of a SYSTEM.CNF text this program uses:
//     BOOT2 = cdrom0:\SLUS_200.01;1
//     VMODE = NTSC
DiscIdentity parseSystemCnf(const std::string& text);

std::string describe(VideoMode mode);

// "SLUS_200.01, NTSC", or "serial unknown: no SYSTEM.CNF in the root directory".
std::string describe(const DiscIdentity& identity);

}  // namespace tolvane
