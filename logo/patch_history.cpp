#include "logo/patch_history.h"

#include "logo/failure.h"
#include "logo/file_io.h"
#include "logo/sector_checks.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <optional>
#include <span>
#include <system_error>

namespace tolvane {

namespace {

// A backup file: a header (magic, format version, prefix length, time as 64
// bits, path length), the image's canonical path as UTF-8, the prefix before the
// patch, the prefix the patch wrote, and a 64-bit checksum of all of that. Format
// 2 checksums with the CRC of the sectors' EDC (in the low 32 bits), which runs
// many bytes a step; format 1, still read, used a 64-bit FNV-1a hash, which costs
// a multiplication a byte.
constexpr std::array<Byte, 8> kMagic{'T', 'L', 'V', 'U', 'N', 'D', 'O', '\n'};
constexpr std::uint32_t kFormatVersion = 2;
constexpr std::uint32_t kFnvFormatVersion = 1;
constexpr std::size_t kHeaderLength = 8 + 4 + 4 + 8 + 4;
constexpr std::size_t kHashLength = 8;
constexpr std::size_t kMaxPathLength = 32 * 1024;
constexpr std::size_t kMaxPrefixLength = [] {
    std::size_t longest = 0;
    for (const ImageLayout* layout : kImageLayouts) longest = std::max(longest, layout->prefixLength);
    return longest;
}();
constexpr std::size_t kMaxBackupSize = kHeaderLength + kMaxPathLength + 2 * kMaxPrefixLength + kHashLength;
constexpr const char* kExtension = ".tolvane-backup";

struct BackupContents {
    std::string imagePath;  // canonical, UTF-8
    std::int64_t time = 0;
    std::vector<Byte> before, written;
};

std::uint64_t fnv1a(std::span<const Byte> bytes) {
    std::uint64_t hash = 0xcbf29ce484222325;
    for (const Byte b : bytes) hash = (hash ^ b) * 0x100000001b3;
    return hash;
}

std::uint64_t checksum(std::uint32_t version, std::span<const Byte> bytes) {
    return version == kFnvFormatVersion ? fnv1a(bytes) : computeEdc(bytes);
}

std::span<const Byte> bytesOf(const std::string& text) {
    return {reinterpret_cast<const Byte*>(text.data()), text.size()};
}

void writeLe64(std::span<Byte> bytes, std::size_t at, std::uint64_t value) {
    writeLe32(bytes, at, static_cast<std::uint32_t>(value));
    writeLe32(bytes, at + 4, static_cast<std::uint32_t>(value >> 32));
}

std::uint64_t readLe64(std::span<const Byte> bytes, std::size_t at) {
    return readLe32(bytes, at) | std::uint64_t{readLe32(bytes, at + 4)} << 32;
}

// What a backup file holds around the path and the two prefixes, which are
// written from where they are: its header and its checksum.
struct BackupFrame {
    std::array<Byte, kHeaderLength> header{};
    std::array<Byte, kHashLength> hash{};
};

BackupFrame frameBackup(const std::string& imagePath, std::int64_t time, std::span<const Byte> before,
                        std::span<const Byte> written) {
    BackupFrame frame;
    std::copy(kMagic.begin(), kMagic.end(), frame.header.begin());
    writeLe32(frame.header, 8, kFormatVersion);
    writeLe32(frame.header, 12, static_cast<std::uint32_t>(before.size()));
    writeLe64(frame.header, 16, static_cast<std::uint64_t>(time));
    writeLe32(frame.header, 24, static_cast<std::uint32_t>(imagePath.size()));
    std::uint32_t crc = 0;
    for (const auto piece : {std::span<const Byte>(frame.header), bytesOf(imagePath), before, written})
        crc = computeEdc(piece, crc);
    writeLe64(frame.hash, 0, crc);
    return frame;
}

BackupContents decodeBackup(std::span<const Byte> bytes) {
    if (bytes.size() < kHeaderLength + kHashLength || !std::equal(kMagic.begin(), kMagic.end(), bytes.begin()))
        throw Failure("it is not a backup of this program");
    const std::uint32_t version = readLe32(bytes, 8);
    if (version != kFormatVersion && version != kFnvFormatVersion)
        throw Failure("its format version is " + std::to_string(version) + "; this program reads versions " +
                      std::to_string(kFnvFormatVersion) + " to " + std::to_string(kFormatVersion));
    const std::size_t prefixLength = readLe32(bytes, 12), pathLength = readLe32(bytes, 24);
    if (prefixLength == 0 || prefixLength > kMaxPrefixLength || pathLength > kMaxPathLength)
        throw Failure("its header is damaged");
    const std::size_t expected = kHeaderLength + pathLength + 2 * prefixLength + kHashLength;
    if (bytes.size() != expected)
        throw Failure("it is " + std::to_string(bytes.size()) + " bytes long; its header says " +
                      std::to_string(expected));
    if (checksum(version, bytes.first(bytes.size() - kHashLength)) != readLe64(bytes, bytes.size() - kHashLength))
        throw Failure("its contents do not match their checksum");

    BackupContents c;
    c.time = static_cast<std::int64_t>(readLe64(bytes, 16));
    const auto path = bytes.subspan(kHeaderLength, pathLength);
    const auto before = bytes.subspan(kHeaderLength + pathLength, prefixLength);
    const auto written = bytes.subspan(kHeaderLength + pathLength + prefixLength, prefixLength);
    c.imagePath.assign(path.begin(), path.end());
    c.before.assign(before.begin(), before.end());
    c.written.assign(written.begin(), written.end());
    return c;
}

// The names of one image's backups start with a hash of its canonical path; the
// time (UTC) is there for people, the sequence number orders them.
std::string nameStart(const std::string& imagePath) {
    char text[24];
    std::snprintf(text, sizeof text, "%016llx-", static_cast<unsigned long long>(fnv1a(bytesOf(imagePath))));
    return text;
}

std::string backupName(const std::string& imagePath, std::int64_t time, std::uint32_t sequence) {
    using namespace std::chrono;
    const sys_seconds at{seconds{time}};
    const sys_days day = floor<days>(at);
    const year_month_day date{day};
    const hh_mm_ss clock{at - day};
    char stamp[40];
    std::snprintf(stamp, sizeof stamp, "%04d%02u%02u-%02d%02d%02d-%u", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()), static_cast<unsigned>(sequence));
    return nameStart(imagePath) + stamp + kExtension;
}

// The sequence number in the name of one of an image's backups; nothing for
// any other file.
std::optional<std::uint32_t> sequenceIn(const std::string& name, const std::string& start) {
    const std::string extension = kExtension;
    if (name.size() <= start.size() + extension.size() || name.rfind(start, 0) != 0 ||
        name.compare(name.size() - extension.size(), extension.size(), extension) != 0)
        return std::nullopt;
    const std::string stem = name.substr(0, name.size() - extension.size());
    const std::string digits = stem.substr(stem.rfind('-') + 1);
    if (digits.empty() || digits.size() > 9 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return static_cast<std::uint32_t>(std::stoul(digits));
}

// The image's backups, newest first. Examined, each is read, so that a damaged one
// says so and one of another image whose path hashes alike is left out; else only
// their names are read (a patch needs no more).
std::vector<PatchBackup> backupsOf(const std::filesystem::path& folder, const std::string& imagePath, bool examine) {
    std::vector<PatchBackup> found;
    const std::string start = nameStart(imagePath);
    for (const std::filesystem::path& name : namesIn(folder)) {
        const auto sequence = sequenceIn(pathText(name), start);
        if (!sequence) continue;
        PatchBackup backup{folder / name, 0, *sequence, ""};
        if (!examine) {
            found.push_back(backup);
            continue;
        }
        try {
            const BackupContents contents = decodeBackup(readSmallFile(backup.file, kMaxBackupSize));
            if (contents.imagePath != imagePath) continue;  // another image whose path hashes alike
            backup.time = contents.time;
        } catch (const Failure& failure) {
            backup.damage = failure.what();
        }
        found.push_back(backup);
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.sequence > b.sequence; });
    return found;
}

}  // namespace

