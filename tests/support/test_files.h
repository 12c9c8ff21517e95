// Fixtures built in code: temporary folders, small files and disc images whose
// bytes all differ by position, so shifted offsets and flipped rows show.
#pragma once

#include "logo/base/failure.h"
#include "logo/disc/image_layout.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tolvane::testing {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Points this user's data folder (XDG_DATA_HOME; LOCALAPPDATA on Windows), where
// patches keep their backups, at folder while it lives. Every test program starts
// with a temporary folder of its own there, so that no test writes into the real
// home; see testUserDataFolder.
class UserDataFolder {
public:
    explicit UserDataFolder(const std::filesystem::path& folder);
    ~UserDataFolder();
    UserDataFolder(const UserDataFolder&) = delete;
    UserDataFolder& operator=(const UserDataFolder&) = delete;

private:
    std::optional<std::filesystem::path> previous_;
};

// The temporary user data folder of this test program.
const std::filesystem::path& testUserDataFolder();

void writeFile(const std::filesystem::path& path, const std::vector<Byte>& bytes);
std::vector<Byte> readFile(const std::filesystem::path& path);

// A byte that depends on its file offset, different in neighbouring bytes and
// sectors; every 2352 bytes start with the CD sync, as raw sectors do.
Byte imageByte(std::uint64_t offset);
// An image of `length` bytes filled with imageByte.
std::vector<Byte> makeImage(std::size_t length);
// A logo whose every row and column differ.
LogoImage patternLogo(unsigned seed = 0);

// The image's first bytes as the program reads them, and a write of others over
// them as a patch does (flushed, its first bytes saved beside it when they can
// be neither written nor put back), without a record; false when the image
// already holds them.
ImagePrefix readPrefix(const std::filesystem::path& image);
bool writePrefix(const std::filesystem::path& image, const ImagePrefix& prefix);

// A raw 2352-byte sector at address `sector` (header address counts from 00:02:00)
// of the given mode (1 or 2; form 2 when form2), user data from imageByte, and
// with valid EDC and ECC where the mode has them.
std::vector<Byte> makeRawSector(std::size_t sector, int mode, bool form2 = false);
// `count` such sectors one after another.
std::vector<Byte> makeRawImage(std::size_t count, int mode = 2);

// The message of the Failure a call throws, or "(no failure)".
template <typename Call>
std::string failureOf(const Call& call) {
    try {
        call();
    } catch (const Failure& failure) {
        return failure.what();
    }
    return "(no failure)";
}

// Why a program the tests run is not on PATH, or empty when it is there.
std::string missingProgram(const std::string& name);
// Whether a missing program fails a test instead of skipping it: set
// TOLVANE_REQUIRE_TOOLS=1, as CI does, so that no coverage is lost there.
bool programsRequired();

// Why the CHDs make_chd_kinds.sh makes with chdman before the tests run (test
// ChdKinds.Files) are not there, or empty when they are; and the path of one
// of them or of the discs they were made of.
std::string missingChdKinds();
std::filesystem::path chdKind(const std::string& name);
#define TOLVANE_REQUIRE_CHD_KINDS()                                               \
    do {                                                                          \
        const std::string tolvaneMissing = ::tolvane::testing::missingChdKinds(); \
        if (!tolvaneMissing.empty()) {                                            \
            if (::tolvane::testing::programsRequired()) FAIL() << tolvaneMissing; \
            GTEST_SKIP() << tolvaneMissing;                                       \
        }                                                                         \
    } while (false)

// chdman with these arguments, run in folder (its output in chdman.log there);
// false (with a test failure saying why) when it fails.
bool chdman(const std::filesystem::path& folder, const std::string& arguments);
// `length` bytes of `bytes` from `from`; and the big-endian number of `length`
// bytes at `at`, as a CHD's header and map hold them.
std::vector<Byte> slice(const std::vector<Byte>& bytes, std::size_t from, std::size_t length);
std::uint64_t bigEndian(const std::vector<Byte>& bytes, std::size_t at, std::size_t length);

// ImageMagick's convert (or another of its programs) with these arguments, run
// in folder; false (with a test failure saying why) when it fails.
bool imageMagick(const std::filesystem::path& folder, const std::string& arguments,
                 const std::string& program = "convert");
// The 8-bit grey levels ImageMagick reads from a picture file in folder.
std::vector<Byte> greyAsImageMagickReadsIt(const std::filesystem::path& folder, const std::string& file);

// Path of a file in tests/data, or anywhere in the source tree.
std::filesystem::path testData(const std::string& name);
std::filesystem::path sourceFile(const std::string& relative);

}  // namespace tolvane::testing

// At the start of a test that runs the program: skips the test with the reason
// when the program is missing (fails it when programsRequired()).
#define TOLVANE_REQUIRE_PROGRAM(name)                                                \
    do {                                                                             \
        const std::string tolvaneMissing = ::tolvane::testing::missingProgram(name); \
        if (!tolvaneMissing.empty()) {                                               \
            if (::tolvane::testing::programsRequired()) FAIL() << tolvaneMissing;    \
            GTEST_SKIP() << tolvaneMissing;                                          \
        }                                                                            \
    } while (false)
