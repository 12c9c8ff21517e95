// Reading SYSTEM.CNF.
#include "logo/disc/system_cnf.h"

#include "logo/base/ascii_text.h"

#include <algorithm>
#include <cctype>

namespace tolvane {

namespace {

std::string trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

DiscIdentity unknownIdentity(std::string because) {
    DiscIdentity identity;
    identity.unknownBecause = std::move(because);
    return identity;
}

DiscIdentity unreadableIdentity(const Failure& failure) {
    DiscIdentity identity;
    identity.unreadable = failure;
    return identity;
}

const DiscIdentity& readable(const DiscIdentity& identity) {
    if (identity.unreadable) throw *identity.unreadable;
    return identity;
}

bool isSerial(const std::string& name) {
    if (name.size() != 11 || name[4] != '_' || name[8] != '.') return false;
    for (std::size_t i : {0, 1, 2, 3})
        if (!std::isupper(static_cast<unsigned char>(name[i]))) return false;
    for (std::size_t i : {5, 6, 7, 9, 10})
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return false;
    return true;
}

std::string describe(VideoMode mode) {
    switch (mode) {
        case VideoMode::Ntsc: return "NTSC";
        case VideoMode::Pal: return "PAL";
        case VideoMode::Unknown: break;
    }
    return "video mode unknown";
}

std::string describe(const DiscIdentity& identity) {
    if (identity.unreadable) return "serial not read: " + std::string(identity.unreadable->what());
    if (identity.serial.empty()) {
        std::string text = "serial unknown: " + identity.unknownBecause;
        if (identity.videoMode != VideoMode::Unknown) text += ", " + describe(identity.videoMode);
        return text;
    }
    return identity.serial + ", " + describe(identity.videoMode);
}

DiscIdentity parseSystemCnf(const std::string& text) {
    // A byte order mark before the first line, as some editors save text, is no part of it.
    const std::size_t firstLine = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    std::string bootFile;
    VideoMode mode = VideoMode::Unknown;
    std::size_t start = firstLine;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        const auto equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = upperAscii(trim(line.substr(0, equals)));
        const std::string value = trim(line.substr(equals + 1));
        if (key == "BOOT2") bootFile = value;
        if (key == "VMODE" && upperAscii(value) == "NTSC") mode = VideoMode::Ntsc;
        if (key == "VMODE" && upperAscii(value) == "PAL") mode = VideoMode::Pal;
    }
    DiscIdentity identity = bootFile.empty() ? unknownIdentity("SYSTEM.CNF has no BOOT2 line") : DiscIdentity{};
    identity.videoMode = mode;
    if (bootFile.empty()) return identity;

    // cdrom0:\SLUS_200.01;1 -> SLUS_200.01
    const auto folderEnd = bootFile.find_last_of("\\/:");
    std::string name = bootFile.substr(folderEnd == std::string::npos ? 0 : folderEnd + 1);
    name = upperAscii(name.substr(0, name.find(';')));
    if (isSerial(name)) {
        identity.serial = name;
    } else {
        identity.unknownBecause = "the boot file " + name + " is not named like a serial";
    }
    return identity;
}

}  // namespace tolvane
