// Opening a disc image once for a command, and writing its first bytes in place.
#include "logo/disc/disc_image.h"

#include "logo/base/failure.h"
#include "logo/chd/chd_image.h"
#include "logo/chd/chd_patch.h"
#include "logo/disc/chd_writes.h"
#include "logo/disc/cue_sheet.h"
#include "logo/disc/iso9660.h"
#include "logo/disc/packed_image.h"
#include "logo/disc/sector_checks.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <exception>
#include <functional>
#include <string>

namespace tolvane {

namespace {

constexpr std::uint32_t kMaxSystemCnfLength = 8 * 1024;  // a few lines of text
constexpr std::chrono::milliseconds kLockWait{1500};

// The first bytes of a disc, read in one call as opening needs them all: every
// layout's volume descriptor, the prefix and the 2048 bytes after it.
constexpr std::size_t kHeadLength = [] {
    std::size_t length = 0;
    for (const ImageLayout* layout : kImageLayouts)
        length = std::max({length, layout->payloadOffset(kVolumeDescriptorSector) + kUserDataLength,
                           layout->prefixLength + kUserDataLength});
    return length;
}();

// Up to out.size() bytes of a disc at `offset` from its start; gives how many there were.
using DiscReader = std::function<std::size_t(std::uint64_t offset, std::span<Byte> out)>;

// A disc with its first bytes as read.
struct DiscFile {
    DiscReader readFrom;
    std::span<const Byte> head;  // fewer than kHeadLength where the disc ends first

