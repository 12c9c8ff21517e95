// Writes the files bench/time-import.sh times an import on: DIR/game.bin, a raw
// Mode 2 image of SIZE bytes whose logo sectors have valid EDC/ECC (sparse past
// its first sectors), and DIR/a.bmp and DIR/b.bmp, two different logos.
#include "sample_disc.h"

#include "logo/bitmap_exchange.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>

using namespace tolvane;

namespace {

void writeBytes(const std::filesystem::path& path, std::span<const Byte> bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write \"" + path.string() + "\"");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: tolvane_bench_files DIR SIZE\n";
        return 2;
    }
    try {
        const std::filesystem::path dir = argv[1];
        const std::uintmax_t size = std::stoull(argv[2]);
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