PatchHistory PatchHistory::forUser() { return PatchHistory(userDataFolder() / "tolvane-editor"); }

std::vector<PatchBackup> PatchHistory::keep(const DiscImage& image, const ImagePrefix& written) const {
    try {
        const std::string imagePath = pathText(canonicalPath(image.path()));
        std::error_code error;
        std::filesystem::create_directories(folder_, error);
        if (error) throw Failure("cannot create the folder: " + error.message());
        std::vector<PatchBackup> backups = backupsOf(folder_, imagePath, false);

        PatchBackup backup;
        backup.time =
            std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
                .count();
        backup.sequence = backups.empty() ? 1 : backups.front().sequence + 1;
        backup.file = folder_ / backupName(imagePath, backup.time, backup.sequence);
        // Not flushed: the image's own write is, and a backup that a crash cut short
        // fails its checksum and is refused, never restored. Flushing it too would
        // double the time an import takes.
        const auto before = image.prefix().bytes(), after = written.bytes();
        const BackupFrame frame = frameBackup(imagePath, backup.time, before, after);
        const std::span<const Byte> pieces[] = {frame.header, bytesOf(imagePath), before, after, frame.hash};
        createFile(backup.file, pieces, Cached);
        backups.insert(backups.begin(), backup);
        return backups;
    } catch (const Failure& failure) {
        throw Failure("Cannot keep a backup of " + quoted(image.path()) + " in " + quoted(folder_) + ": " +
                      failure.what());
    }
}