    // `length` bytes at `offset` from the disc's start; fewer where the disc ends first.
    std::size_t read(std::uint64_t offset, std::span<Byte> out) const {
        if (offset + out.size() <= head.size()) {
            std::copy_n(head.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
            return out.size();
        }
        return readFrom(offset, out);
    }
};

// User data of consecutive sectors under a layout; nothing when the file ends first.
std::optional<std::vector<Byte>> readUserData(const DiscFile& disc, const ImageLayout& layout, std::uint64_t sector,
                                              std::uint32_t length) {
    std::vector<Byte> data(length);
    for (std::uint32_t done = 0; done < length;) {
        const std::uint32_t piece = std::min<std::uint32_t>(length - done, kUserDataLength);
        const std::uint64_t at = (sector + done / kUserDataLength) * layout.sectorSize + layout.userDataOffset;
        if (disc.read(at, std::span<Byte>(data).subspan(done, piece)) != piece) return std::nullopt;
        done += piece;
    }
    return data;
}

// The layout whose volume descriptor appears, if any does (of those with sectors of
// `sectorSize` bytes, when given).
const ImageLayout* detectLayout(const DiscFile& disc, std::size_t sectorSize = 0) {
    for (const ImageLayout* layout : kImageLayouts) {
        if (sectorSize != 0 && layout->sectorSize != sectorSize) continue;
        const auto first = readUserData(disc, *layout, kVolumeDescriptorSector, 6);
        if (first && startsVolumeDescriptor(*first)) return layout;
    }
    return nullptr;
}

// The layout a CUE sheet's track mode gives, for a disc that shows no volume
// descriptor in any: raw Mode 2 unless the sheet says otherwise.
const ImageLayout& layoutOfTrackMode(const std::optional<CueImage>& cue) {
    const std::string mode = cue ? cue->track.mode : "";
    if (mode == "MODE1/2352") return kRawMode1Layout;
    if (mode == "MODE2/2336") return kMode2Sector2336Layout;
    if (mode == "MODE1/2048" || mode == "MODE2/2048") return kPlainLayout;
    return kRawMode2Layout;
}

bool anyLogoSectorHasSync(const ImagePrefix& prefix) {
    const auto bytes = prefix.bytes();
    for (std::size_t n = 0; n < kLogoSectors; ++n) {
        const auto sector = bytes.subspan(n * prefix.layout().sectorSize);
        if (sector.size() >= kSync.size() && std::equal(kSync.begin(), kSync.end(), sector.begin())) return true;
    }
    return false;
}

// A file that ends first leaves the game unknown; a failed read leaves it unread.
DiscIdentity readIdentity(const DiscFile& disc, const ImageLayout& layout) {
    try {
        const RootFile systemCnf = readRootFile(
            [&](std::uint64_t sector, std::uint32_t length) { return readUserData(disc, layout, sector, length); },
            "SYSTEM.CNF", kMaxSystemCnfLength);
        if (!systemCnf.missingBecause.empty()) return unknownIdentity(systemCnf.missingBecause);
        return parseSystemCnf(std::string(systemCnf.contents.begin(), systemCnf.contents.end()));
    } catch (const Failure& failure) {
        return unreadableIdentity(failure);
    }
}

std::string tooShort(const std::filesystem::path& path, std::uint64_t start, std::uint64_t size, std::size_t needed,
                     bool chd = false) {
    if (chd)
        return quoted(path) + " is too short: the logo lies in the first " + std::to_string(needed) +
               " bytes of a disc image, and the disc in this CHD has only " + std::to_string(size);
    if (start > 0)
        return quoted(path) + " is too short: the logo lies in the first " + std::to_string(needed) +
               " bytes of a disc's data track, and the track that starts at byte " + std::to_string(start) +
               " of this file has only " + std::to_string(size) + "; check the CUE sheet";
    return quoted(path) + " is too short: the logo lies in the first " + std::to_string(needed) +
           " bytes of a disc image, and this file has only " + std::to_string(size) +
           "; open the whole image (its .bin or .iso file, or its .cue sheet)";
}

std::string chdNotWritable(const std::filesystem::path& path) {
    return "Nothing was written: " + quoted(path) + " is a CHD image, which cannot be opened to be written this way";
}

std::string compressedChd(const std::filesystem::path& path, const std::string& why) {
    return "Nothing was written: " + quoted(path) + " cannot be patched in place: " + why +
           "; make one without compression (chdman copy -i " + pathText(path.filename()) +
           " -o plain.chd -c none) and patch that, or extract the image (chdman extractcd, or extractraw for a "
           "DVD) and patch that";
}

// The same, short enough for a status area.
std::string compressedChdBrief(const std::filesystem::path& path) {
    return "Nothing was written: " + quoted(path) +
           " is a compressed CHD, which cannot be patched in place; patch a copy made with chdman copy -c none";
}

}  // namespace

struct DiscImage::PreparedWrite {
    ImagePrefix prefix;
    ChdPatch patch;
};

std::string notADiscReason() {
    return "does not look like a disc image: none of its first 12 sectors starts with the CD sync, and it has no "
           "ISO 9660 volume";
}

DiscImage::DiscImage(File file, std::filesystem::path path, std::optional<CueImage> cue, std::uint64_t size,
                     const ImageLayout& layout, ImageAccess access)
    : file_(std::move(file)),
      access_(access),
      path_(std::move(path)),
      cue_(std::move(cue)),
      start_(cue_ ? cue_->track.offset : 0),
      size_(size),
      prefix_(layout),
      fingerprintSize_(size) {}

namespace {

File openFile(const std::filesystem::path& path, ImageAccess access) {
    return access == ImageAccess::Update ? File::openForUpdate(path) : File::openForReading(path);
}

// The image's file, open: for a CUE sheet, the file of its data track (and path
// becomes that file's, cue what the sheet says). A sheet that may not be written
// is still read, to find its image.
File openImageFile(std::filesystem::path& path, std::optional<CueImage>& cue, ImageAccess access) {
    std::optional<File> file;
    try {
        file.emplace(openFile(path, access));
    } catch (const Failure& failure) {
        if (access != ImageAccess::Update || failure.code() != std::errc::permission_denied) throw;
        File sheet = File::openForReading(path);
        cue = cueSheetImage(sheet, path);
        if (!cue) throw;
        path = cue->file;
        return openFile(path, access);
    }
    cue = cueSheetImage(*file, path);
    if (!cue) return std::move(*file);
    file->close();
    path = cue->file;
    return openFile(path, access);
}

}  // namespace

DiscImage DiscImage::open(const std::filesystem::path& given, ImageAccess access) {
    std::filesystem::path path = given;
    std::optional<CueImage> cue;
    File file = openImageFile(path, cue, access);

    const bool locked = access == ImageAccess::Update       ? file.lockForWriting(kLockWait)
                        : access == ImageAccess::ReadLocked ? file.lockForReading(kLockWait)
                                                            : true;
    if (!locked)
        throw Failure(
            "Nothing was written: another program is writing " + quoted(path) + "; try again when it has finished",
            Problem::Busy);
    const std::uint64_t start = cue ? cue->track.offset : 0;
    std::vector<Byte> head(kHeadLength);
    head.resize(file.readAt(start, head));
    std::array<Byte, 64> first{};
    const std::span<const Byte> fileStart =
        start == 0 ? std::span<const Byte>(head) : std::span<const Byte>(first).first(file.readAt(0, first));
    if (!cue && startsAsChd(fileStart)) {
        if (access == ImageAccess::ReadLocked) throw ChdNotWritable(chdNotWritable(path));
        return openChd(std::move(file), path, access);
    }
    refusePackedImage(std::string_view(reinterpret_cast<const char*>(fileStart.data()), fileStart.size()), path);

    const std::uint64_t size = file.size();
    const DiscReader readFrom = [&file, start](std::uint64_t at, std::span<Byte> out) {
        return file.readAt(start + at, out);
    };
    const ImageLayout* detected = detectLayout({readFrom, head});
    const ImageLayout& layout = detected ? *detected : layoutOfTrackMode(cue);
    DiscImage image(std::move(file), path, std::move(cue), size, layout, access);
    image.readDisc(
        [&image, start](std::uint64_t at, std::span<Byte> out) { return image.file_.readAt(start + at, out); }, head,
        detected != nullptr);
    return image;
}

void DiscImage::readDisc(const std::function<std::size_t(std::uint64_t, std::span<Byte>)>& readFrom,
                         std::span<const Byte> head, bool detected) {
    const DiscFile disc{readFrom, head};
    const std::size_t got = std::min(head.size(), prefix_.size());
    std::copy_n(head.begin(), got, prefix_.bytes().begin());
    if (got < prefix_.size())
        throw Failure((access_ != ImageAccess::Read ? "Nothing was written: " : "") +
                          tooShort(path_, start_, got, prefix_.size(), chd_.has_value()),
                      Problem::TooShort);
    looksLikeDisc_ = detected || anyLogoSectorHasSync(prefix_);
    fingerprint_.resize(8);
    for (std::size_t i = 0; i < 8; ++i) fingerprint_[i] = static_cast<Byte>(fingerprintSize_ >> (8 * i));
    const auto descriptor =
        detected ? readUserData(disc, layout(), kVolumeDescriptorSector, kUserDataLength) : std::nullopt;
    if (descriptor) {
        fingerprint_.insert(fingerprint_.end(), descriptor->begin(), descriptor->end());
    } else {
        fingerprint_.resize(8 + kUserDataLength);
        fingerprint_.resize(8 + disc.read(prefix_.size(), std::span(fingerprint_).subspan(8)));
    }
    identity_ = readIdentity(disc, layout());
}

DiscImage DiscImage::openChd(File file, const std::filesystem::path& path, ImageAccess access) {
    const std::uint64_t size = file.size();
    DiscImage image(std::move(file), path, std::nullopt, size, kPlainLayout, access);  // layout below
    ChdImage chd = openChdFile(image.file_, path);
    if (access == ImageAccess::Update)
        if (const std::string why = whyChdCannotBePatched(chd); !why.empty())
            throw ChdNotWritable(compressedChd(path, why), compressedChdBrief(path));
    const ChdDisc& disc = chd.disc();
    std::vector<Byte> head(kHeadLength);
    head.resize(chd.readDisc(0, head));
    const DiscReader readFrom = [&chd](std::uint64_t at, std::span<Byte> out) { return chd.readDisc(at, out); };
    // The layout of the track's sectors: the one whose volume descriptor shows,
    // else the one the track's type says.
    const ImageLayout* detected = detectLayout({readFrom, head}, disc.sectorSize);
    const ImageLayout* layout = detected;
    if (!layout && disc.track && disc.track->type.starts_with("MODE1") && disc.sectorSize == kRawSectorSize)
        layout = &kRawMode1Layout;
    for (const ImageLayout* candidate : kImageLayouts)
        if (!layout && candidate->sectorSize == disc.sectorSize) layout = candidate;
    if (!layout)
        throw Failure("Cannot open " + quoted(path) + ": its first data track, track " +
                          std::to_string(disc.track ? disc.track->number : 0) + ", is of " +
                          (disc.track ? disc.track->type : "") + " sectors, which hold no ISO 9660 volume",
                      Problem::NotSupported);

    ChdSummary summary;
    for (const chd::Codec codec : chd.codecs())
        if (codec != 0) summary.codecs.push_back(chd::codecName(codec));
    summary.hunkBytes = chd.hunkBytes();
    summary.compressed = chd.compressedMap();
    if (disc.track) {
        summary.trackNumber = disc.track->number;
        summary.trackType = disc.track->type;
    }
    image.prefix_ = ImagePrefix(*layout);
    image.chd_ = std::move(summary);
    image.fingerprintSize_ = chd.dataBytes();
    image.readDisc(readFrom, head, detected != nullptr);
    return image;
}

std::vector<Byte> DiscImage::prepareWrite(const ImagePrefix& prefix,
                                          const std::function<bool(std::uint64_t, std::uint64_t)>& progress) {
    if (!chd_) return {};
    std::shared_ptr<PreparedWrite> prepared;
    try {
        ChdImage chd = openChdFile(file_, path_);
        prepared = std::make_shared<PreparedWrite>(PreparedWrite{
            prefix, planChdPatch(
                        chd, [this](std::uint64_t at, std::span<Byte> out) { return file_.readAt(at, out); },
                        file_.size(), path_, 0, prefix.bytes(), progress)});
    } catch (const Failure& failure) {
        const std::string nothing = "Nothing was written: ";
        if (std::string_view(failure.what()).starts_with(nothing)) throw;
        throw failure.after(nothing);
    }
    std::vector<Byte> trace = encodeChdTrace(traceOf(prepared->patch));
    preparedWrite_ = std::move(prepared);
    return trace;
}

bool DiscImage::holdsWrite(std::span<const Byte> trace) {
    const auto decoded = decodeChdTrace(trace);
    return chd_ && decoded && holdsChdPatch(file_, *decoded);
}

void DiscImage::undoWrite(std::span<const Byte> trace) {
    const auto decoded = decodeChdTrace(trace);
    if (!chd_ || !decoded) throw Failure("Nothing was written: the record's trace of " + quoted(path_) + " is damaged");
    undoChdPatch(file_, path_, *decoded);
    size_ = decoded->oldLength;
    ChdImage chd = openChdFile(file_, path_);
    ImagePrefix now(prefix_.layout());
    chd.readDisc(0, now.bytes());
    prefix_ = now;
}

bool DiscImage::writeChdPrefix(const ImagePrefix& prefix) {
    if (prefix == prefix_) return false;
    if (!preparedWrite_ || !(preparedWrite_->prefix == prefix)) prepareWrite(prefix);
    const ChdPatch& patch = preparedWrite_->patch;
    writeChdPatch(file_, patch);
    size_ = patch.oldLength + patch.appended.size();
    preparedWrite_.reset();
    prefix_ = prefix;
    return true;
}

std::size_t readImagePrefix(File& file, ImagePrefix& prefix, std::uint64_t start) {
    return file.readAt(start, prefix.bytes());
}

void writeImagePrefix(File& file, const ImagePrefix& prefix, std::uint64_t start) {
    file.writeAt(start, prefix.bytes());
    file.flushToDisk();
}

bool DiscImage::holds(const ImagePrefix& bytes) {
    ImagePrefix now(bytes.layout());
    if (chd_) {
        ChdImage chd = openChdFile(file_, path_);
        return chd.readDisc(0, now.bytes()) == now.size() && now == bytes;
    }
    return readImagePrefix(file_, now, start_) == now.size() && now == bytes;
}

bool DiscImage::writePrefix(const ImagePrefix& prefix, const RescuePolicy& rescue) {
    if (chd_) return writeChdPrefix(prefix);
    if (prefix == prefix_) return false;
    try {
        file_.reserve(start_ + prefix.size());
    } catch (const Failure& failure) {
        throw failure.after("Nothing was written: ");
    }
    try {
        writeImagePrefix(file_, prefix, start_);
    } catch (const Failure& failure) {
        // Whatever of the new bytes reached the file comes out again.
        std::string where;
        try {
            const bool untouched = holds(prefix_);
            if (untouched)
                file_.flushToDisk();
            else
                writeImagePrefix(file_, prefix_, start_);
            where = untouched ? "the image is untouched"
                              : "its " + bytesDescription(start_, prefix_.size()) +
                                    " were put back as they were, so the image is as before";
        } catch (const std::exception& restoring) {
            where = "putting its first bytes back failed too (" + std::string(restoring.what()) +
                    "), so the image may be damaged; " + rescue(path_, start_, prefix_);
        }
        throw failure.with("; " + where);
    }
    prefix_ = prefix;
    return true;
}

void DiscImage::close() { file_.close(); }

}  // namespace tolvane
