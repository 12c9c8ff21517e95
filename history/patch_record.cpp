// A record's file format and its name.
#include "history/patch_record.h"

#include "logo/base/failure.h"
#include "logo/disc/image_layout.h"
#include "logo/disc/sector_checks.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace tolvane {

namespace {

// A record's file (format 4): a header (magic, format version, prefix length,
// time, fingerprint length, the image file's identity, its path's length), the
// fingerprint, the path, the bytes before the patch, the bytes it wrote, and the
// checksums (bytesChecksum) of the header, fingerprint and path, of the bytes
// before and of the bytes written. The last two are in the file's name too.
// Events follow: kind, file identity, path length, path, and the checksum of
// those. Format 3 (version 0.3.0) had a 28-byte header without the image file
// and no events. Format 5 is format 4 with a trace after the bytes written (its
// length in 4 bytes, then its bytes), which the first checksum covers too: only
// records with a trace (of a CHD) are written in it, so that older versions keep
// reading all others.
//
// Older backups share the magic: format 1 and 2 files hold a header (magic,
// version, prefix length, time in seconds, path length), the image's canonical
// path, the two prefixes and a 64-bit checksum of all that: FNV-1a for format 1,
// the same CRC in the low 32 bits for format 2.
constexpr std::array<Byte, 8> kMagic{'T', 'L', 'V', 'U', 'N', 'D', 'O', '\n'};
constexpr std::uint32_t kRecordFormat = 4, kFirstRecordFormat = 3, kTracedRecordFormat = 5;
constexpr std::size_t kMaxTraceLength = 4096;
constexpr std::size_t kHeaderLength = 40, kFirstHeaderLength = 28, kTrailerLength = 12;
constexpr std::size_t kEventHeadLength = 4 + 8 + 4;
constexpr std::uint32_t kFnvFormat = 1, kCrcFormat = 2;
constexpr std::size_t kMaxFingerprintLength = 8 + kUserDataLength;
constexpr std::size_t kLegacyHeaderLength = 8 + 4 + 4 + 8 + 4, kLegacyHashLength = 8;
constexpr std::size_t kMaxPathLength = 32 * 1024;
constexpr std::size_t kMaxPrefixLength = [] {
    std::size_t longest = 0;
    for (const ImageLayout* layout : kImageLayouts) longest = std::max(longest, layout->prefixLength);
    return longest;
}();
constexpr std::string_view kExtension = ".tolvane-undo", kLegacyExtension = ".tolvane-backup";
constexpr std::string_view kPending = ".pending", kRestoring = ".restoring";

std::uint64_t fnv1a(std::span<const Byte> bytes) {
    std::uint64_t hash = 0xcbf29ce484222325;
    for (const Byte b : bytes) hash = (hash ^ b) * 0x100000001b3;
    return hash;
}

std::string hex(std::uint64_t value, int digits) {
    char text[17];
    std::snprintf(text, sizeof text, "%0*llx", digits, static_cast<unsigned long long>(value));
    return text;
}

// Exactly `digits` hexadecimal digits (lower case, as names are written).
std::optional<std::uint64_t> readHex(std::string_view text, std::size_t digits) {
    if (text.size() != digits) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0) return std::nullopt;
        value = value << 4 | static_cast<unsigned>(digit);
    }
    return value;
}

std::optional<std::int64_t> readDecimal(std::string_view text, std::size_t digits) {
    if (text.size() != digits) return std::nullopt;
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// "20250301-140509-123456789": the time in UTC, to the nanosecond (by the
// calendar alone: no time zone to look up).
std::string timeInName(std::int64_t time) {
    using namespace std::chrono;
    const sys_time<nanoseconds> at{nanoseconds(time)};
    const sys_days date = floor<days>(at);
    const year_month_day ymd{date};
    const hh_mm_ss clock{floor<seconds>(at) - date};
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02u%02u-%02d%02d%02lld-%09lld", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                  static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                  static_cast<long long>(clock.seconds().count()),
                  static_cast<long long>((at - floor<seconds>(at)).count()));
    return text;
}

