// Writes the files bench/time-import.sh times an import on: DIR/game.bin, a raw
// Mode 2 image of SIZE bytes whose logo sectors have valid EDC/ECC (sparse past
// its first sectors), and DIR/a.bmp and DIR/b.bmp, two different logos.
#include "sample_disc.h"

#include "logo/picture/bitmap_exchange.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>

using namespace tolvane;

namespace {

void writeBytes(const std::filesystem::path& path, std::span<const Byte> bytes) {
    const auto fail = [&path] {
        throw std::runtime_error("cannot write \"" + path.string() + "\": " + std::strerror(errno));
    };
    std::FILE* file = std::fopen(path.string().c_str(), "wb");
    if (!file) fail();
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written) fail();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: tolvane_bench_files DIR SIZE\n";
        return 2;
    }
    try {
        const std::filesystem::path dir = argv[1];
        const std::string sizeText = argv[2];
        if (sizeText.empty() || sizeText.find_first_not_of("0123456789") != std::string::npos)
            throw std::runtime_error("SIZE must be a number of bytes, not \"" + sizeText + "\"");
        const std::uintmax_t size = std::stoull(sizeText);
        const ImagePrefix prefix = bench::validPrefix();
        if (size < prefix.size())
            throw std::runtime_error("an image needs at least " + std::to_string(prefix.size()) + " bytes");
        writeBytes(dir / "game.bin", prefix.bytes());
        std::filesystem::resize_file(dir / "game.bin", size);
        writeBytes(dir / "a.bmp", encodeBitmap(pictureOf(bench::sampleLogo(1)), builtInBitmapHeader()));
        writeBytes(dir / "b.bmp", encodeBitmap(pictureOf(bench::sampleLogo(2)), builtInBitmapHeader()));
    } catch (const std::exception& e) {
        std::cerr << "tolvane_bench_files: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
