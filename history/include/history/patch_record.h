// One patch as the history keeps it, in a file of its own: the disc it was made
// on, the bytes it replaced and the bytes it wrote. The file's name says which
// disc and which bytes, when, and how far the patch (or a restore of it) got, so
// that a history is found and followed by names alone; the contents confirm it
// byte for byte.
#pragma once

#include "logo/base/bytes.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane {

enum class RecordState {
    Done,       // the patch was written
    Pending,    // kept before the patch's write, which has not said that it is done
    Restoring,  // a restore was writing the replaced bytes back (names of version 0.3.0 only: restores
                // are now kept in the record)
};

// What a record's name holds.
struct RecordName {
    std::uint64_t disc = 0;     // discHash of the disc's fingerprint
    std::int64_t time = 0;      // of the patch: nanoseconds since 1970, UTC
    std::uint32_t written = 0;  // bytesChecksum of what the patch wrote
    std::uint32_t before = 0;   // and of what it replaced
    RecordState state = RecordState::Done;
    // In names of version 0.3.0, while Pending or Restoring: the file being
    // written (File::identity). 0 in the names made now.
    std::uint64_t holder = 0;

    RecordName in(RecordState next, std::uint64_t nextHolder = 0) const {
        RecordName renamed = *this;
        renamed.state = next;
        renamed.holder = next == RecordState::Done ? 0 : nextHolder;
        return renamed;
    }
};

// "<disc>-<UTC date and time>-<written>-<before>[.pending].tolvane-undo" (0.3.0
// wrote ".pending-<holder>" and ".restoring-<holder>", which are still read)
std::string recordFileName(const RecordName& name);
// The parts of a record's file name; nothing for any other name.
std::optional<RecordName> parseRecordName(std::string_view fileName);

// A name laid out as a record's, its fields as they stand, for a look at every
// name of a folder that reads few in full: fields of one width compare as their
// values do.
struct RecordNameFields {
    std::string_view disc;  // as discField writes it
    std::string_view time;  // as timeField writes it
    bool done;              // neither pending nor restoring
};
std::optional<RecordNameFields> recordNameFields(std::string_view fileName);
std::string discField(std::uint64_t disc);
std::string timeField(std::int64_t time);
std::optional<std::int64_t> readTimeField(std::string_view field);

std::uint64_t discHash(std::span<const Byte> fingerprint);
std::uint32_t bytesChecksum(std::span<const Byte> bytes, std::uint32_t before = 0);

// An image file as a record names it: the file itself (File::identity) and its
// canonical path, so that a copy put back in place under the same name is still
// known. Either may be unknown (0, empty).
struct ImageFile {
    std::uint64_t identity = 0;
    std::string path;

    // Whether this is the file `other` names: the same file, or the same path.
    bool is(const ImageFile& other) const {
        return (identity != 0 && identity == other.identity) || (!path.empty() && path == other.path);
    }
};

// What became of a patch on one image file, added to its record as it happens.
struct RecordEvent {
    enum Kind : std::uint32_t {
        Restoring = 1,  // a restore of the file is writing the replaced bytes back
        TakenBack = 2,  // they are on the disk: the patch is taken back for that file
        Abandoned = 3,  // the restore wrote nothing: the file holds what the patch wrote
    };
    Kind kind;
    ImageFile file;
};

struct PatchRecord {
    std::int64_t time = 0;
    std::vector<Byte> fingerprint;  // DiscImage::fingerprint of the disc patched
    std::vector<Byte> before, written;
    // What else taking the patch back needs, for an image whose patch did more
    // than write the bytes (a CHD: DiscImage::prepareWrite); empty for others.
    std::vector<Byte> trace;
    ImageFile madeOn;                 // unknown in records of format 3
    std::vector<RecordEvent> events;  // oldest first
    std::size_t end = 0;              // where the record's bytes and its whole events end

    // The last event that concerns the file, if any.
    const RecordEvent* lastEventOf(const ImageFile& file) const;
};

// A record's file, to be written from the pieces where they are: a header, the
// fingerprint, the image file's path, the replaced bytes, the written bytes, the
// trace where there is one (its length, then its bytes) and a trailer of
// checksums. Events follow, each appended when it happens.
struct EncodedRecord {
    RecordName name;  // Done
    std::array<Byte, 40> header{};
    std::vector<Byte> trace;  // empty, or the trace's length (4 bytes) and the trace
    std::array<Byte, 12> trailer{};
};
EncodedRecord encodeRecord(std::int64_t time, std::span<const Byte> fingerprint, const ImageFile& madeOn,
                           std::span<const Byte> before, std::span<const Byte> written,
                           std::span<const Byte> trace = {});
// The bytes to append to a record for the event (at its `end`), with their own
// checksum: a cut append (a power cut in its write) is not read, and the next
// event is written over it.
std::vector<Byte> encodeEvent(const RecordEvent& event);

// The record in a file's bytes; fails with the reason it cannot be used.
PatchRecord decodeRecord(std::span<const Byte> bytes);

// The longest a record's (or an older backup's) file can be, its events included.
extern const std::size_t kMaxRecordSize;
// Room for the events of a record: no event is added past it.
extern const std::size_t kMaxEventsLength;

// Backups of the formats before records (1 and 2): one file per patch of an
// image, found by a hash of the image's canonical path. Still read, so that
// patches made by earlier versions can be taken back.
struct LegacyBackup {
    std::string imagePath;  // canonical, UTF-8
    std::vector<Byte> before, written;
};
LegacyBackup decodeLegacyBackup(std::span<const Byte> bytes);
// The start of the names of an image's older backups.
std::string legacyNameStart(const std::string& canonicalImagePath);
// When an older backup was made, from its file name (UTC, nanoseconds, its
// sequence number added to order those of one second); nothing for other names.
std::optional<std::int64_t> legacyNameTime(std::string_view fileName);

}  // namespace tolvane
