// Writes the sample disc that `make run` opens: a small raw Mode 2 image with an
// ISO 9660 volume, a SYSTEM.CNF of an invented game and a logo of our own
// drawing, stored encoded with that game's key as discs store it, and valid
// EDC/ECC on every sector. Nothing of a real disc is in it.
#include "discs/disc_builder.h"
#include "logo/console/console_view.h"
#include "logo/files/file_io.h"

#include <exception>
#include <iostream>
#include <string_view>

namespace {

using tolvane::Byte;

constexpr const char* kSerial = "TLVN_000.17";  // invented, in the usual shape

// 5 x 7 letters, drawn for this sample.
constexpr const char* kLetters[][7] = {
    {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."},  // T
    {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."},  // O
    {"#....", "#....", "#....", "#....", "#....", "#....", "#####"},  // L
    {"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."},  // V
    {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"},  // A
    {"#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"},  // N
    {"#####", "#....", "#....", "####.", "#....", "#....", "#####"},  // E
};

// TOLVANE in large letters, shaded top to bottom with a shadow, in a thin frame,
// on the black that a logo's border must be.
tolvane::GreyPicture sampleLogo() {
    constexpr std::size_t kScale = 6, kLetterWidth = 5 * kScale, kGap = kScale;
    constexpr std::size_t kCount = std::size(kLetters);
    constexpr std::size_t kTextWidth = kCount * kLetterWidth + (kCount - 1) * kGap;
    constexpr std::size_t left = (tolvane::kLogoWidth - kTextWidth) / 2, top = (tolvane::kLogoHeight - 7 * kScale) / 2;

    tolvane::GreyPicture picture(tolvane::kLogoShape);
    const auto put = [&](std::size_t x, std::size_t y, Byte value) { picture.row(y)[x] = value; };
    for (std::size_t x = 4; x < tolvane::kLogoWidth - 4; ++x) put(x, 4, 96), put(x, tolvane::kLogoHeight - 5, 96);
    for (std::size_t y = 4; y < tolvane::kLogoHeight - 4; ++y) put(4, y, 96), put(tolvane::kLogoWidth - 5, y, 96);
    for (int pass = 0; pass < 2; ++pass) {  // the shadow first, then the letters over it
        const std::size_t shift = pass == 0 ? 2 : 0;
        for (std::size_t letter = 0; letter < kCount; ++letter)
            for (std::size_t y = 0; y < 7 * kScale; ++y)
                for (std::size_t x = 0; x < kLetterWidth; ++x) {
                    if (kLetters[letter][y / kScale][x / kScale] != '#') continue;
                    const Byte shade = pass == 0 ? 48 : static_cast<Byte>(255 - 2 * y);
                    put(left + letter * (kLetterWidth + kGap) + x + shift, top + y + shift, shade);
                }
    }
    return picture;
}

constexpr const char* kUsage =
    "usage: tolvane-sample OUTPUT.bin\n"
    "Writes the sample disc, a small raw Mode 2 image of an invented game, to OUTPUT.bin\n"
    "(a name that starts with - is given as ./-name).\n";

}  // namespace

int main(int argc, char* argv[]) {
    // An option is never taken for the name of the disc to write: --help is
    // answered, any other is refused.
    const std::string_view first = argc > 1 ? argv[1] : "";
    if (argc == 2 && (first == "--help" || first == "-h")) {
        std::cout << kUsage;
        return std::cout.flush() ? 0 : 1;
    }
    if (argc != 2 || first.starts_with('-')) {
        std::cerr << kUsage;
        return 2;
    }
    try {
        tolvane::discs::DiscContents contents;
        contents.logo = tolvane::encodeLogo(sampleLogo(), *tolvane::keyFromSerial(kSerial));
        contents.systemCnf = std::string("BOOT2 = cdrom0:\\") + kSerial + ";1\r\nVER = 1.00\r\nVMODE = NTSC\r\n";
        contents.bootFile = std::string(kSerial) + ";1";
        const auto image = tolvane::discs::buildDisc(contents, tolvane::kRawMode2Layout);
        tolvane::replaceFile(argv[1], image);
    } catch (const std::exception& failure) {
        std::cerr << "tolvane-sample: " << failure.what() << '\n';
        return 1;
    }
    return 0;
}
