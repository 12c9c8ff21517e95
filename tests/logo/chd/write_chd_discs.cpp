// Writes our own test discs into a folder, for make_chd_kinds.sh to make CHDs
// of with chdman on the build machine: a raw Mode 2 and a raw Mode 1 image with
// their sheets, an ISO, an image whose data track follows an audio track and a
// pregap, a DVD's ISO, one of 2200 sectors that are noise past the logo, and one
// whose logo is noise. A program of the build's own, so that the Windows build
// writes them too.
//
//   write_chd_discs FOLDER
#include "logo/chd/chd_discs.h"
#include "support/disc_builder.h"
#include "support/test_files.h"

#include <exception>
#include <fstream>
#include <iostream>
#include <random>
#include <stdexcept>
#include <string>

namespace tolvane {
namespace {

void writeFile(const std::filesystem::path& path, const std::vector<Byte>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::vector<Byte> text(const std::string& s) { return {s.begin(), s.end()}; }
std::vector<Byte> cueOf(const std::string& bin, const std::string& body) {
    return text("FILE \"" + bin + "\" BINARY\r\n" + body);
}

void writeDiscs(const std::filesystem::path& d) {
    const testing::DiscContents spec{.logo = testing::patternLogo(5), .sectors = kChdDiscSectors};
    writeFile(d / "mode2.bin", testing::buildDisc(spec, kRawMode2Layout));
    writeFile(d / "mode2.cue", cueOf("mode2.bin", "  TRACK 01 MODE2/2352\r\n    INDEX 01 00:00:00\r\n"));
    writeFile(d / "mode1.bin", testing::buildDisc(spec, kRawMode1Layout));
    writeFile(d / "mode1.cue", cueOf("mode1.bin", "  TRACK 01 MODE1/2352\r\n    INDEX 01 00:00:00\r\n"));
    writeFile(d / "game.iso", testing::buildDisc(spec, kPlainLayout));
    writeFile(d / "dvd.iso", testing::buildDisc(spec, kPlainLayout));
    // 30 frames of audio, then track 2 with a pregap of 10 frames in the file.
    std::vector<Byte> mixed(40 * kRawSectorSize);
    std::mt19937 noise(7);
    for (std::size_t i = 0; i < 30 * kRawSectorSize; ++i) mixed[i] = static_cast<Byte>(noise() >> 24 & 0x0F);
    const auto data = testing::buildDisc(spec, kRawMode2Layout);
    mixed.insert(mixed.end(), data.begin(), data.end());
    writeFile(d / "mixed.bin", mixed);
    writeFile(d / "mixed.cue", cueOf("mixed.bin",
                                     "  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n"
                                     "  TRACK 02 MODE2/2352\r\n    INDEX 00 00:00:30\r\n"
                                     "    INDEX 01 00:00:40\r\n"));

    // Noise past the first 30 sectors, which no codec makes smaller: a CHD of over 4 MB.
    const testing::DiscContents bigSpec{.logo = testing::patternLogo(1), .sectors = 2200};
    auto big = testing::buildDisc(bigSpec, kPlainLayout);
    std::mt19937 bigNoise(3);
    for (std::size_t i = 30 * 2048; i < big.size(); ++i) big[i] = static_cast<Byte>(bigNoise());
    writeFile(d / "big.iso", big);

    // A logo of noise, so that chdman stores its hunks as they are.
    testing::DiscContents noiseSpec{.sectors = kChdDiscSectors};
    std::mt19937 logoNoise(11);
    for (Byte& b : noiseSpec.logo) b = static_cast<Byte>(logoNoise());
    writeFile(d / "noise.iso", testing::buildDisc(noiseSpec, kPlainLayout));
}

}  // namespace
}  // namespace tolvane

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: write_chd_discs FOLDER\n";
        return 2;
    }
    try {
        tolvane::writeDiscs(argv[1]);
    } catch (const std::exception& failure) {
        std::cerr << "write_chd_discs: " << failure.what() << '\n';
        return 1;
    }
    return 0;
}
