#include "test_files.h"

#include "logo/disc/disc_image.h"
#include "logo/disc/sector_checks.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

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

namespace {

#ifdef _WIN32
constexpr const wchar_t* kUserDataVariable = L"LOCALAPPDATA";

std::optional<std::filesystem::path> environmentPath() {
    const DWORD length = GetEnvironmentVariableW(kUserDataVariable, nullptr, 0);
    if (length == 0) return std::nullopt;
    std::wstring value(length, L'\0');
    value.resize(GetEnvironmentVariableW(kUserDataVariable, value.data(), length));
    return std::filesystem::path(value);
}

void setEnvironmentPath(const std::optional<std::filesystem::path>& value) {
    SetEnvironmentVariableW(kUserDataVariable, value ? value->c_str() : nullptr);
}
#else
constexpr const char* kUserDataVariable = "XDG_DATA_HOME";

std::optional<std::filesystem::path> environmentPath() {
    const char* value = std::getenv(kUserDataVariable);
    if (!value) return std::nullopt;
    return std::filesystem::path(value);
}

void setEnvironmentPath(const std::optional<std::filesystem::path>& value) {
    if (value)
        ::setenv(kUserDataVariable, value->c_str(), 1);
    else
        ::unsetenv(kUserDataVariable);
}
#endif

// Set before the first test and inherited by the programs the tests run.
class TestUserData : public ::testing::Environment {
public:
    void SetUp() override {
        dir_ = std::make_unique<TempDir>();
        folder_ = std::make_unique<UserDataFolder>(dir_->path());
    }
    void TearDown() override {
        folder_.reset();
        dir_.reset();
    }
    const std::filesystem::path& path() const { return dir_->path(); }

private:
    std::unique_ptr<TempDir> dir_;
    std::unique_ptr<UserDataFolder> folder_;
};

TestUserData* const testUserData = static_cast<TestUserData*>(::testing::AddGlobalTestEnvironment(new TestUserData));

}  // namespace

UserDataFolder::UserDataFolder(const std::filesystem::path& folder) : previous_(environmentPath()) {
    setEnvironmentPath(folder);
}

UserDataFolder::~UserDataFolder() { setEnvironmentPath(previous_); }

const std::filesystem::path& testUserDataFolder() { return testUserData->path(); }

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

namespace {

void writeLe32Into(std::vector<Byte>& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<Byte>(value >> (8 * i));
}

}  // namespace

Byte imageByte(std::uint64_t offset) {
    const std::uint64_t within = offset % 2352;
    if (within < 12) return within == 0 || within == 11 ? 0x00 : 0xFF;  // each sector starts with the CD sync
    return static_cast<Byte>((offset * 7 + offset / 2352 * 13 + 1) % 251);
}

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

std::vector<Byte> makeRawSector(std::size_t sector, int mode, bool form2) {
    std::vector<Byte> raw(2352);
    for (std::size_t i = 0; i < raw.size(); ++i) raw[i] = imageByte(sector * 2352 + i);
    const Byte sync[12] = {0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0};
    std::copy(std::begin(sync), std::end(sync), raw.begin());
    const std::size_t frame = sector + 150;
    const auto bcd = [](std::size_t n) { return static_cast<Byte>((n / 10) << 4 | (n % 10)); };
    raw[12] = bcd(frame / 4500);
    raw[13] = bcd(frame / 75 % 60);
    raw[14] = bcd(frame % 75);
    raw[15] = static_cast<Byte>(mode);
    if (mode == 2) {
        const Byte submode = form2 ? 0x28 : 0x08;
        for (std::size_t copy : {16u, 20u}) {
            raw[copy] = 0;
            raw[copy + 1] = 0;
            raw[copy + 2] = submode;
            raw[copy + 3] = 0;
        }
        if (form2) {
            writeLe32Into(raw, 2348, computeEdc(std::span<const Byte>(raw).subspan(16, 2332)));
            return raw;
        }
    }
    writeCheckFields(rawSector(std::span<Byte>(raw), 0));
    return raw;
}