// "YYYYMMDD-HHMMSS" (UTC) as nanoseconds since 1970.
std::optional<std::int64_t> readDateAndTime(std::string_view text) {
    if (text.size() != 15 || text[8] != '-') return std::nullopt;
    const auto y = readDecimal(text.substr(0, 4), 4), mo = readDecimal(text.substr(4, 2), 2),
               d = readDecimal(text.substr(6, 2), 2), h = readDecimal(text.substr(9, 2), 2),
               mi = readDecimal(text.substr(11, 2), 2), s = readDecimal(text.substr(13, 2), 2);
    if (!y || !mo || !d || !h || !mi || !s || *h > 23 || *mi > 59 || *s > 60) return std::nullopt;
    using namespace std::chrono;
    const year_month_day date{year{static_cast<int>(*y)}, month{static_cast<unsigned>(*mo)},
                              day{static_cast<unsigned>(*d)}};
    if (!date.ok()) return std::nullopt;
    const auto at = sys_days{date} + hours{*h} + minutes{*mi} + seconds{*s};
    return duration_cast<nanoseconds>(at.time_since_epoch()).count();
}

std::span<const Byte> bytesOf(const std::string& text) {
    return {reinterpret_cast<const Byte*>(text.data()), text.size()};
}

}  // namespace

const std::size_t kMaxEventsLength = 1024 * 1024;
const std::size_t kMaxRecordSize =
    std::max(kHeaderLength + kMaxFingerprintLength + kMaxPathLength + 2 * kMaxPrefixLength + 4 + kMaxTraceLength +
                 kTrailerLength,
             kLegacyHeaderLength + kMaxPathLength + 2 * kMaxPrefixLength + kLegacyHashLength) +
    kMaxEventsLength;

std::uint64_t discHash(std::span<const Byte> fingerprint) {
    return std::uint64_t{bytesChecksum(fingerprint, 1)} << 32 | bytesChecksum(fingerprint, 2);
}

// Eight bytes a step, as a patch's time goes mostly to the disk: each step is a
// bijection of the sum so far, so a change within any one 8-byte word always
// changes the result. For telling records apart and damaged ones, not against
// an adversary.
std::uint32_t bytesChecksum(std::span<const Byte> bytes, std::uint32_t before) {
    std::uint64_t sum = 0x9E3779B97F4A7C15u ^ before ^ (std::uint64_t{bytes.size()} << 32);
    const auto step = [&sum](std::uint64_t word) {
        sum = (sum ^ word) * 0xFF51AFD7ED558CCDu;
        sum ^= sum >> 29;
    };
    std::size_t at = 0;
    for (; at + 8 <= bytes.size(); at += 8) {
        std::uint64_t word;  // one load where the machine is little-endian, as the sum's words are
        if constexpr (std::endian::native == std::endian::little)
            std::memcpy(&word, bytes.data() + at, 8);
        else
            word = readLe64(bytes, at);
        step(word);
    }
    std::uint64_t last = 0;
    for (std::size_t k = 0; at + k < bytes.size(); ++k) last |= std::uint64_t{bytes[at + k]} << (8 * k);
    step(last);
    sum = (sum ^ (sum >> 33)) * 0xC4CEB9FE1A85EC53u;
    return static_cast<std::uint32_t>(sum ^ (sum >> 32));
}

std::string recordFileName(const RecordName& name) {
    std::string text =
        hex(name.disc, 16) + "-" + timeInName(name.time) + "-" + hex(name.written, 8) + "-" + hex(name.before, 8);
    if (name.state != RecordState::Done) text.append(name.state == RecordState::Pending ? kPending : kRestoring);
    if (name.holder != 0) text.append("-").append(hex(name.holder, 16));
    return text.append(kExtension);
}

// 16 + 1 + 25 + 1 + 8 + 1 + 8 characters before the state, if any, and the extension.
constexpr std::size_t kStem = 60;

std::optional<RecordNameFields> recordNameFields(std::string_view text) {
    if (text.size() < kStem + kExtension.size() || !text.ends_with(kExtension) || text[16] != '-' || text[32] != '-' ||
        text[42] != '-' || text[51] != '-')
        return std::nullopt;
    return RecordNameFields{text.substr(0, 16), text.substr(17, 25), text.size() == kStem + kExtension.size()};
}

