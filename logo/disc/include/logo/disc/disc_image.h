// A disc image file, opened once for one command: its layout, its first bytes
// and the game it holds are all read through the one handle, so they describe
// one version of the file. Only a handful of small reads, never the whole image.
#pragma once

#include "logo/base/failure.h"
#include "logo/files/file_io.h"
#include "logo/disc/cue_sheet.h"
#include "logo/disc/image_layout.h"
#include "logo/disc/rescue_copy.h"
#include "logo/disc/system_cnf.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tolvane {

// Read: for reading, no lock. ReadLocked: for reading, under a shared reader's
// lock (as other readers take), so that no writer that locks changes it while it
// is open; a read-only file or mount does. Update: for writing in place, under
// the writer's lock.
enum class ImageAccess { Read, ReadLocked, Update };

// What a CHD image is made of, as `info` tells it.
struct ChdSummary {
    std::vector<std::string> codecs;  // as its header lists them: "cdlz", "cdzl", "cdfl"
    std::uint32_t hunkBytes = 0;
    bool compressed = false;  // its map is the compressed one: it cannot be patched in place
    // The CD track the disc is read from (its number and type as the CHD names
    // it: "MODE2_RAW"); none for a DVD.
    std::optional<unsigned> trackNumber;
    std::string trackType;
};

// The refusal to open a CHD image for writing: for a patch file (of a compressed
// file), or a compressed CHD, which cannot be patched in place.
class ChdNotWritable : public Failure {
public:
    explicit ChdNotWritable(const std::string& text, std::string brief = {})
        : Failure(text, Problem::NotSupported), brief_(std::move(brief)) {}
    // The refusal in a line, for a status area (what() tells it whole).
    std::string brief() const { return brief_.empty() ? what() : brief_; }

private:
    std::string brief_;
};

class DiscImage {
public:
    // Opens the image, recognises its layout (the first whose ISO 9660 volume
    // descriptor appears at sector 16; the raw Mode 2 layout when none does),
    // reads its prefix and its identity. Fails when the file cannot be opened, a
    // read fails or it is shorter than the prefix. A disc whose game cannot be
    // told (no volume descriptor, no SYSTEM.CNF, a file that ends before it) has
    // an identity with the reason it is unknown; one whose root directory or
    // SYSTEM.CNF could not be read (the system's failure) an unreadable one,
    // which fails what needs it.
    // Update opens an existing file for writing in place, never created, never
    // truncated, and holds an exclusive lock on it until it closes: a second
    // writer waits a moment, then fails; ReadLocked holds a shared lock, and
    // waits as long for a writer. A CUE sheet opens the file of its first
    // data track, and the disc starts where the track does in that file: every
    // read and write of it, the layout and the game, counts from there (a track
    // without a volume descriptor takes the layout of its mode). A compressed
    // image or an archive is refused with what to do, except a CHD (outside the
    // Windows build): its disc is read as a file of its sectors would be (a CD's
    // first data track, from its INDEX 01, or a DVD), decompressing only the
    // hunks that hold the bytes read. ReadLocked refuses a CHD, and Update one
    // with a compressed map (ChdNotWritable): only a CHD made without compression
    // can be patched in place (see prepareWrite).
    static DiscImage open(const std::filesystem::path& path, ImageAccess access = ImageAccess::Read);

    // The image file itself (for a CUE sheet, the file of its data track).
    const std::filesystem::path& path() const { return path_; }
    // What the CUE sheet it was opened through says, if it was.
    const std::optional<CueImage>& cueSheet() const { return cue_; }
    // What the CHD is made of, for a CHD image.
    const std::optional<ChdSummary>& chd() const { return chd_; }
    // The byte of the file where the disc starts: 0, or where a CUE sheet's data track does.
    std::uint64_t start() const { return start_; }
    // The file's size.
    std::uint64_t size() const { return size_; }
    const ImageLayout& layout() const { return prefix_.layout(); }
    const ImagePrefix& prefix() const { return prefix_; }  // as read
    const DiscIdentity& identity() const { return identity_; }
    ImageAccess access() const { return access_; }
    // What tells this disc from others, and no patch changes: the file's size (for
    // a CHD, which grows at each patch, the size of its data) (8 bytes,
    // little-endian), then the 2048 bytes of its volume descriptor or, where
    // it has none, the 2048 bytes after the prefix (fewer where the file ends
    // first), both counted from the disc's start.
    const std::vector<Byte>& fingerprint() const { return fingerprint_; }
    // The file itself, whatever its name (see File::identity).
    std::uint64_t fileIdentity() const { return file_.identity(); }
    // False for a file in which no layout shows a volume descriptor and none of
    // the 12 logo sectors starts with the CD sync: a text, a picture, an archive.
    bool looksLikeDisc() const { return looksLikeDisc_; }

