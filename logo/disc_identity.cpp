#include "logo/disc_identity.h"

#include "logo/byte_order.h"
#include "logo/file_io.h"

#include <algorithm>
#include <exception>
#include <array>
#include <cctype>
#include <optional>
#include <vector>

namespace tolvane {

namespace {

constexpr std::size_t kDescriptorSector = 16;
constexpr std::size_t kRootRecordAt = 156;  // in the primary volume descriptor
constexpr std::size_t kMinRecordLength = 34;
constexpr std::uint32_t kMaxDirectoryLength = 64 * 2048;  // a PS2 root directory is a sector or two
constexpr std::uint32_t kMaxSystemCnfLength = 8 * 1024;   // a few lines of text

const std::array<const ImageLayout*, 3> kLayouts{&kRawMode2Layout, &kRawMode1Layout, &kPlainLayout};

// Reads user data of consecutive sectors under a layout; nothing when the file ends first.
std::optional<std::vector<Byte>> readUserData(File& file, const ImageLayout& layout, std::uint64_t sector,
                                              std::uint32_t length) {
    std::vector<Byte> data(length);
    for (std::uint32_t done = 0; done < length;) {
        const std::uint32_t piece = std::min<std::uint32_t>(length - done, kUserDataLength);
        const std::uint64_t at = (sector + done / kUserDataLength) * layout.sectorSize + layout.userDataOffset;
        if (file.readAt(at, std::span<Byte>(data).subspan(done, piece)) != piece) return std::nullopt;
        done += piece;
    }
    return data;
}

bool hasVolumeDescriptor(File& file, const ImageLayout& layout) {
    const auto start = readUserData(file, layout, kDescriptorSector, 6);
    static constexpr std::array<Byte, 5> kId{'C', 'D', '0', '0', '1'};
    return start && std::equal(kId.begin(), kId.end(), start->begin() + 1);
}

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    return text;
}

std::string trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

struct FileExtent {
    std::uint32_t sector;
    std::uint32_t length;
};

// Finds SYSTEM.CNF among the records of the root directory.
std::optional<FileExtent> findSystemCnf(const std::vector<Byte>& directory) {
    for (std::size_t sectorStart = 0; sectorStart < directory.size(); sectorStart += kUserDataLength) {
        const std::size_t sectorEnd = std::min(directory.size(), sectorStart + kUserDataLength);
        for (std::size_t at = sectorStart; at < sectorEnd;) {
            const std::size_t length = directory[at];
            if (length == 0) break;  // the rest of this sector is unused
            if (length < kMinRecordLength || at + length > sectorEnd) return std::nullopt;
            const std::span<const Byte> record(directory.data() + at, length);
            const std::size_t nameLength = record[32];
            if (33 + nameLength > length) return std::nullopt;
            std::string name(record.begin() + 33, record.begin() + 33 + static_cast<std::ptrdiff_t>(nameLength));
            name = upper(name.substr(0, name.find(';')));
            const bool isDirectory = record[25] & 0x02;
            if (!isDirectory && name == "SYSTEM.CNF") return FileExtent{readLe32(record, 2), readLe32(record, 10)};
            at += length;
        }
    }
    return std::nullopt;
}

DiscIdentity unknown(std::string because) {
    DiscIdentity identity;
    identity.unknownBecause = std::move(because);
    return identity;
}

}  // namespace

bool isSerial(const std::string& name) {
    if (name.size() != 11 || name[4] != '_' || name[8] != '.') return false;
    for (std::size_t i : {0, 1, 2, 3})
        if (!std::isupper(static_cast<unsigned char>(name[i]))) return false;
    for (std::size_t i : {5, 6, 7, 9, 10})
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return false;
    return true;
}

const ImageLayout& detectImageLayout(const std::filesystem::path& path) {
    File file = File::openForReading(path);
    for (const ImageLayout* layout : kLayouts)
        if (hasVolumeDescriptor(file, *layout)) return *layout;
    return kRawMode2Layout;
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
    if (identity.serial.empty()) {
        std::string text = "serial unknown: " + identity.unknownBecause;
        if (identity.videoMode != VideoMode::Unknown) text += ", " + describe(identity.videoMode);
        return text;
    }
    return identity.serial + ", " + describe(identity.videoMode);
}

DiscIdentity parseSystemCnf(const std::string& text) {
    std::string bootFile;
    VideoMode mode = VideoMode::Unknown;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        const auto equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = upper(trim(line.substr(0, equals)));
        const std::string value = trim(line.substr(equals + 1));
        if (key == "BOOT2") bootFile = value;
        if (key == "VMODE" && upper(value) == "NTSC") mode = VideoMode::Ntsc;
        if (key == "VMODE" && upper(value) == "PAL") mode = VideoMode::Pal;
    }
    if (bootFile.empty()) {
        DiscIdentity identity = unknown("SYSTEM.CNF has no BOOT2 line");
        identity.videoMode = mode;
        return identity;
    }
    // cdrom0:\SLUS_200.01;1 -> SLUS_200.01
    std::string name =
        bootFile.substr(bootFile.find_last_of("\\/:") == std::string::npos ? 0 : bootFile.find_last_of("\\/:") + 1);
    name = upper(name.substr(0, name.find(';')));
    DiscIdentity identity;
    identity.videoMode = mode;
    if (isSerial(name)) {
        identity.serial = name;
    } else {
        identity.unknownBecause = "the boot file " + name + " is not named like a serial";
    }
    return identity;
}

namespace {

DiscIdentity readIdentity(const std::filesystem::path& path, const ImageLayout& layout) {
    File file = File::openForReading(path);
    const auto descriptor = readUserData(file, layout, kDescriptorSector, kUserDataLength);
    if (!descriptor || (*descriptor)[0] != 1 || !hasVolumeDescriptor(file, layout))
        return unknown("no ISO 9660 volume descriptor");

    const std::span<const Byte> root(descriptor->data() + kRootRecordAt, kMinRecordLength);
    const std::uint32_t rootSector = readLe32(root, 2);
    const std::uint32_t rootLength = readLe32(root, 10);
    if (rootLength == 0 || rootLength > kMaxDirectoryLength) return unknown("the root directory is damaged");
    const auto directory = readUserData(file, layout, rootSector, rootLength);
    if (!directory) return unknown("the root directory lies past the end of the file");

    const auto systemCnf = findSystemCnf(*directory);
    if (!systemCnf) return unknown("no SYSTEM.CNF in the root directory");
    if (systemCnf->length == 0 || systemCnf->length > kMaxSystemCnfLength) return unknown("SYSTEM.CNF is damaged");
    const auto text = readUserData(file, layout, systemCnf->sector, systemCnf->length);
    if (!text) return unknown("SYSTEM.CNF lies past the end of the file");
    file.close();
    return parseSystemCnf(std::string(text->begin(), text->end()));
}

}  // namespace

DiscIdentity readDiscIdentity(const std::filesystem::path& path, const ImageLayout& layout) {
    try {
        return readIdentity(path, layout);
    } catch (const std::exception& failure) {
        return unknown(failure.what());
    }
}

}  // namespace tolvane
