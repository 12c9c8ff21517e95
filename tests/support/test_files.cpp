#include "test_files.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

namespace tolvane::testing {

TempDir::TempDir() {
    std::random_device random;
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
        path_ = base / ("tolvane-test-" + std::to_string(random()));
        if (std::filesystem::create_directory(path_)) break;
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(path_, ignored);
}

void writeFile(const std::filesystem::path& path, const std::vector<Byte>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << "cannot write fixture " << path;
}

std::vector<Byte> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << "cannot read " << path;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Byte imageByte(std::uint64_t offset) { return static_cast<Byte>((offset * 7 + offset / 2352 * 13 + 1) % 251); }

std::vector<Byte> makeImage(std::size_t length) {
    std::vector<Byte> image(length);
    for (std::size_t i = 0; i < length; ++i) image[i] = imageByte(i);
    return image;
}

LogoImage patternLogo(unsigned seed) {
    LogoImage logo{};
    for (std::size_t k = 0; k < logo.size(); ++k)
        logo[k] = static_cast<Byte>((k % 384) * 3 + (k / 384) * 5 + seed * 17);
    return logo;
}

std::filesystem::path sharedTestData(const std::string& name) {
    return std::filesystem::path(TOLVANE_SHARED_DIR) / "testdata" / name;
}

std::filesystem::path sourceFile(const std::string& relative) {
    return std::filesystem::path(TOLVANE_SOURCE_DIR) / relative;
}

}  // namespace tolvane::testing
