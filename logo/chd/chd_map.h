// The hunk map of a compressed CHD (version 5): for each hunk, how it is stored
// (with which of the header's four codecs, uncompressed, as a copy of an earlier
// hunk, or in a parent CHD), where, how long, and the CRC-16 of its data.
//
// The map is stored compressed: a Huffman-coded, run-length-coded list of every
// hunk's kind, then each hunk's fields in as few bits as the map's header says,
// offsets left out where they follow from the lengths before them. So a hunk's
// entry can only be found by decoding all entries before it: the map is decoded
// once when the file opens (and checked against its CRC), keeping where each
// 256th entry starts, and an entry is decoded again from there when asked for.
// Memory stays small for the largest disc: the map's bytes and a few bytes for
// every 256 hunks.
#pragma once

#include "huffman.h"

#include <cstdint>
#include <span>
#include <vector>

namespace tolvane::chd {

// Damage of the kind where the file ends before what it points to.
class CutShort : public Damage {
public:
    using Damage::Damage;
};

// A fuzzer cannot make CRCs match what it changed, so its build
// (FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION) checks none, for its inputs to
// reach what lies behind them.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
inline constexpr bool kChecksCrcs = false;
#else
inline constexpr bool kChecksCrcs = true;
#endif

// Big-endian numbers of the header and map.
std::uint64_t readBe(std::span<const Byte> bytes, std::size_t at, std::size_t length);
void writeBe(std::span<Byte> bytes, std::size_t at, std::uint64_t value, std::size_t length);

// CRC-16/CCITT (polynomial 0x1021, most significant bit first, starting at
// 0xFFFF), which CHD keeps for the map and for each hunk; `before` is the CRC
// of the bytes before these, for bytes taken in pieces.
std::uint16_t crc16(std::span<const Byte> bytes, std::uint16_t before = 0xFFFF);

enum class HunkKind : Byte {
    Codec0 = 0,  // compressed with the header's codec 0 (up to Codec3 = 3)
    Uncompressed = 4,
    Self = 5,    // the same data as an earlier hunk of this file
    Parent = 6,  // data of the parent CHD
};

struct MapEntry {
    Byte kind;             // a HunkKind; 0-3 name the codec
    std::uint32_t length;  // bytes stored, for a compressed or uncompressed hunk
    std::uint64_t offset;  // where in the file; the hunk copied, for Self; a unit, for Parent
    std::uint16_t crc;     // of the hunk's data
};

inline constexpr std::size_t kMapHeaderLength = 16;

class CompressedMap {
public:
    // `header` is the map's 16-byte header, `bytes` what follows it. Fails with
    // Damage when the map does not decode or its CRC does not match.
    CompressedMap(std::span<const Byte> header, std::vector<Byte> bytes, std::uint32_t hunks, std::uint32_t hunkBytes,
                  std::uint32_t unitBytes);

    MapEntry entry(std::uint32_t hunk) const;

private:
    // Where the decoding of one entry starts: in the kinds and in the fields.
    struct Position {
        std::uint64_t kindBit = 0;
        Byte lastKind = 0;  // as coded, before the shorthands are resolved
        std::uint32_t repeats = 0;
        std::uint64_t fieldBit = 0;
        std::uint64_t offset = 0;
        std::uint64_t lastSelf = 0;
        std::uint64_t lastParent = 0;
    };
    static constexpr std::uint32_t kCheckpointEvery = 256;

    Byte nextKind(Position& at) const;
    MapEntry step(Position& at, std::uint32_t hunk) const;

    std::vector<Byte> bytes_;
    HuffmanDecoder kinds_{16, 8};
    std::uint64_t firstOffset_;
    int lengthBits_, selfBits_, parentBits_;
    std::uint32_t hunkBytes_, unitBytes_;
    std::vector<Position> checkpoints_;
};

}  // namespace tolvane::chd
