// The EDC and ECC of raw CD sectors.
#include "logo/disc/sector_checks.h"

#include "logo/base/bytes.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <stdexcept>

namespace tolvane {

namespace {

// Offsets within a raw sector.
constexpr std::size_t kModeByte = 15;
constexpr std::size_t kSubmodeByte = 18;
constexpr std::size_t kMode1EdcAt = 2064;
constexpr std::size_t kForm1EdcAt = 2072;
constexpr std::size_t kForm2EdcAt = 2348;
constexpr std::size_t kEccPAt = 2076;
constexpr std::size_t kEccQAt = 2248;
constexpr Byte kForm2Bit = 0x20;

// The ECC works on S, the 2340 bytes from offset 12 on, seen as 26 rows of 86
// bytes (data, then the two rows of P parity) and the Q parity after them.
constexpr std::size_t kEccStart = 12;
constexpr std::size_t kRowLength = 86, kRows = 26;
constexpr std::size_t kPVectors = 86, kPLength = 24;
constexpr std::size_t kQVectors = 52, kQLength = 43;
constexpr std::size_t kPParity = 2 * kPVectors, kQParity = 2 * kQVectors;

// The EDC's CRC a byte at a time (table 0) and 16 bytes at a time: table n
// gives the CRC of a byte followed by n zero bytes.
constexpr std::size_t kCrcStride = 16;
constexpr std::array<std::array<std::uint32_t, 256>, kCrcStride> kCrcTables = [] {
    std::array<std::array<std::uint32_t, 256>, kCrcStride> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t value = n;
        for (int bit = 0; bit < 8; ++bit) value = (value >> 1) ^ ((value & 1) ? 0xD8018001u : 0u);
        t[0][n] = value;
    }
    for (std::size_t k = 1; k < t.size(); ++k)
        for (std::size_t n = 0; n < 256; ++n) t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
    return t;
}();

// GF(2^8) with field polynomial 0x11D: a byte times alpha (2), and eight bytes
// of a word times alpha at once (the bytes that overflow get 0x1D, no carries
// between bytes).
constexpr Byte timesAlpha(Byte x) { return static_cast<Byte>((x << 1) ^ ((x & 0x80) ? 0x1D : 0)); }
constexpr std::uint64_t eachTimesAlpha(std::uint64_t x) {
    return ((x & 0x7F7F7F7F7F7F7F7Fu) << 1) ^ (((x >> 7) & 0x0101010101010101u) * 0x1D);
}

// x / (alpha + 1), that is x / 3.
constexpr std::array<Byte, 256> kDivideByAlphaPlus1 = [] {
    std::array<Byte, 256> t{};
    for (unsigned y = 0; y < 256; ++y)
        t[static_cast<Byte>(y) ^ timesAlpha(static_cast<Byte>(y))] = static_cast<Byte>(y);
    return t;
}();

// Eight bytes as one word, byte i in bits 8i to 8i + 7 whatever the machine's byte order.
std::uint64_t le64(const Byte* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big) {
        std::uint64_t swapped = 0;
        for (int i = 0; i < 8; ++i, v >>= 8) swapped = swapped << 8 | (v & 0xFF);
        v = swapped;
    }
    return v;
}

// The rows of S as the ECC sees them. Mode 2 computes with the 4 header bytes
// taken as zero, so row 0 is then a copy with those bytes cleared.
class EccRows {
public:
    EccRows(const Byte* s, bool zeroHeader) {
        for (std::size_t r = 0; r < rows_.size(); ++r) rows_[r] = s + kRowLength * (r % kRows);
        if (!zeroHeader) return;
        std::copy_n(s, row0_.size(), row0_.begin());
        std::fill_n(row0_.begin(), 4, Byte{0});
        rows_[0] = rows_[kRows] = row0_.data();
    }
    EccRows(const EccRows&) = delete;
    EccRows& operator=(const EccRows&) = delete;

    // Row r mod 26, for r < 52.
    const Byte* row(std::size_t r) const { return rows_[r]; }

private:
    std::array<const Byte*, 2 * kRows> rows_{};
    std::array<Byte, kRowLength + 2> row0_{};  // P reads each row in whole words, 2 bytes past its end
};

// The parity of many vectors computed side by side, eight to a 64-bit word (byte
// i of word w belongs to vector 8w + i), so that no step waits on another
// vector's. Each step brings the next byte of every vector: B += v,
// A = (A + v) * alpha (Horner's rule).
template <std::size_t Vectors>
class ParityLanes {
public:
    static constexpr std::size_t kWords = (Vectors + 7) / 8;  // bytes past Vectors are ignored

    void add(std::size_t w, std::uint64_t v) {
        b_[w] ^= v;
        a_[w] = eachTimesAlpha(a_[w] ^ v);
    }

