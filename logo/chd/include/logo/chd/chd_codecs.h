// The codecs a CHD's hunks are compressed with, as chdman writes them: raw
// deflate (`zlib`), raw LZMA (`lzma`), static Huffman (`huff`) and FLAC
// (`flac`) for any data, and their CD forms (`cdzl`, `cdlz`, `cdfl`), which
// compress a hunk's 2352-byte sectors apart from their 96 bytes of subcode and,
// for `cdzl` and `cdlz`, leave out the sync and ECC of every sector whose ECC
// was valid, to be computed again when it is read.
#pragma once

#include "logo/base/bytes.h"

#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>

namespace tolvane::chd {

// Bytes that are not what the format says; the reason is for people. The CHD
// reader turns it into a Failure that names the file and the hunk.
class Damage : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A codec as the header names it: four letters, big-endian ('cdlz'); 0 for none.
using Codec = std::uint32_t;
constexpr Codec codecNamed(const char (&name)[5]) {
    return Codec{static_cast<Byte>(name[0])} << 24 | Codec{static_cast<Byte>(name[1])} << 16 |
           Codec{static_cast<Byte>(name[2])} << 8 | Codec{static_cast<Byte>(name[3])};
}
// "cdlz", or the number in hexadecimal where it is no four printable letters.
std::string codecName(Codec codec);
// Whether decompress reads it.
bool readsCodec(Codec codec);

inline constexpr std::size_t kFrameSize = 2352 + 96;  // a CD frame as a CHD holds it: sector, then subcode
inline constexpr std::size_t kCdSectorSize = 2352;

// Puts back the sync and the ECC (P and Q parity) of a raw sector whose ECC the
// CD codecs left out, as chdman does when it reads it.
using SectorRebuild = std::function<void(std::span<Byte, kCdSectorSize>)>;

// Decompresses one hunk's stored bytes into `out`, which is the hunk's size,
// exactly filling it; fails with Damage (saying why) when the bytes do not
// decode, decode to fewer bytes, or to more.
void decompress(Codec codec, std::span<const Byte> in, std::span<Byte> out, const SectorRebuild& rebuild);

}  // namespace tolvane::chd
