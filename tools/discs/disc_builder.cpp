// Building synthetic disc images for the tests and the sample.
#include "discs/disc_builder.h"

#include "logo/base/bytes.h"
#include "logo/disc/sector_checks.h"

#include <algorithm>

namespace tolvane::discs {

namespace {

// A directory record of ISO 9660: lengths and extents both-endian.
std::vector<Byte> record(std::uint32_t sector, std::uint32_t length, bool directory, const std::string& name) {
    std::vector<Byte> r(33 + name.size() + (name.size() % 2 == 0 ? 1 : 0));
    std::span<Byte> s(r);
    s[0] = static_cast<Byte>(r.size());
    writeLe32(s, 2, sector);
    for (int i = 0; i < 4; ++i) s[6 + i] = static_cast<Byte>(sector >> (24 - 8 * i));
    writeLe32(s, 10, length);
    for (int i = 0; i < 4; ++i) s[14 + i] = static_cast<Byte>(length >> (24 - 8 * i));
    s[25] = directory ? 0x02 : 0x00;
    s[32] = static_cast<Byte>(name.size());
    std::copy(name.begin(), name.end(), r.begin() + 33);
    return r;
}

Byte bcd(std::size_t n) { return static_cast<Byte>((n / 10) << 4 | (n % 10)); }

// The root directory's records, laid out in sectors: a record never crosses from one to the next.
std::vector<Byte> directory(const std::vector<std::vector<Byte>>& records) {
    std::vector<Byte> out;
    for (const auto& r : records) {
        if (out.size() / 2048 != (out.size() + r.size() - 1) / 2048) out.resize((out.size() / 2048 + 1) * 2048, 0);
        out.insert(out.end(), r.begin(), r.end());
    }
    out.resize((out.size() + 2047) / 2048 * 2048, 0);
    return out;
}

}  // namespace

std::vector<Byte> discUserData(const DiscContents& contents) {
    // "." and ".." stand in until the root's place is known; their length is that of any place.
    std::vector<std::vector<Byte>> records{record(0, 0, true, std::string(1, '\0')),
                                           record(0, 0, true, std::string(1, '\1')), record(25, 2048, true, "MODULES")};
    for (std::size_t n = 0; n < contents.filesBefore; ++n) {
        const std::string number = std::to_string(n % 10000);
        records.push_back(record(23, 100, false, "FILE" + std::string(4 - number.size(), '0') + number + ".DAT;1"));
    }
    if (contents.systemCnf)
        records.push_back(
            record(kSystemCnfSector, static_cast<std::uint32_t>(contents.systemCnf->size()), false, "SYSTEM.CNF;1"));
    records.push_back(record(23, 100, false, contents.bootFile));
    // Its length with its "." and ".." records, which tell it; in sector 20 when it fits there.
    const std::size_t rootLength = directory(records).size();
    const std::size_t rootSector = rootLength <= 2048 ? kRootSector : contents.sectors;
    const std::size_t sectors = rootSector == kRootSector ? contents.sectors : contents.sectors + rootLength / 2048;
    const auto self = [&](char name) {
        return record(static_cast<std::uint32_t>(rootSector), static_cast<std::uint32_t>(rootLength), true,
                      std::string(1, name));
    };
    records[0] = self('\0');
    records[1] = self('\1');

    std::vector<Byte> data(sectors * 2048, 0);
    std::copy(contents.logo.begin(), contents.logo.end(), data.begin());
    const auto at = [&](std::size_t sector) { return data.begin() + static_cast<std::ptrdiff_t>(sector * 2048); };

    // Primary volume descriptor and its set terminator.
    const std::string id =
        "\x01"
        "CD001"
        "\x01";
    std::copy(id.begin(), id.end(), at(16));
    std::span<Byte> descriptor(&*at(16), 2048);
    writeLe32(descriptor, 80, static_cast<std::uint32_t>(sectors));  // the volume's size, both-endian
    for (int i = 0; i < 4; ++i) descriptor[84 + i] = static_cast<Byte>(sectors >> (24 - 8 * i));
    std::copy(records[0].begin(), records[0].end(), at(16) + 156);
    const std::string end =
        "\xFF"
        "CD001"
        "\x01";
    std::copy(end.begin(), end.end(), at(17));

    if (contents.systemCnf) std::copy(contents.systemCnf->begin(), contents.systemCnf->end(), at(kSystemCnfSector));
    const auto root = directory(records);
    std::copy(root.begin(), root.end(), at(rootSector));
    return data;
}

std::vector<Byte> storeInLayout(const std::vector<Byte>& userData, const ImageLayout& layout) {
    if (layout.sectorSize == 2048) return userData;
    const std::size_t sectors = userData.size() / 2048;
    std::vector<Byte> image(sectors * kRawSectorSize, 0);
    for (std::size_t n = 0; n < sectors; ++n) {
        const RawSector raw = rawSector(std::span<Byte>(image), n);
        raw[0] = 0;
        std::fill_n(raw.begin() + 1, 10, Byte{0xFF});
        raw[11] = 0;
        const std::size_t frame = n + 150;
        raw[12] = bcd(frame / 4500);
        raw[13] = bcd(frame / 75 % 60);
        raw[14] = bcd(frame % 75);
        raw[15] = layout.logoSectorMode == SectorMode::Mode1 ? 1 : 2;
        if (raw[15] == 2) raw[18] = raw[22] = 0x08;  // submode: data, form 1
        std::copy_n(userData.begin() + static_cast<std::ptrdiff_t>(n * 2048), 2048,
                    raw.begin() + static_cast<std::ptrdiff_t>(layout.userDataOffset + layout.rawOffset));
        writeCheckFields(raw);
    }
    if (layout.rawOffset == 0) return image;
    std::vector<Byte> stored;  // each sector without what the layout leaves out
    for (std::size_t n = 0; n < sectors; ++n)
        stored.insert(stored.end(), image.begin() + static_cast<std::ptrdiff_t>(n * kRawSectorSize + layout.rawOffset),
                      image.begin() + static_cast<std::ptrdiff_t>((n + 1) * kRawSectorSize));
    return stored;
}

std::vector<Byte> buildDisc(const DiscContents& contents, const ImageLayout& layout) {
    return storeInLayout(discUserData(contents), layout);
}

}  // namespace tolvane::discs