std::string discField(std::uint64_t disc) { return hex(disc, 16); }

std::string timeField(std::int64_t time) { return timeInName(time); }

std::optional<std::int64_t> readTimeField(std::string_view field) {
    if (field.size() != 25 || field[15] != '-') return std::nullopt;
    const auto when = readDateAndTime(field.substr(0, 15));
    const auto nanoseconds = readDecimal(field.substr(16, 9), 9);
    if (!when || !nanoseconds) return std::nullopt;
    return *when + *nanoseconds;
}

std::optional<RecordName> parseRecordName(std::string_view text) {
    if (text.size() < kStem + kExtension.size() || !text.ends_with(kExtension)) return std::nullopt;
    text.remove_suffix(kExtension.size());
    RecordName name;
    const std::string_view state = text.substr(kStem);
    text = text.substr(0, kStem);
    if (text[16] != '-' || text[42] != '-' || text[51] != '-' || text[32] != '-') return std::nullopt;
    const auto disc = readHex(text.substr(0, 16), 16), written = readHex(text.substr(43, 8), 8),
               before = readHex(text.substr(52, 8), 8);
    const auto time = readTimeField(text.substr(17, 25));
    if (!disc || !written || !before || !time) return std::nullopt;
    name.disc = *disc;
    name.time = *time;
    name.written = static_cast<std::uint32_t>(*written);
    name.before = static_cast<std::uint32_t>(*before);
    if (state.empty()) return name;
    if (state == kPending) {
        name.state = RecordState::Pending;
        return name;
    }
    for (const auto& [marker, kind] :
         {std::pair{kPending, RecordState::Pending}, {kRestoring, RecordState::Restoring}}) {
        if (!state.starts_with(marker) || state.substr(marker.size(), 1) != "-") continue;
        const auto holder = readHex(state.substr(marker.size() + 1), 16);
        if (!holder || *holder == 0) return std::nullopt;
        name.state = kind;
        name.holder = *holder;
        return name;
    }
    return std::nullopt;
}

EncodedRecord encodeRecord(std::int64_t time, std::span<const Byte> fingerprint, const ImageFile& madeOn,
                           std::span<const Byte> before, std::span<const Byte> written, std::span<const Byte> trace) {
    EncodedRecord record;
    std::copy(kMagic.begin(), kMagic.end(), record.header.begin());
    writeLe32(record.header, 8, trace.empty() ? kRecordFormat : kTracedRecordFormat);
    if (!trace.empty()) {
        record.trace.assign(4 + trace.size(), 0);
        writeLe32(record.trace, 0, static_cast<std::uint32_t>(trace.size()));
        std::copy(trace.begin(), trace.end(), record.trace.begin() + 4);
    }
    writeLe32(record.header, 12, static_cast<std::uint32_t>(before.size()));
    writeLe64(record.header, 16, static_cast<std::uint64_t>(time));
    writeLe32(record.header, 24, static_cast<std::uint32_t>(fingerprint.size()));
    writeLe64(record.header, 28, madeOn.identity);
    writeLe32(record.header, 36, static_cast<std::uint32_t>(madeOn.path.size()));
    std::uint32_t head = bytesChecksum(bytesOf(madeOn.path), bytesChecksum(fingerprint, bytesChecksum(record.header)));
    if (!trace.empty()) head = bytesChecksum(record.trace, head);
    record.name = {discHash(fingerprint), time, bytesChecksum(written), bytesChecksum(before)};
    writeLe32(record.trailer, 0, head);
    writeLe32(record.trailer, 4, record.name.before);
    writeLe32(record.trailer, 8, record.name.written);
    return record;
}

std::vector<Byte> encodeEvent(const RecordEvent& event) {
    std::vector<Byte> bytes(kEventHeadLength + event.file.path.size() + 4);
    writeLe32(bytes, 0, event.kind);
    writeLe64(bytes, 4, event.file.identity);
    writeLe32(bytes, 12, static_cast<std::uint32_t>(event.file.path.size()));
    std::copy(event.file.path.begin(), event.file.path.end(), bytes.begin() + kEventHeadLength);
    const auto covered = std::span<const Byte>(bytes).first(bytes.size() - 4);
    writeLe32(bytes, bytes.size() - 4, bytesChecksum(covered));
    return bytes;
}