std::vector<Byte> makeRawImage(std::size_t count, int mode) {
    std::vector<Byte> image;
    for (std::size_t n = 0; n < count; ++n) {
        const auto sector = makeRawSector(n, mode);
        image.insert(image.end(), sector.begin(), sector.end());
    }
    return image;
}

namespace {

std::filesystem::path findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "";
    for (std::size_t start = 0; start <= folders.size();) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        const std::filesystem::path candidate = std::filesystem::path(folders.substr(start, end - start)) / name;
        std::error_code ignored;
        if (end > start && std::filesystem::is_regular_file(candidate, ignored)) return candidate;
        start = end + 1;
    }
    return {};
}

}  // namespace

std::string missingProgram(const std::string& name) {
    if (!findProgram(name).empty()) return "";
    return name + " is not on PATH (make test installs it)";
}

std::string missingChdKinds() {
    if (std::filesystem::exists(chdKind("kinds.txt"))) return "";
    return "no " + chdKind("kinds.txt").string() + " (the test ChdKinds.Files makes it with chdman)";
}

std::filesystem::path chdKind(const std::string& name) { return std::filesystem::path(TOLVANE_CHD_KINDS) / name; }

bool programsRequired() {
    const char* required = std::getenv("TOLVANE_REQUIRE_TOOLS");
    return required && std::string(required) == "1";
}

bool imageMagick(const std::filesystem::path& folder, const std::string& arguments, const std::string& program) {
    const std::filesystem::path found = findProgram(program);
    if (found.empty()) {
        ADD_FAILURE() << missingProgram(program);
        return false;
    }
    const std::string command = "cd '" + folder.string() + "' && '" + found.string() + "' " + arguments;
    const bool done = std::system(command.c_str()) == 0;
    if (!done) ADD_FAILURE() << "failed: " << command;
    return done;
}

bool chdman(const std::filesystem::path& folder, const std::string& arguments) {
    const std::string command = "cd '" + folder.string() + "' && chdman " + arguments + " >chdman.log 2>&1";
    const bool done = std::system(command.c_str()) == 0;
    if (!done) ADD_FAILURE() << "failed: " << command;
    return done;
}

std::vector<Byte> slice(const std::vector<Byte>& bytes, std::size_t from, std::size_t length) {
    return {bytes.begin() + static_cast<std::ptrdiff_t>(from),
            bytes.begin() + static_cast<std::ptrdiff_t>(from + length)};
}

std::uint64_t bigEndian(const std::vector<Byte>& bytes, std::size_t at, std::size_t length) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < length; ++i) value = value << 8 | bytes.at(at + i);
    return value;
}

std::vector<Byte> greyAsImageMagickReadsIt(const std::filesystem::path& folder, const std::string& file) {
    if (!imageMagick(folder, "'" + file + "' -depth 8 gray:imagemagick.gray")) return {};
    return readFile(folder / "imagemagick.gray");
}

std::filesystem::path testData(const std::string& name) { return sourceFile("tests/data/" + name); }

std::filesystem::path sourceFile(const std::string& relative) {
    return std::filesystem::path(TOLVANE_SOURCE_DIR) / relative;
}

ImagePrefix readPrefix(const std::filesystem::path& image) {
    DiscImage opened = DiscImage::open(image);
    opened.close();
    return opened.prefix();
}

bool writePrefix(const std::filesystem::path& image, const ImagePrefix& prefix) {
    DiscImage opened = DiscImage::open(image, ImageAccess::Update);
    const bool wrote = opened.writePrefix(
        prefix, [](const std::filesystem::path& file, std::uint64_t start, const ImagePrefix& asRead) {
            return saveAsTheyWere(file, start, asRead, {file.parent_path()});
        });
    opened.close();
    return wrote;
}

}  // namespace tolvane::testing
