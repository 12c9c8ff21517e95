// Finding a file in an ISO 9660 root directory.
#include "logo/disc/iso9660.h"

#include "logo/base/ascii_text.h"

#include "logo/disc/image_layout.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace tolvane {

namespace {

constexpr std::size_t kVolumeSizeAt = 80;   // in the primary volume descriptor: its sectors
constexpr std::size_t kRootRecordAt = 156;  // and the root directory's record
constexpr std::size_t kMinRecordLength = 34;
// A directory is read this many bytes at a time: a PS2 root directory is a
// sector or two, one of thousands of files with long names a few hundred.
constexpr std::uint32_t kDirectoryPiece = 16 * kUserDataLength;

struct Extent {
    std::uint32_t sector;
    std::uint32_t length;
};

// What a look through part of a directory found.
struct Found {
    std::optional<Extent> file;
    bool malformed = false;  // a record that is not one: nothing after it can be trusted
};

// A directory record: byte 0 its length (0: no more records in this sector),
// bytes 2-5 its extent, 10-13 its length in bytes, 25 its flags (bit 1: a
// directory), 32 the name's length, the name from 33. Records never cross a
// sector boundary, so any run of whole sectors can be looked through alone.
Found findFile(const std::vector<Byte>& directory, const std::string& wanted) {
    for (std::size_t sectorStart = 0; sectorStart < directory.size(); sectorStart += kUserDataLength) {
        const std::size_t sectorEnd = std::min(directory.size(), sectorStart + kUserDataLength);
        for (std::size_t at = sectorStart; at < sectorEnd;) {
            const std::size_t length = directory[at];
            if (length == 0) break;
            if (length < kMinRecordLength || at + length > sectorEnd) return {std::nullopt, true};
            const std::span<const Byte> record(directory.data() + at, length);
            const std::size_t nameLength = record[32];
            if (33 + nameLength > length) return {std::nullopt, true};
            std::string name(record.begin() + 33, record.begin() + 33 + static_cast<std::ptrdiff_t>(nameLength));
            name = upperAscii(name.substr(0, name.find(';')));
            const bool isDirectory = record[25] & 0x02;
            if (!isDirectory && name == wanted) return {Extent{readLe32(record, 2), readLe32(record, 10)}};
            at += length;
        }
    }
    return {};
}

RootFile missing(std::string because) { return {{}, std::move(because)}; }

}  // namespace

bool startsVolumeDescriptor(std::span<const Byte> userData) {
    static constexpr std::array<Byte, 5> kId{'C', 'D', '0', '0', '1'};
    return userData.size() >= 6 && std::equal(kId.begin(), kId.end(), userData.begin() + 1);
}

RootFile readRootFile(const UserDataReader& read, const std::string& name, std::uint32_t maxLength) {
    const auto descriptor = read(kVolumeDescriptorSector, kUserDataLength);
    if (!descriptor || (*descriptor)[0] != 1 || !startsVolumeDescriptor(*descriptor))
        return missing("no ISO 9660 volume descriptor");

    const std::span<const Byte> root(descriptor->data() + kRootRecordAt, kMinRecordLength);
    const Extent rootExtent{readLe32(root, 2), readLe32(root, 10)};
    // The directory lies inside the volume, whose size bounds what is read of it.
    const std::uint64_t volumeSectors = readLe32(*descriptor, kVolumeSizeAt);
    const std::uint64_t rootSectors = (std::uint64_t{rootExtent.length} + kUserDataLength - 1) / kUserDataLength;
    if (rootExtent.length == 0 || rootExtent.sector + rootSectors > volumeSectors)
        return missing("the root directory is damaged");

    // Read a piece at a time, up to the piece that lists the file.
    const std::string wanted = upperAscii(name);
    std::optional<Extent> file;
    for (std::uint64_t done = 0; done < rootExtent.length && !file; done += kDirectoryPiece) {
        const auto piece =
            read(rootExtent.sector + done / kUserDataLength,
                 static_cast<std::uint32_t>(std::min<std::uint64_t>(kDirectoryPiece, rootExtent.length - done)));
        if (!piece) return missing("the root directory lies past the end of the file");
        const Found found = findFile(*piece, wanted);
        if (found.malformed) break;
        file = found.file;
    }
    if (!file) return missing("no " + wanted + " in the root directory");
    if (file->length == 0 || file->length > maxLength) return missing(wanted + " is damaged");
    auto contents = read(file->sector, file->length);
    if (!contents) return missing(wanted + " lies past the end of the file");
    return {std::move(*contents), ""};
}

}  // namespace tolvane