void PatchHistory::trim(const std::vector<PatchBackup>& backups) {
    std::error_code ignored;  // one that cannot be removed only stays a while longer
    for (std::size_t i = kKeptBackups; i < backups.size(); ++i) std::filesystem::remove(backups[i].file, ignored);
}

void PatchHistory::checkUsable(const std::filesystem::path& image) const {
    std::error_code error;
    std::filesystem::create_directories(folder_, error);
    const auto probe = folder_ / ".tolvane-probe";
    try {
        if (error) throw Failure("cannot create the folder: " + error.message());
        replaceFile(probe, std::vector<Byte>{1}, Cached);
        std::filesystem::remove(probe, error);
    } catch (const Failure& failure) {
        throw Failure("Cannot keep a backup of " + quoted(image) + " in " + quoted(folder_) + ": " + failure.what());
    }
}

std::vector<PatchBackup> PatchHistory::list(const std::filesystem::path& image) const {
    return backupsOf(folder_, pathText(canonicalPath(imageFileOf(image))), true);
}

PatchBackup PatchHistory::restoreNewest(const std::filesystem::path& given) const {
    const std::filesystem::path imagePath = imageFileOf(given);  // a CUE sheet's image file
    const std::vector<PatchBackup> backups = list(imagePath);
    if (backups.empty())
        throw Failure("Nothing was written: there is no backup of " + quoted(imagePath) + " in " + quoted(folder_));
    const PatchBackup& newest = backups.front();
    if (!newest.damage.empty())
        throw Failure("Nothing was written: the newest backup of " + quoted(imagePath) + ", " + quoted(newest.file) +
                      ", is damaged (" + newest.damage + "); remove it to restore an older one");
    const BackupContents contents = decodeBackup(readSmallFile(newest.file, kMaxBackupSize));

    DiscImage image = DiscImage::open(imagePath, ImageAccess::Update);
    const auto onDisk = image.prefix().bytes();
    if (onDisk.size() != contents.written.size() || !std::equal(onDisk.begin(), onDisk.end(), contents.written.begin()))
        throw Failure("Nothing was written: " + quoted(imagePath) + " changed since the patch of " +
                      localTimeText(newest.time) +
                      " (it no longer holds what that patch wrote), so that patch cannot be taken back");
    ImagePrefix before(image.layout());
    std::copy(contents.before.begin(), contents.before.end(), before.bytes().begin());
    const ImagePrefix expected = image.prefix();
    image.writePrefix(before, expected);
    image.close();

    std::error_code error;
    std::filesystem::remove(newest.file, error);
    if (error)
        throw Failure("Restored " + quoted(imagePath) + ", but cannot remove its backup " + quoted(newest.file) + ": " +
                      error.message() + "; remove it before restoring further back");
    return newest;
}

bool writeImagePrefixWithBackup(const std::filesystem::path& path, const ImagePrefix& prefix,
                                const ImagePrefix& expectedOnDisk, const PatchHistory& history) {
    DiscImage image = DiscImage::open(path, ImageAccess::Update);
    image.checkUnchanged(expectedOnDisk);
    if (prefix == image.prefix()) {  // nothing to write, nothing to take back
        image.close();
        return false;
    }
    std::vector<PatchBackup> backups;
    try {
        backups = history.keep(image, prefix);
    } catch (const Failure& failure) {
        throw Failure(std::string("Nothing was written: ") + failure.what());
    }
    try {
        image.writePrefix(prefix, expectedOnDisk);
        image.close();
    } catch (const Failure& failure) {
        // A patch that did not happen leaves no backup to take it back.
        bool asBefore = false;
        try {
            asBefore = image.holds(expectedOnDisk);
        } catch (const Failure&) {
        }
        std::error_code ignored;
        if (asBefore && std::filesystem::remove(backups.front().file, ignored)) throw;
        throw Failure(std::string(failure.what()) + " (the bytes it held before are kept in " +
                      quoted(backups.front().file) + ")");
    }
    PatchHistory::trim(backups);
    return true;
}

std::string restoreCommand(const std::filesystem::path& image) {
    std::error_code ignored;
    const std::string path = pathText(std::filesystem::absolute(image, ignored));
#ifdef _WIN32
    return "tolvane restore \"" + path + "\"";
#else
    std::string quoted = "'";  // nothing is special inside single quotes but the quote itself
    for (char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return "tolvane restore " + quoted + "'";
#endif
}

std::string localTimeText(std::int64_t time) {
    const std::time_t at = static_cast<std::time_t>(time);
    const std::tm* local = std::localtime(&at);
    char text[32];
    if (!local || !std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", local)) return std::to_string(time);
    return text;
}

}  // namespace tolvane