    // Writes the prefix over the start of the disc in place, over the bytes this
    // handle read (under the writer's lock held since), and flushes it to the
    // disk; nothing outside those prefix.size() bytes is touched (before the
    // disc's start neither). Gives false, writing nothing, when the file already
    // holds exactly these bytes. When the write or the flush fails, the bytes as
    // read are put back and flushed, and the failure says where the image
    // stands: untouched, put back, or (if even that failed) what `rescue` did
    // with its first bytes as they were. Update only.
    bool writePrefix(const ImagePrefix& prefix, const RescuePolicy& rescue);

    // For a CHD open for update: works out the patch that gives its disc this
    // prefix (logo/chd/chd_patch.h: new hunks and a new map after the file's end,
    // then the header; one pass over every hunk where the header keeps SHA-1s,
    // `progress` told of it and stopping it by giving false), keeps it for
    // writePrefix, and gives what a record keeps to take it back exactly: both
    // headers, both lengths, a checksum of the bytes appended. Empty, doing
    // nothing, for any other image, whose patch keeps the file's length.
    std::vector<Byte> prepareWrite(const ImagePrefix& prefix,
                                   const std::function<bool(std::uint64_t done, std::uint64_t total)>& progress = {});
    // Whether the file is exactly as the write that `trace` (from prepareWrite)
    // describes left it, or as an undoWrite stopped half way left it.
    bool holdsWrite(std::span<const Byte> trace);
    // Takes that write back: the old header, flushed, then the file cut to its
    // old length, flushed: the file as it was, byte for byte. Refused, writing
    // nothing, when the file is not exactly as the write left it. Update only.
    void undoWrite(std::span<const Byte> trace);

    // Whether the disc's first bytes, read now through this handle, are these.
    bool holds(const ImagePrefix& bytes);
    // Reads up to out.size() bytes of the file from `offset`, counted from the
    // file's first byte (not the disc's start); gives how many there were.
    std::size_t readFileAt(std::uint64_t offset, std::span<Byte> out) { return file_.readAt(offset, out); }

    // Closes the file, reporting a failure to do so.
    void close();

private:
    DiscImage(File file, std::filesystem::path path, std::optional<CueImage> cue, std::uint64_t size,
              const ImageLayout& layout, ImageAccess access);
    static DiscImage openChd(File file, const std::filesystem::path& path, ImageAccess access);
    bool writeChdPrefix(const ImagePrefix& prefix);
    // Reads the prefix, the fingerprint and the identity of the disc: `head` its
    // first bytes as read, readFrom any others (both from the disc's start);
    // `detected` whether its layout showed a volume descriptor.
    void readDisc(const std::function<std::size_t(std::uint64_t, std::span<Byte>)>& readFrom,
                  std::span<const Byte> head, bool detected);

    File file_;
    ImageAccess access_;
    std::filesystem::path path_;
    std::optional<CueImage> cue_;
    std::optional<ChdSummary> chd_;
    std::uint64_t start_;
    std::uint64_t size_;
    ImagePrefix prefix_;
    DiscIdentity identity_;
    std::vector<Byte> fingerprint_;
    std::uint64_t fingerprintSize_;
    bool looksLikeDisc_ = false;
    struct PreparedWrite;                           // a CHD's patch, and the prefix it gives
    std::shared_ptr<PreparedWrite> preparedWrite_;  // from prepareWrite
};

// The file layer's read and write of an image's prefix, for a disc that starts
// at byte `start` of its file: the prefix.size() bytes from there into the prefix
// (gives how many the file had; fewer at its end), and the prefix written over
// them in place and flushed to the disk.
std::size_t readImagePrefix(File& file, ImagePrefix& prefix, std::uint64_t start);
void writeImagePrefix(File& file, const ImagePrefix& prefix, std::uint64_t start);

// "does not look like a disc image: ...", for the status line and messages.
std::string notADiscReason();

}  // namespace tolvane
