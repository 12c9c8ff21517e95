// Which game a disc holds, as its SYSTEM.CNF tells: the serial of its boot file
// and its video mode.
#pragma once

#include "logo/base/failure.h"

#include <optional>
#include <string>

namespace tolvane {

enum class VideoMode { Unknown, Ntsc, Pal };

struct DiscIdentity {
    std::string serial;  // "SLUS_200.01", or empty when unknown
    VideoMode videoMode = VideoMode::Unknown;
    std::string unknownBecause;  // why the serial is unknown, for people
    // The system's failure (a disk's read error) that kept the root directory or
    // SYSTEM.CNF from being read: then not even the absence of a serial is known.
    std::optional<Failure> unreadable;
};

DiscIdentity unknownIdentity(std::string because);
DiscIdentity unreadableIdentity(const Failure& failure);

// The identity, for what depends on it (a key, a patch file's description):
// throws the failure that kept it from being read.
const DiscIdentity& readable(const DiscIdentity& identity);

// Four letters, an underscore, three digits, a dot, two digits: SLUS_200.01.
bool isSerial(const std::string& name);

// The parts of a SYSTEM.CNF text this program uses:
//     BOOT2 = cdrom0:\SLUS_200.01;1
//     VMODE = NTSC
DiscIdentity parseSystemCnf(const std::string& text);

std::string describe(VideoMode mode);

// "SLUS_200.01, NTSC", or "serial unknown: no SYSTEM.CNF in the root directory",
// or "serial not read: Cannot read ...".
std::string describe(const DiscIdentity& identity);

}  // namespace tolvane