const RecordEvent* PatchRecord::lastEventOf(const ImageFile& file) const {
    for (auto it = events.rbegin(); it != events.rend(); ++it)
        if (it->file.is(file)) return &*it;
    return nullptr;
}

namespace {

std::string textOf(std::span<const Byte> bytes) { return {bytes.begin(), bytes.end()}; }

// The events after a record's own bytes, up to the first that is not whole (an
// append that a power cut stopped) or that is of a kind this program does not know.
std::vector<RecordEvent> decodeEvents(std::span<const Byte> bytes, std::size_t& end) {
    std::vector<RecordEvent> events;
    while (bytes.size() >= kEventHeadLength + 4) {
        const std::uint32_t kind = readLe32(bytes, 0);
        const std::size_t pathLength = readLe32(bytes, 12);
        if (pathLength > kMaxPathLength || bytes.size() < kEventHeadLength + pathLength + 4) break;
        const std::size_t length = kEventHeadLength + pathLength;
        if (bytesChecksum(bytes.first(length)) != readLe32(bytes, length)) break;
        if (kind < RecordEvent::Restoring || kind > RecordEvent::Abandoned) break;
        events.push_back({static_cast<RecordEvent::Kind>(kind),
                          {readLe64(bytes, 4), textOf(bytes.subspan(kEventHeadLength, pathLength))}});
        bytes = bytes.subspan(length + 4);
        end += length + 4;
    }
    return events;
}

}  // namespace

PatchRecord decodeRecord(std::span<const Byte> bytes) {
    if (bytes.size() < kFirstHeaderLength + kTrailerLength || !std::equal(kMagic.begin(), kMagic.end(), bytes.begin()))
        throw Failure("it is not a record of this program");
    const std::uint32_t version = readLe32(bytes, 8);
    if (version != kRecordFormat && version != kFirstRecordFormat && version != kTracedRecordFormat)
        throw Failure("its format version is " + std::to_string(version) + "; this program reads versions " +
                          std::to_string(kFirstRecordFormat) + " to " + std::to_string(kTracedRecordFormat),
                      Problem::NotSupported);
    const bool traced = version == kTracedRecordFormat, withPath = version != kFirstRecordFormat;
    const std::size_t header = withPath ? kHeaderLength : kFirstHeaderLength;
    if (bytes.size() < header + kTrailerLength) throw Failure("it is not a record of this program");
    const std::size_t prefixLength = readLe32(bytes, 12), fingerprintLength = readLe32(bytes, 24);
    const std::size_t pathLength = withPath ? readLe32(bytes, 36) : 0;
    if (prefixLength == 0 || prefixLength > kMaxPrefixLength || fingerprintLength < 8 ||
        fingerprintLength > kMaxFingerprintLength || pathLength > kMaxPathLength)
        throw Failure("its header is damaged");
    const std::size_t traceAt = header + fingerprintLength + pathLength + 2 * prefixLength;
    std::size_t traceLength = 0;
    if (traced) {
        if (bytes.size() < traceAt + 4)
            throw Failure("it is " + std::to_string(bytes.size()) + " bytes long, which cuts its trace");
        traceLength = readLe32(bytes, traceAt);
        if (traceLength == 0 || traceLength > kMaxTraceLength) throw Failure("its header is damaged");
    }
    const std::size_t traceBytes = traced ? 4 + traceLength : 0;
    const std::size_t expected = traceAt + traceBytes + kTrailerLength;
    // Events follow, in either format (format 3 records get them once restored).
    if (bytes.size() < expected)
        throw Failure("it is " + std::to_string(bytes.size()) + " bytes long; its header says " +
                      std::to_string(expected));
    const auto fingerprint = bytes.subspan(header, fingerprintLength);
    const auto path = bytes.subspan(header + fingerprintLength, pathLength);
    const auto beforeBytes = bytes.subspan(header + fingerprintLength + pathLength, prefixLength);
    const auto writtenBytes = beforeBytes.data() + prefixLength;
    const std::span<const Byte> written(writtenBytes, prefixLength);
    const auto trailer = bytes.subspan(expected - kTrailerLength, kTrailerLength);
    std::uint32_t head = bytesChecksum(fingerprint, bytesChecksum(bytes.first(header)));
    if (withPath) head = bytesChecksum(path, head);
    if (traced) head = bytesChecksum(bytes.subspan(traceAt, traceBytes), head);
    if (head != readLe32(trailer, 0)) throw Failure("its contents do not match their checksums");
    if (bytesChecksum(beforeBytes) != readLe32(trailer, 4) || bytesChecksum(written) != readLe32(trailer, 8))
        throw Failure("its contents do not match their checksums");
    PatchRecord record;
    record.time = static_cast<std::int64_t>(readLe64(bytes, 16));
    record.fingerprint.assign(fingerprint.begin(), fingerprint.end());
    record.before.assign(beforeBytes.begin(), beforeBytes.end());
    record.written.assign(written.begin(), written.end());
    if (withPath) record.madeOn = {readLe64(bytes, 28), textOf(path)};
    if (traced) {
        const auto trace = bytes.subspan(traceAt + 4, traceLength);
        record.trace.assign(trace.begin(), trace.end());
    }
    record.end = expected;
    record.events = decodeEvents(bytes.subspan(expected), record.end);
    return record;
}

