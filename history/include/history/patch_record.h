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
    Restoring,  // a restore is writing the replaced bytes back
};

// What a record's name holds.
struct RecordName {
    std::uint64_t disc = 0;     // discHash of the disc's fingerprint
    std::int64_t time = 0;      // of the patch: nanoseconds since 1970, UTC
    std::uint32_t written = 0;  // bytesChecksum of what the patch wrote
    std::uint32_t before = 0;   // and of what it replaced
    RecordState state = RecordState::Done;
    std::uint64_t holder = 0;  // while Pending or Restoring: the file being written (File::identity)

    RecordName in(RecordState next, std::uint64_t nextHolder = 0) const {
        RecordName renamed = *this;
        renamed.state = next;
        renamed.holder = next == RecordState::Done ? 0 : nextHolder;
        return renamed;
    }
};

// "<disc>-<UTC date and time>-<written>-<before>[.pending-<holder>|.restoring-<holder>].tolvane-undo"
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

struct PatchRecord {
    std::int64_t time = 0;
    std::vector<Byte> fingerprint;  // DiscImage::fingerprint of the disc patched
    std::vector<Byte> before, written;
};

// A record's file, to be written from the pieces where they are: a header, the
// fingerprint, the replaced bytes, the written bytes and a trailer of checksums.
struct EncodedRecord {
    RecordName name;  // Done
    std::array<Byte, 28> header{};
    std::array<Byte, 12> trailer{};
};
EncodedRecord encodeRecord(std::int64_t time, std::span<const Byte> fingerprint, std::span<const Byte> before,
                           std::span<const Byte> written);

// The record in a file's bytes; fails with the reason it cannot be used.
PatchRecord decodeRecord(std::span<const Byte> bytes);

// The longest a record's (or an older backup's) file can be.
extern const std::size_t kMaxRecordSize;

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