    // Vector m's parity: first[m] = (alpha A + B) / (alpha + 1), second[m] = first[m] + B.
    void finish(Byte* first, Byte* second) const {
        for (std::size_t w = 0; w < kWords; ++w) {
            const std::uint64_t sum = b_[w], alphaAPlusB = eachTimesAlpha(a_[w]) ^ b_[w];
            for (std::size_t i = 0, m = 8 * w; i < 8 && m < Vectors; ++i, ++m) {
                const Byte p0 = kDivideByAlphaPlus1[static_cast<Byte>(alphaAPlusB >> 8 * i)];
                first[m] = p0;
                second[m] = p0 ^ static_cast<Byte>(sum >> 8 * i);
            }
        }
    }

private:
    std::array<std::uint64_t, kWords> a_{}, b_{};
};

// P parity: vector m is column m of the 24 data rows, so each row brings the
// next byte of all 86 vectors at once.
void pParity(const EccRows& rows, Byte* out) {
    ParityLanes<kPVectors> lanes;
    for (std::size_t k = 0; k < kPLength; ++k) {
        const Byte* row = rows.row(k);
        for (std::size_t w = 0; w < lanes.kWords; ++w) lanes.add(w, le64(row + 8 * w));
    }
    lanes.finish(out, out + kPVectors);
}

// Q parity, over the data and the P parity rows: the k-th byte of vector
// m = 2j + b (start S[86 j + b], step 88 mod 2236) is S[86 ((j + k) mod 26) + 2k + b],
// so step k brings the two-byte column 2k of all 26 rows, rotated up by k rows.
void qParity(const EccRows& rows, Byte* out) {
    ParityLanes<kQVectors> lanes;
    for (std::size_t k = 0; k < kQLength; ++k) {
        const std::size_t first = k % kRows, column = 2 * k;
        const auto pair = [&](std::size_t j) -> std::uint64_t {
            const Byte* p = rows.row(first + j) + column;
            return static_cast<std::uint64_t>(p[0] | p[1] << 8);
        };
        // The 26 pairs fill six words of four and a seventh of two.
        for (std::size_t w = 0; w < 6; ++w)
            lanes.add(w, pair(4 * w) | pair(4 * w + 1) << 16 | pair(4 * w + 2) << 32 | pair(4 * w + 3) << 48);
        lanes.add(6, pair(24) | pair(25) << 16);
    }
    lanes.finish(out, out + kQVectors);
}

void writeEcc(RawSector sector, bool zeroHeader) {
    const EccRows rows(sector.data() + kEccStart, zeroHeader);
    pParity(rows, sector.data() + kEccPAt);
    qParity(rows, sector.data() + kEccQAt);
}

bool eccMatches(ConstRawSector sector, bool zeroHeader) {
    const EccRows rows(sector.data() + kEccStart, zeroHeader);
    std::array<Byte, kPParity> p;
    pParity(rows, p.data());
    if (!std::equal(p.begin(), p.end(), sector.begin() + kEccPAt)) return false;
    // The P parity stored is the one computed, so Q can be computed over the sector as it is.
    std::array<Byte, kQParity> q;
    qParity(rows, q.data());
    return std::equal(q.begin(), q.end(), sector.begin() + kEccQAt);
}

bool edcMatches(ConstRawSector sector, std::size_t from, std::size_t at) {
    return readLe32(sector, at) == computeEdc(sector.subspan(from, at - from));
}

// What the sync and the mode bytes say, without looking at the check fields.
SectorMode modeOf(ConstRawSector sector) {
    if (!std::equal(kSync.begin(), kSync.end(), sector.begin())) return SectorMode::NoSync;
    switch (sector[kModeByte]) {
        case 0: return SectorMode::Mode0;
        case 1: return SectorMode::Mode1;
        case 2: return (sector[kSubmodeByte] & kForm2Bit) ? SectorMode::Mode2Form2 : SectorMode::Mode2Form1;
        default: return SectorMode::Unknown;
    }
}

template <typename B>
std::span<B, kRawSectorSize> sectorOf(std::span<B> bytes, std::size_t n) {
    if (n >= bytes.size() / kRawSectorSize)
        throw std::out_of_range("sector " + std::to_string(n) + " lies past " + std::to_string(bytes.size()) +
                                " bytes");
    return bytes.subspan(n * kRawSectorSize).template first<kRawSectorSize>();
}

}  // namespace

RawSector rawSector(std::span<Byte> bytes, std::size_t n) { return sectorOf(bytes, n); }

ConstRawSector rawSector(std::span<const Byte> bytes, std::size_t n) { return sectorOf(bytes, n); }

bool SectorState::hasEdc() const { return hasEcc() || mode == SectorMode::Mode2Form2; }

bool SectorState::hasEcc() const { return mode == SectorMode::Mode1 || mode == SectorMode::Mode2Form1; }

bool SectorState::checksValid() const { return hasEdc() && edcValid && (!hasEcc() || eccValid); }

