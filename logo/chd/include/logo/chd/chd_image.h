// CHD files ("Compressed Hunks of Data", version 5), as MAME's chdman makes them
// of CD images (createcd) and DVD images (createdvd, or createraw with a `DVD `
// metadata entry), read without decompressing more than is asked for.
//
// A CHD holds its data in hunks of a fixed size, each compressed on its own with
// one of up to four codecs the header names (or stored as it is, or as a copy of
// an earlier hunk), found through a map; metadata entries describe what the data
// is. A CD's data is its frames one after another, each a 2352-byte sector and
// 96 bytes of subcode, its tracks in order, each starting on a multiple of four
// frames; a DVD's data is its 2048-byte sectors.
//
// Opening reads the header, the metadata and the whole map; reads then decode
// only the hunks that hold the bytes asked for, checking each against its CRC.
#pragma once

#include "logo/chd/chd_codecs.h"

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tolvane {

// Up to out.size() bytes of the file at `offset`; gives how many there were.
using ChdSource = std::function<std::size_t(std::uint64_t offset, std::span<Byte> out)>;

// Whether a file's first bytes are a CHD's signature.
bool startsAsChd(std::span<const Byte> start);

// A track of a CD, as the CHD's metadata describes it.
struct ChdTrack {
    unsigned number = 0;
    std::string type;              // as the metadata names it: "MODE2_RAW", "MODE1", "AUDIO", ...
    std::uint32_t sectorSize = 0;  // the bytes of each sector the CHD keeps: 2352, 2336, 2324 or 2048
    std::uint32_t frames = 0;      // its frames in the CHD, a pregap it keeps included
    std::uint32_t pregap = 0;      // of those, the ones before its INDEX 01
    std::uint64_t firstFrame = 0;  // the CHD's frame of its INDEX 01
    bool audio() const { return type == "AUDIO"; }
};

// The disc a CHD holds, as a file of sectors: a CD's first data track (from its
// INDEX 01), or a DVD.
struct ChdDisc {
    std::optional<ChdTrack> track;  // none for a DVD
    std::uint32_t sectorSize = 0;
    std::uint64_t sectors = 0;
    std::uint64_t start = 0;   // where its sector 0 lies in the CHD's data
    std::uint64_t stride = 0;  // from one sector to the next there
};

class ChdImage {
public:
    // Reads and checks the header, the metadata and the map. Fails, naming the
    // file and saying why, for a file that is no CHD of version 5, is cut short
    // or damaged, needs a parent CHD, uses a codec this program does not read yet
    // (zstd, cdzs), or holds neither a CD with a data track nor a DVD. `rebuild`
    // puts back the sync and ECC the CD codecs leave out.
    static ChdImage open(ChdSource source, std::uint64_t fileSize, const std::filesystem::path& path,
                         chd::SectorRebuild rebuild);
    ChdImage(ChdImage&&) noexcept;
    ChdImage& operator=(ChdImage&&) noexcept;
    ~ChdImage();

    std::array<chd::Codec, 4> codecs() const;  // as the header lists them; 0 for none
    std::uint32_t hunkBytes() const;
    std::uint32_t unitBytes() const;
    std::uint64_t dataBytes() const;              // of all its hunks together
    const std::vector<ChdTrack>& tracks() const;  // empty for a DVD
    const ChdDisc& disc() const;
    std::span<const Byte> header() const;  // its 124 bytes, as read
    std::uint32_t hunks() const;
    std::uint64_t mapAt() const;  // where its map starts in the file
    // Whether its map is the compressed one (a CHD with codecs), whose hunks lie
    // one after another in the file in their order; the plain one gives each
    // hunk's place.
    bool compressedMap() const;

    // Bytes of the disc from `offset`, counted in its own sectors (disc().sectorSize
    // bytes each, one after another); gives how many there were, fewer at its
    // end. Fails, naming the file and the hunk, when a hunk they lie in cannot be
    // read: cut short, damaged, or in a codec this program does not read.
    std::size_t readDisc(std::uint64_t offset, std::span<Byte> out);
    // Bytes of the CHD's data, the same way; they must lie within it.
    void read(std::uint64_t offset, std::span<Byte> out);

private:
    struct State;
    explicit ChdImage(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

}  // namespace tolvane
