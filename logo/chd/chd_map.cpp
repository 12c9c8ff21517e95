// Decoding the compressed hunk map of a CHD.
#include "chd_map.h"

#include <array>
#include <string>

namespace tolvane::chd {

namespace {

// The kinds as coded: the stored kinds (0-6), then two run-length escapes and
// shorthands for the usual copies.
enum : Byte {
    kRunShort = 7,     // the last kind again, 3-18 times in all (4 more bits)
    kRunLong = 8,      // the last kind again, 19-274 times in all (8 more bits)
    kSameSelf = 9,     // a copy of the hunk the last copy copied
    kNextSelf = 10,    // a copy of the hunk after that one
    kParentHere = 11,  // the parent's data at this hunk's place
    kSameParent = 12,  // the parent's data the last parent hunk had
    kNextParent = 13,  // the parent's data after that
};

constexpr std::array<std::uint16_t, 256> kCrc16Table = [] {
    std::array<std::uint16_t, 256> table{};
    for (unsigned n = 0; n < 256; ++n) {
        auto value = static_cast<std::uint16_t>(n << 8);
        for (int bit = 0; bit < 8; ++bit)
            value = static_cast<std::uint16_t>((value & 0x8000) ? (value << 1) ^ 0x1021 : value << 1);
        table[n] = value;
    }
    return table;
}();

std::uint64_t readWide(BitReader& bits, int count) {
    if (count <= 32) return bits.read(count);
    const std::uint64_t high = bits.read(count - 32);
    return high << 32 | bits.read(32);
}

}  // namespace

std::uint64_t readBe(std::span<const Byte> bytes, std::size_t at, std::size_t length) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < length; ++i) value = value << 8 | bytes[at + i];
    return value;
}

void writeBe(std::span<Byte> bytes, std::size_t at, std::uint64_t value, std::size_t length) {
    for (std::size_t i = length; i-- > 0; value >>= 8) bytes[at + i] = static_cast<Byte>(value);
}

std::uint16_t crc16(std::span<const Byte> bytes, std::uint16_t before) {
    std::uint16_t crc = before;
    for (const Byte b : bytes) crc = static_cast<std::uint16_t>(crc << 8 ^ kCrc16Table[(crc >> 8 ^ b) & 0xFF]);
    return crc;
}

CompressedMap::CompressedMap(std::span<const Byte> header, std::vector<Byte> bytes, std::uint32_t hunks,
                             std::uint32_t hunkBytes, std::uint32_t unitBytes)
    : bytes_(std::move(bytes)),
      firstOffset_(readBe(header, 4, 6)),
      lengthBits_(header[12]),
      selfBits_(header[13]),
      parentBits_(header[14]),
      hunkBytes_(hunkBytes),
      unitBytes_(unitBytes) {
    if (lengthBits_ > 24 || selfBits_ > 32 || parentBits_ > 48)
        throw Damage("its header gives fields wider than the format allows");
    BitReader kindBits(bytes_);
    kinds_.readRunLengthTree(kindBits);

    // Once through the kinds to find where the fields start, then through both,
    // keeping a checkpoint every kCheckpointEvery hunks and the CRC of the entries.
    Position at;
    at.kindBit = kindBits.position();
    const std::uint64_t end = std::uint64_t{bytes_.size()} * 8;
    for (std::uint32_t hunk = 0; hunk < hunks; ++hunk) {
        nextKind(at);
        if (at.kindBit > end) throw Damage("it ends before its last hunk's entry");
    }
    Position first;
    first.kindBit = kindBits.position();
    first.fieldBit = at.kindBit;
    first.offset = firstOffset_;
    at = first;

    checkpoints_.reserve(hunks / kCheckpointEvery + 1);
    std::vector<Byte> entries;
    entries.reserve(12 * 4096);
    std::uint16_t crc = 0xFFFF;
    const auto crcOfEntries = [&] {
        crc = crc16(entries, crc);
        entries.clear();
    };
    for (std::uint32_t hunk = 0; hunk < hunks; ++hunk) {
        if (hunk % kCheckpointEvery == 0) checkpoints_.push_back(at);
        const MapEntry entry = step(at, hunk);
        if (at.fieldBit > end) throw Damage("it ends before its last hunk's entry");
        std::array<Byte, 12> raw{};
        raw[0] = entry.kind;
        writeBe(raw, 1, entry.length, 3);
        writeBe(raw, 4, entry.offset, 6);
        writeBe(raw, 10, entry.crc, 2);
        entries.insert(entries.end(), raw.begin(), raw.end());
        if (entries.size() >= 12 * 4096) crcOfEntries();
    }
    crcOfEntries();
    if (kChecksCrcs && crc != readBe(header, 10, 2)) throw Damage("its CRC does not match");
}

Byte CompressedMap::nextKind(Position& at) const {
    if (at.repeats > 0) {
        --at.repeats;
        return at.lastKind;
    }
    BitReader bits(bytes_, at.kindBit);
    const auto coded = static_cast<Byte>(kinds_.decode(bits));
    if (coded == kRunShort) {
        at.repeats = 2 + kinds_.decode(bits);
    } else if (coded == kRunLong) {
        const std::uint32_t high = kinds_.decode(bits);
        at.repeats = 2 + 16 + (high << 4) + kinds_.decode(bits);
    } else {
        at.lastKind = coded;
    }
    at.kindBit = bits.position();
    return at.lastKind;
}

MapEntry CompressedMap::step(Position& at, std::uint32_t hunk) const {
    MapEntry entry{nextKind(at), 0, at.offset, 0};
    BitReader bits(bytes_, at.fieldBit);
    switch (entry.kind) {
        case 0:
        case 1:
        case 2:
        case 3:
            entry.length = bits.read(lengthBits_);
            at.offset += entry.length;
            entry.crc = static_cast<std::uint16_t>(bits.read(16));
            break;
        case static_cast<Byte>(HunkKind::Uncompressed):
            entry.length = hunkBytes_;
            at.offset += hunkBytes_;
            entry.crc = static_cast<std::uint16_t>(bits.read(16));
            break;
        case static_cast<Byte>(HunkKind::Self): entry.offset = at.lastSelf = readWide(bits, selfBits_); break;
        case static_cast<Byte>(HunkKind::Parent): entry.offset = at.lastParent = readWide(bits, parentBits_); break;
        case kNextSelf: ++at.lastSelf; [[fallthrough]];
        case kSameSelf:
            entry.kind = static_cast<Byte>(HunkKind::Self);
            entry.offset = at.lastSelf;
            break;
        case kParentHere:
            entry.kind = static_cast<Byte>(HunkKind::Parent);
            entry.offset = at.lastParent = std::uint64_t{hunk} * hunkBytes_ / unitBytes_;
            break;
        case kNextParent: at.lastParent += hunkBytes_ / unitBytes_; [[fallthrough]];
        case kSameParent:
            entry.kind = static_cast<Byte>(HunkKind::Parent);
            entry.offset = at.lastParent;
            break;
        default: throw Damage("it gives hunk " + std::to_string(hunk) + " a kind the format does not have");
    }
    at.fieldBit = bits.position();
    return entry;
}

MapEntry CompressedMap::entry(std::uint32_t hunk) const {
    Position at = checkpoints_.at(hunk / kCheckpointEvery);
    for (std::uint32_t n = hunk - hunk % kCheckpointEvery;; ++n) {
        const MapEntry found = step(at, n);
        if (n == hunk) return found;
    }
}

}  // namespace tolvane::chd
