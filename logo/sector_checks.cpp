#include "logo/sector_checks.h"

#include "logo/bytes.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace tolvane {

namespace {

constexpr std::array<Byte, 12> kSync{0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};

// Offsets within a raw sector.
constexpr std::size_t kModeByte = 15;
constexpr std::size_t kSubmodeByte = 18;
constexpr std::size_t kMode1EdcAt = 2064;
constexpr std::size_t kForm1EdcAt = 2072;
constexpr std::size_t kForm2EdcAt = 2348;
constexpr std::size_t kEccPAt = 2076;
constexpr std::size_t kEccQAt = 2248;
constexpr Byte kForm2Bit = 0x20;

// The ECC works on the 2340 bytes from offset 12 on.
constexpr std::size_t kEccStart = 12;
constexpr std::size_t kPVectors = 86, kPLength = 24;
constexpr std::size_t kQVectors = 52, kQLength = 43;
constexpr std::size_t kQSpan = 2236;  // bytes the Q vectors run over: data and P parity

struct Tables {
    std::array<std::uint32_t, 256> crc{};
    std::array<Byte, 256> exp{};
    std::array<Byte, 256> log{};
};

const Tables& tables() {
    static const Tables t = [] {
        Tables made;
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t value = n;
            for (int bit = 0; bit < 8; ++bit) value = (value >> 1) ^ ((value & 1) ? 0xD8018001u : 0u);
            made.crc[n] = value;
        }
        unsigned x = 1;
        for (unsigned i = 0; i < 255; ++i) {  // GF(2^8), field polynomial 0x11D, alpha = 2
            made.exp[i] = static_cast<Byte>(x);
            made.log[x] = static_cast<Byte>(i);
            x <<= 1;
            if (x & 0x100) x ^= 0x11D;
        }
        return made;
    }();
    return t;
}

Byte gfMultiply(Byte a, Byte b) {
    if (a == 0 || b == 0) return 0;
    const Tables& t = tables();
    return t.exp[(t.log[a] + t.log[b]) % 255];
}

Byte gfDivide(Byte a, Byte b) {
    if (a == 0) return 0;
    const Tables& t = tables();
    return t.exp[(t.log[a] + 255 - t.log[b]) % 255];
}

// The two parity bytes of one vector: P0 = (alpha A + B) / (alpha + 1), P1 = P0 + B.
template <typename At>
std::pair<Byte, Byte> parity(std::size_t length, At at) {
    Byte a = 0, b = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const Byte v = at(i);
        b ^= v;
        a = gfMultiply(static_cast<Byte>(a ^ v), 2);
    }
    const Byte p0 = gfDivide(static_cast<Byte>(gfMultiply(a, 2) ^ b), 3);
    return {p0, static_cast<Byte>(p0 ^ b)};
}

// The ECC fields for the sector as it is; Mode 2 computes with a zero header.
std::array<Byte, kRawSectorSize - kEccPAt> computeEcc(ConstRawSector sector, bool zeroHeader) {
    std::array<Byte, kRawSectorSize - kEccStart> s{};
    std::copy(sector.begin() + kEccStart, sector.end(), s.begin());
    if (zeroHeader) std::fill_n(s.begin(), 4, Byte{0});

    for (std::size_t m = 0; m < kPVectors; ++m) {
        const auto [p0, p1] = parity(kPLength, [&](std::size_t k) { return s[m + kPVectors * k]; });
        s[kEccPAt - kEccStart + m] = p0;
        s[kEccPAt - kEccStart + kPVectors + m] = p1;
    }
    for (std::size_t m = 0; m < kQVectors; ++m) {
        const std::size_t start = kPVectors * (m / 2) + (m % 2);
        const auto [q0, q1] = parity(kQLength, [&](std::size_t k) { return s[(start + 88 * k) % kQSpan]; });
        s[kEccQAt - kEccStart + m] = q0;
        s[kEccQAt - kEccStart + kQVectors + m] = q1;
    }
    std::array<Byte, kRawSectorSize - kEccPAt> ecc{};
    std::copy(s.begin() + (kEccPAt - kEccStart), s.end(), ecc.begin());
    return ecc;
}

bool edcMatches(ConstRawSector sector, std::size_t from, std::size_t at) {
    return readLe32(sector, at) == computeEdc(sector.subspan(from, at - from));
}

bool eccMatches(ConstRawSector sector, bool zeroHeader) {
    const auto ecc = computeEcc(sector, zeroHeader);
    return std::equal(ecc.begin(), ecc.end(), sector.begin() + kEccPAt);
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

std::uint32_t computeEdc(std::span<const Byte> bytes) {
    const auto& crc = tables().crc;
    std::uint32_t value = 0;
    for (Byte b : bytes) value = (value >> 8) ^ crc[(value ^ b) & 0xFF];
    return value;
}

SectorState inspectSector(ConstRawSector sector) {
    if (!std::equal(kSync.begin(), kSync.end(), sector.begin())) return {SectorMode::NoSync, false, false};
    switch (sector[kModeByte]) {
        case 0: return {SectorMode::Mode0, false, false};
        case 1: return {SectorMode::Mode1, edcMatches(sector, 0, kMode1EdcAt), eccMatches(sector, false)};
        case 2:
            if (sector[kSubmodeByte] & kForm2Bit)
                return {SectorMode::Mode2Form2, edcMatches(sector, 16, kForm2EdcAt), false};
            return {SectorMode::Mode2Form1, edcMatches(sector, 16, kForm1EdcAt), eccMatches(sector, true)};
        default: return {SectorMode::Unknown, false, false};
    }
}

bool writeCheckFields(RawSector sector) {
    const SectorMode mode = inspectSector(sector).mode;
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
    const auto ecc = computeEcc(sector, mode == SectorMode::Mode2Form1);
    std::copy(ecc.begin(), ecc.end(), sector.begin() + kEccPAt);
    return true;
}

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