LegacyBackup decodeLegacyBackup(std::span<const Byte> bytes) {
    if (bytes.size() < kLegacyHeaderLength + kLegacyHashLength ||
        !std::equal(kMagic.begin(), kMagic.end(), bytes.begin()))
        throw Failure("it is not a backup of this program");
    const std::uint32_t version = readLe32(bytes, 8);
    if (version != kCrcFormat && version != kFnvFormat)
        throw Failure("its format version is " + std::to_string(version) + "; this program reads versions " +
                      std::to_string(kFnvFormat) + " to " + std::to_string(kCrcFormat) + " of backups");
    const std::size_t prefixLength = readLe32(bytes, 12), pathLength = readLe32(bytes, 24);
    if (prefixLength == 0 || prefixLength > kMaxPrefixLength || pathLength > kMaxPathLength)
        throw Failure("its header is damaged");
    const std::size_t expected = kLegacyHeaderLength + pathLength + 2 * prefixLength + kLegacyHashLength;
    if (bytes.size() != expected)
        throw Failure("it is " + std::to_string(bytes.size()) + " bytes long; its header says " +
                      std::to_string(expected));
    const auto covered = bytes.first(bytes.size() - kLegacyHashLength);
    const std::uint64_t sum = version == kFnvFormat ? fnv1a(covered) : computeEdc(covered);
    if (sum != readLe64(bytes, bytes.size() - kLegacyHashLength))
        throw Failure("its contents do not match their checksum");

    LegacyBackup backup;
    const auto path = bytes.subspan(kLegacyHeaderLength, pathLength);
    const auto before = bytes.subspan(kLegacyHeaderLength + pathLength, prefixLength);
    const auto written = bytes.subspan(kLegacyHeaderLength + pathLength + prefixLength, prefixLength);
    backup.imagePath.assign(path.begin(), path.end());
    backup.before.assign(before.begin(), before.end());
    backup.written.assign(written.begin(), written.end());
    return backup;
}

std::string legacyNameStart(const std::string& canonicalImagePath) {
    return hex(fnv1a(bytesOf(canonicalImagePath)), 16) + "-";
}

// "<path hash>-YYYYMMDD-HHMMSS-<sequence>.tolvane-backup"; the sequence orders an
// image's backups of one second, so it counts as nanoseconds.
std::optional<std::int64_t> legacyNameTime(std::string_view text) {
    if (!text.ends_with(kLegacyExtension) || text.size() < 17 + 15 + 2 + kLegacyExtension.size() || text[16] != '-' ||
        text[32] != '-')
        return std::nullopt;
    const std::string_view digits = text.substr(33, text.size() - 33 - kLegacyExtension.size());
    const auto time = readDateAndTime(text.substr(17, 15));
    const auto sequence = readDecimal(digits, digits.size());
    if (!time || digits.empty() || digits.size() > 9 || !sequence) return std::nullopt;
    return *time + *sequence;
}

}  // namespace tolvane