std::string describe(SectorMode mode) {
    switch (mode) {
        case SectorMode::NoSync: return "no sync";
        case SectorMode::Mode0: return "mode 0";
        case SectorMode::Mode1: return "mode 1";
        case SectorMode::Mode2Form1: return "mode 2 form 1";
        case SectorMode::Mode2Form2: return "mode 2 form 2";
        case SectorMode::Unknown: return "unknown mode";
    }
    return "unknown mode";
}

std::uint32_t computeEdc(std::span<const Byte> bytes, std::uint32_t before) {
    // Four bytes, each looked up in the table for the number of bytes that follow it.
    const auto fold = [](std::uint32_t word, std::size_t followedBy) {
        const auto& t = kCrcTables;
        return t[followedBy + 3][word & 0xFF] ^ t[followedBy + 2][(word >> 8) & 0xFF] ^
               t[followedBy + 1][(word >> 16) & 0xFF] ^ t[followedBy][word >> 24];
    };
    const auto le32 = [](const Byte* p) {
        return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
               static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
    };
    std::uint32_t value = before;
    const Byte* p = bytes.data();
    std::size_t left = bytes.size();
    for (; left >= kCrcStride; p += kCrcStride, left -= kCrcStride)  // the CRC so far goes into the first four bytes
        value = fold(value ^ le32(p), 12) ^ fold(le32(p + 4), 8) ^ fold(le32(p + 8), 4) ^ fold(le32(p + 12), 0);
    for (; left > 0; ++p, --left) value = (value >> 8) ^ kCrcTables[0][(value ^ *p) & 0xFF];
    return value;
}

SectorState inspectSector(ConstRawSector sector) {
    const SectorMode mode = modeOf(sector);
    switch (mode) {
        case SectorMode::Mode1: return {mode, edcMatches(sector, 0, kMode1EdcAt), eccMatches(sector, false)};
        case SectorMode::Mode2Form1: return {mode, edcMatches(sector, 16, kForm1EdcAt), eccMatches(sector, true)};
        case SectorMode::Mode2Form2: return {mode, edcMatches(sector, 16, kForm2EdcAt), false};
        default: return {mode, false, false};
    }
}

bool writeCheckFields(RawSector sector) {
    const SectorMode mode = modeOf(sector);
    if (mode == SectorMode::Mode2Form2) {  // an EDC and no ECC
        writeLe32(sector, kForm2EdcAt, computeEdc(sector.subspan(16, kForm2EdcAt - 16)));
        return true;
    }
    if (mode == SectorMode::Mode1) {
        writeLe32(sector, kMode1EdcAt, computeEdc(sector.first(kMode1EdcAt)));
        std::fill_n(sector.begin() + kMode1EdcAt + 4, 8, Byte{0});
    } else if (mode == SectorMode::Mode2Form1) {
        writeLe32(sector, kForm1EdcAt, computeEdc(sector.subspan(16, kForm1EdcAt - 16)));
    } else {
        return false;
    }
    writeEcc(sector, mode == SectorMode::Mode2Form1);
    return true;
}

void writeEccOf(RawSector sector) { writeEcc(sector, sector[kModeByte] == 2); }

WholeSector wholeSector(const ImagePrefix& prefix, std::size_t n) {
    const ImageLayout& layout = prefix.layout();
    if (!layout.storesRawSectors() || n >= kLogoSectors)
        throw std::out_of_range("no whole raw sector " + std::to_string(n) + " in this layout");
    WholeSector whole{};
    std::copy(kSync.begin(), kSync.end(), whole.begin());
    whole[kModeByte] = 2;  // a Mode 2 header of zeros: Mode 2 check fields do not cover it
    const auto stored = prefix.bytes().subspan(n * layout.sectorSize, layout.sectorSize);
    std::copy(stored.begin(), stored.end(), whole.begin() + static_cast<std::ptrdiff_t>(layout.rawOffset));
    return whole;
}

std::size_t refreshCheckFields(ImagePrefix& prefix, const ImagePrefix& asRead) {
    const ImageLayout& layout = prefix.layout();
    if (!layout.storesRawSectors()) return 0;
    // A Mode 2 disc mixes both forms; Form 2 sectors carry an EDC only.
    const auto kept = [&](SectorMode mode) {
        return mode == layout.logoSectorMode ||
               (layout.logoSectorMode == SectorMode::Mode2Form1 && mode == SectorMode::Mode2Form2);
    };
    std::size_t refreshed = 0;
    for (std::size_t i = 0; i < kLogoSectors; ++i) {
        const SectorState state = inspectSector(wholeSector(asRead, i));
        if (!kept(state.mode) || !state.checksValid()) continue;
        WholeSector sector = wholeSector(prefix, i);
        if (!writeCheckFields(sector)) continue;
        const auto stored = std::span<const Byte>(sector).subspan(layout.rawOffset);
        std::copy(stored.begin(), stored.end(),
                  prefix.bytes().begin() + static_cast<std::ptrdiff_t>(i * layout.sectorSize));
        ++refreshed;
    }
    return refreshed;
}

}  // namespace tolvane
