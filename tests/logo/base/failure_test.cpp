#include "logo/base/failure.h"

#include "logo/files/file_io.h"
#include "support/file_faults.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>

namespace tolvane {
namespace {

using testing::TempDir;

template <typename Call>
std::error_code codeOf(const Call& call) {
    try {
        call();
    } catch (const Failure& failure) {
        return failure.code();
    }
    return {};
}

// Callers tell failures apart by their codes, the system's or the program's.
TEST(Failures, KeepTheirCodes) {
    TempDir dir;
    EXPECT_EQ(codeOf([&] { File::openForReading(dir / "missing.bin"); }), std::errc::no_such_file_or_directory);
    EXPECT_EQ(codeOf([&] { File::openForReading(dir.path()); }), std::errc::is_a_directory);
    injectFileFault(FileOperation::Write, ENOSPC);
    const std::vector<Byte> bytes{1, 2};
    EXPECT_EQ(codeOf([&] { replaceFile(dir / "new.bmp", bytes); }), std::errc::no_space_on_device);
    clearFileFaults();
    testing::writeFile(dir / "big.bin", std::vector<Byte>(10));
    EXPECT_EQ(codeOf([&] { readSmallFile(dir / "big.bin", 5); }), make_error_code(Problem::NotSupported));

    const Failure cause("Cannot write", "x.bmp", std::make_error_code(std::errc::permission_denied));
    const Failure told = cause.after("Nothing was written: ").with("; try another folder");
    EXPECT_EQ(told.code(), std::errc::permission_denied);
    EXPECT_EQ(std::string(told.what()),
              "Nothing was written: Cannot write \"x.bmp\": Permission denied; try another folder");
}

#ifndef _WIN32
// A window toolkit sets the process's locale from the environment: the system's
// reasons stay English, so that no message mixes two languages.
TEST(Failures, SpeakEnglishWhateverTheLocale) {
    TempDir dir;
    const std::string made = "localedef -i de_DE -f UTF-8 '" + (dir / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
    if (std::system(made.c_str()) != 0) {
        if (testing::programsRequired()) FAIL() << "cannot make a German locale with localedef (package locales)";
        GTEST_SKIP() << "cannot make a German locale with localedef (package locales)";
    }
    ::setenv("LOCPATH", dir.path().c_str(), 1);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
    const std::string system = std::strerror(ENOENT);
    const std::string told =
        Failure("Cannot open", "game.bin", std::make_error_code(std::errc::no_such_file_or_directory)).what();
    std::setlocale(LC_ALL, "C");
    ::unsetenv("LOCPATH");
    if (system == "No such file or directory")
        GTEST_SKIP() << "the system's German texts are missing (package libc-l10n)";
    EXPECT_EQ(told, "Cannot open \"game.bin\": No such file or directory");
}
#endif

}  // namespace
}  // namespace tolvane
